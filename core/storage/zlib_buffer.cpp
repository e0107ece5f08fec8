#include "storage/zlib_buffer.h"

#include <algorithm>
#include <limits>
#include <utility>

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

}  // namespace

EDecompressionError::EDecompressionError(std::string reason)
    : EZlibError("Error: " + reason), m_reason(std::move(reason)) {}

EDecompressionError::EDecompressionError(const std::string& where, std::string reason)
    : EZlibError("Error: " + where + ": " + reason), m_reason(std::move(reason)) {}

std::string DeflateBuffer(std::string_view input) {
  const size_t n = input.size();
  // Enough for any input deflate can be given, so the growth below is a safety net only.
  std::string output(roundUp256(n + n / 10 + 12), '\0');
  size_t produced = 0;

  z_stream zs{};
  if (deflateInit2(&zs, 9, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw ECompressionError();
  }
  DeflateState state(zs);

  size_t consumed = 0;
  for (;;) {
    if (zs.avail_in == 0 && consumed < n) {
      zs.next_in = inputPointer(input, consumed);
      zs.avail_in = pieceOf(n - consumed);
      consumed += zs.avail_in;
    }
    if (zs.avail_out == 0) {
      if (produced == output.size()) output.resize(output.size() + 256);
      zs.next_out = outputPointer(output, produced);
      zs.avail_out = pieceOf(output.size() - produced);
    }
    const uInt offered = zs.avail_out;
    const int flush = consumed == n ? Z_FINISH : Z_NO_FLUSH;
    const int rc = deflate(&zs, flush);
    produced += offered - zs.avail_out;
    if (rc == Z_STREAM_END) break;
    if (rc < 0) throw ECompressionError();
  }
  if (state.end() < 0) throw ECompressionError();
  output.resize(produced);
  output.shrink_to_fit();
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

void InflateAppend(std::string_view input, std::string& output, size_t expected, size_t limit) {
  Inflater inflater(output, input.size(), expected, limit);
  inflater.feed(input);
  inflater.finish();
}

std::string InflateBuffer(std::string_view input, size_t expected, size_t limit) {
  std::string output;
  InflateAppend(input, output, expected, limit);
  return output;
}

}  // namespace verbalon::storage
