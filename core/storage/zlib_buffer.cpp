#include "storage/zlib_buffer.h"

#include <algorithm>
#include <atomic>
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

// Pieces are at least this large, so that priming each with the window before it keeps the
// output within a fraction of a percent of one-piece output, and a small stream (the dictionary
// list, the history) stays one piece on the calling thread.
constexpr size_t kMinPiece = size_t{256} << 10;
// Several pieces per core, so that a core that finishes early takes another piece rather than
// waiting for a slow one: the cores are shared with whatever else the machine runs.
constexpr size_t kPiecesPerCore = 4;

// A piece of input `input` to compress, and what compressing it gives.
struct Piece {
  size_t input = 0;
  size_t begin = 0;
  size_t end = 0;
  bool last = false;
  std::string compressed;
  uLong adler = 0;
};

std::vector<Piece> cutIntoPieces(const std::vector<std::string_view>& inputs, size_t cores) {
  size_t total = 0;
  for (std::string_view input : inputs) {
    total += input.size();
  }
  const size_t pieceSize = cores == 1 ? std::numeric_limits<size_t>::max()
                                      : std::max(kMinPiece, total / (cores * kPiecesPerCore));
  std::vector<Piece> pieces;
  for (size_t i = 0; i < inputs.size(); ++i) {
    const size_t n = inputs[i].size();
    size_t begin = 0;
    do {
      const size_t end = n - begin > pieceSize ? begin + pieceSize : n;
      Piece& piece = pieces.emplace_back();
      piece.input = i;
      piece.begin = begin;
      piece.end = end;
      piece.last = end == n;
      begin = end;
    } while (begin < n);
  }
  return pieces;
}

// Compresses every piece, each core taking the next piece not yet taken; the calling thread is
// one of them. The first failure is raised once every thread has stopped.
void compressPieces(const std::vector<std::string_view>& inputs, std::vector<Piece>& pieces,
                    size_t cores) {
  std::atomic<size_t> next{0};
  std::vector<std::exception_ptr> failures(pieces.size());
  const auto work = [&] {
    for (size_t p = next++; p < pieces.size(); p = next++) {
      Piece& piece = pieces[p];
      const std::string_view input = inputs[piece.input];
      try {
        piece.compressed = deflatePiece(input, piece.begin, piece.end, piece.last);
        piece.adler = adler32_z(adler32(0, nullptr, 0),
                                reinterpret_cast<const Bytef*>(input.data() + piece.begin),
                                piece.end - piece.begin);
      } catch (...) {
        failures[p] = std::current_exception();
      }
    }
  };
  std::vector<std::thread> threads;
  for (size_t t = 1; t < std::min(cores, pieces.size()); ++t) {
    threads.emplace_back(work);
  }
  work();
  for (std::thread& thread : threads) {
    thread.join();
  }
  for (const std::exception_ptr& failure : failures) {
    if (failure) std::rethrow_exception(failure);
  }
}

// As parallel gzip tools do: the raw deflate pieces of one input, joined between one zlib header
// and the Adler-32 of the whole input (combined from those of the pieces). A single piece is a
// whole zlib stream already.
std::string joinPieces(std::vector<Piece>::iterator first, std::vector<Piece>::iterator last) {
  if (last - first == 1) {
    first->compressed.shrink_to_fit();
    return std::move(first->compressed);
  }
  size_t total = 6;
  for (auto piece = first; piece != last; ++piece) {
    total += piece->compressed.size();
  }
  std::string output;
  output.reserve(total);
  output += "\x78\xDA";  // deflate, 32 KiB window, level 9: what deflateInit2 writes for it
  uLong adler = adler32(0, nullptr, 0);
  for (auto piece = first; piece != last; ++piece) {
    output += piece->compressed;
    std::string().swap(piece->compressed);
    adler = adler32_combine(adler, piece->adler, static_cast<z_off_t>(piece->end - piece->begin));
  }
  for (int shift = 24; shift >= 0; shift -= 8) {
    output += static_cast<char>((adler >> shift) & 0xFF);
  }
  return output;
}

}  // namespace

EDecompressionError::EDecompressionError(std::string reason)
    : EZlibError("Error: " + reason), m_reason(std::move(reason)) {}

EDecompressionError::EDecompressionError(std::string file, std::string stream, std::string reason)
    : EZlibError("Error: " + file + ", stream \"" + stream + "\": " + reason),
      m_reason(std::move(reason)),
      m_file(std::move(file)),
      m_stream(std::move(stream)) {}

std::string DeflateBuffer(std::string_view input) {
  return std::move(deflateBuffers({input}).front());
}

std::vector<std::string> deflateBuffers(const std::vector<std::string_view>& inputs) {
  const size_t cores = std::max(1U, std::thread::hardware_concurrency());
  std::vector<Piece> pieces = cutIntoPieces(inputs, cores);
  compressPieces(inputs, pieces, cores);
  std::vector<std::string> outputs;
  outputs.reserve(inputs.size());
  for (auto first = pieces.begin(); first != pieces.end();) {
    auto last = first;
    while (last != pieces.end() && last->input == first->input) {
      ++last;
    }
    outputs.push_back(joinPieces(first, last));
    first = last;
  }
  return outputs;
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
