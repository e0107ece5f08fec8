#include "storage/zlib_buffer.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <thread>
#include <utility>
#include <vector>

#include <zlib.h>

namespace verbalon::storage {
namespace {

// zlib counts in uInt; larger blocks are fed and drained in pieces of at most this size.
constexpr size_t kMaxPiece = size_t{1} << 30;

size_t roundUp256(size_t n) {
  return (n + 255) & ~size_t{255};
}

Bytef* inputPointer(std::string_view input, size_t offset) {
  // zlib's next_in is not const-qualified, but zlib never writes through it.
  return reinterpret_cast<Bytef*>(const_cast<char*>(input.data() + offset));
}

Bytef* outputPointer(std::string& output, size_t offset) {
  return reinterpret_cast<Bytef*>(output.data() + offset);
}

uInt pieceOf(size_t n) {
  return static_cast<uInt>(std::min(n, kMaxPiece));
}

// Ends the zlib state however the function that opened it is left.
class DeflateState {
 public:
  explicit DeflateState(z_stream& zs) : m_zs(zs) {}
  DeflateState(const DeflateState&) = delete;
  DeflateState& operator=(const DeflateState&) = delete;
  ~DeflateState() {
    if (m_open) deflateEnd(&m_zs);
  }
  int end() {
    m_open = false;
    return deflateEnd(&m_zs);
  }

 private:
  z_stream& m_zs;
  bool m_open = true;
};

// Raw deflate data (no zlib header or trailer) of input[begin, end). A piece after the first is
// primed with the 32 KiB before it, so it refers back across the cut as one stream would. A piece
// that is not the last ends with a sync flush: on a byte boundary, without the final-block bit,
// so the pieces joined read as one deflate stream.
std::string deflatePiece(std::string_view input, size_t begin, size_t end, bool last) {
  const size_t n = end - begin;
  std::string output(roundUp256(n + n / 10 + 12), '\0');
  size_t produced = 0;

  z_stream zs{};
  const int windowBits = last && begin == 0 ? 15 : -15;
  if (deflateInit2(&zs, 9, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw ECompressionError();
  }
  DeflateState state(zs);
  if (begin > 0) {
    const size_t window = std::min<size_t>(begin, 32768);
    if (deflateSetDictionary(&zs, inputPointer(input, begin - window), static_cast<uInt>(window)) !=
        Z_OK) {
      throw ECompressionError();
    }
  }

  size_t consumed = begin;
  for (;;) {
    if (zs.avail_in == 0 && consumed < end) {
      zs.next_in = inputPointer(input, consumed);
      zs.avail_in = pieceOf(end - consumed);
      consumed += zs.avail_in;
    }
    if (zs.avail_out == 0) {
      if (produced == output.size()) output.resize(output.size() + 256);
      zs.next_out = outputPointer(output, produced);
      zs.avail_out = pieceOf(output.size() - produced);
    }
    const uInt offered = zs.avail_out;
    const int flush = consumed < end ? Z_NO_FLUSH : last ? Z_FINISH : Z_SYNC_FLUSH;
    const int rc = deflate(&zs, flush);
    produced += offered - zs.avail_out;
    if (rc == Z_STREAM_END) break;
    if (rc < 0 && rc != Z_BUF_ERROR) throw ECompressionError();
    // A sync flush is complete once deflate leaves output space unused.
    if (flush == Z_SYNC_FLUSH && zs.avail_in == 0 && zs.avail_out > 0) break;
  }
  if (state.end() < 0 && last) throw ECompressionError();
  output.resize(produced);
  return output;
}

// Below this size one thread compresses faster than threads can be started and joined.
constexpr size_t kParallelThreshold = size_t{2} << 20;
// Pieces are at least this large, so that priming each with the window before it keeps the
// output within a fraction of a percent of one-piece output.
constexpr size_t kMinPiece = size_t{1} << 20;

}  // namespace

EDecompressionError::EDecompressionError(std::string reason)
    : EZlibError("Error: " + reason), m_reason(std::move(reason)) {}

EDecompressionError::EDecompressionError(std::string file, std::string stream, std::string reason)
    : EZlibError("Error: " + file + ", stream \"" + stream + "\": " + reason),
      m_reason(std::move(reason)),
      m_file(std::move(file)),
      m_stream(std::move(stream)) {}

std::string DeflateBuffer(std::string_view input) {
  const size_t n = input.size();
  const size_t cores = std::max(1u, std::thread::hardware_concurrency());
  if (n < kParallelThreshold || cores == 1) {
    std::string output = deflatePiece(input, 0, n, true);
    output.shrink_to_fit();
    return output;
  }

  // As parallel gzip tools do: independent raw deflate pieces, joined between one zlib header
  // and one Adler-32 of the whole input.
  const size_t pieces = std::min(cores, n / kMinPiece);
  const size_t pieceSize = (n + pieces - 1) / pieces;
  std::vector<std::string> compressed(pieces);
  std::vector<std::exception_ptr> failures(pieces);
  const auto work = [&](size_t i) {
    try {
      const size_t begin = i * pieceSize;
      const size_t end = std::min(n, begin + pieceSize);
      compressed[i] = deflatePiece(input, begin, end, i + 1 == pieces);
    } catch (...) {
      failures[i] = std::current_exception();
    }
  };
  std::vector<std::thread> threads;
  for (size_t i = 1; i < pieces; ++i) {
    threads.emplace_back(work, i);
  }
  work(0);
  for (std::thread& thread : threads) {
    thread.join();
  }
  for (const std::exception_ptr& failure : failures) {
    if (failure) std::rethrow_exception(failure);
  }

  uLong adler = adler32(0, nullptr, 0);
  for (size_t done = 0; done < n;) {
    const uInt piece = pieceOf(n - done);
    adler = adler32(adler, inputPointer(input, done), piece);
    done += piece;
  }
  size_t total = 6;
  for (const std::string& piece : compressed) {
    total += piece.size();
  }
  std::string output;
  output.reserve(total);
  output += "\x78\xDA";  // deflate, 32 KiB window, level 9: what deflateInit2 writes for it
  for (std::string& piece : compressed) {
    output += piece;
    std::string().swap(piece);
  }
  for (int shift = 24; shift >= 0; shift -= 8) {
    output += static_cast<char>((adler >> shift) & 0xFF);
  }
  return output;
}

struct Inflater::State {
  z_stream zs{};
  std::string& output;
  size_t start;  // output's size before this stream
  size_t produced = 0;
  size_t step;     // the growth step: the compressed size rounded up to 256 bytes
  size_t ceiling;  // the most bytes ever offered: one more than the limit
  size_t limit;
  bool ended = false;
  bool finished = false;

  State(std::string& out, size_t stepBytes, size_t limitBytes)
      : output(out), start(out.size()), step(stepBytes), limit(limitBytes) {
    // One byte beyond the limit tells an output of exactly limit bytes from a larger one.
    ceiling = limit == std::numeric_limits<size_t>::max() ? limit : limit + 1;
  }
};

Inflater::Inflater(std::string& output, size_t compressedSize, size_t expected, size_t limit)
    : m_state(std::make_unique<State>(output, std::max<size_t>(roundUp256(compressedSize), 256),
                                      limit)) {
  State& st = *m_state;
  output.resize(st.start + std::min(expected != 0 ? expected : st.step, st.ceiling), '\0');
  if (inflateInit2(&st.zs, 15) != Z_OK) {
    output.resize(st.start);
    throw EDecompressionError("zlib cannot start inflating");
  }
}

Inflater::~Inflater() {
  State& st = *m_state;
  inflateEnd(&st.zs);
  if (!st.finished) st.output.resize(st.start);
}

void Inflater::grow() {
  State& st = *m_state;
  if (st.start + st.produced == st.output.size()) {
    // A full output buffer is no error: the block grows and inflation goes on.
    if (st.produced >= st.ceiling) {
      throw EDecompressionError("the decompressed data exceeds the limit of " +
                                std::to_string(st.limit) + " bytes");
    }
    st.output.resize(st.start + std::min(st.produced + st.step, st.ceiling));
  }
  st.zs.next_out = outputPointer(st.output, st.start + st.produced);
  st.zs.avail_out = pieceOf(st.output.size() - st.start - st.produced);
}

bool Inflater::feed(std::string_view piece) {
  State& st = *m_state;
  if (st.ended) return true;
  size_t consumed = 0;
  st.zs.avail_in = 0;
  for (;;) {
    if (st.zs.avail_in == 0) {
      if (consumed == piece.size()) return false;
      st.zs.next_in = inputPointer(piece, consumed);
      st.zs.avail_in = pieceOf(piece.size() - consumed);
      consumed += st.zs.avail_in;
    }
    // The block may have moved since the last call; the offered space is set afresh.
    if (st.zs.avail_out == 0 ||
        st.zs.next_out != outputPointer(st.output, st.start + st.produced)) {
      grow();
    }
    const uInt offered = st.zs.avail_out;
    const int rc = inflate(&st.zs, Z_NO_FLUSH);
    st.produced += offered - st.zs.avail_out;
    switch (rc) {
      case Z_STREAM_END:
        st.ended = true;
        if (st.produced > st.limit) {
          throw EDecompressionError("the decompressed data exceeds the limit of " +
                                    std::to_string(st.limit) + " bytes");
        }
        return true;
      case Z_OK:
        break;
      case Z_BUF_ERROR:
        // No progress possible; that happens only with no input or no output space left.
        if (st.zs.avail_in != 0 && st.zs.avail_out != 0) {
          throw EDecompressionError("compressed data is corrupt");
        }
        break;
      case Z_NEED_DICT:
        throw EDecompressionError("compressed data needs a preset dictionary");
      case Z_MEM_ERROR:
        throw EDecompressionError("out of memory while decompressing");
      default:
        throw EDecompressionError("compressed data is corrupt");
    }
  }
}

void Inflater::finish() {
  State& st = *m_state;
  if (!st.ended) throw EDecompressionError("compressed data is truncated");
  st.output.resize(st.start + st.produced);
  st.finished = true;
}

void inflateAppend(std::string_view input, std::string& output, size_t expected, size_t limit) {
  Inflater inflater(output, input.size(), expected, limit);
  inflater.feed(input);
  inflater.finish();
}

std::string InflateBuffer(std::string_view input, size_t expected, size_t limit) {
  std::string output;
  inflateAppend(input, output, expected, limit);
  return output;
}

}  // namespace verbalon::storage
