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

class InflateState {
 public:
  explicit InflateState(z_stream& zs) : m_zs(zs) {}
  InflateState(const InflateState&) = delete;
  InflateState& operator=(const InflateState&) = delete;
  ~InflateState() {
    if (m_open) inflateEnd(&m_zs);
  }
  int end() {
    m_open = false;
    return inflateEnd(&m_zs);
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

void InflateAppend(std::string_view input, std::string& output, size_t expected, size_t limit) {
  const size_t n = input.size();
  const size_t step = std::max<size_t>(roundUp256(n), 256);
  // One byte beyond the limit tells an output of exactly limit bytes from a larger one.
  const size_t ceiling = limit == std::numeric_limits<size_t>::max() ? limit : limit + 1;
  const size_t start = output.size();
  // Restores output however the function is left; dismissed on success.
  struct Rollback {
    std::string& output;
    size_t size;
    bool armed = true;
    ~Rollback() {
      if (armed) output.resize(size);
    }
  } rollback{output, start};
  output.resize(start + std::min(expected != 0 ? expected : step, ceiling), '\0');
  size_t produced = 0;

  z_stream zs{};
  if (inflateInit2(&zs, 15) != Z_OK) throw EDecompressionError("zlib cannot start inflating");
  InflateState state(zs);

  size_t consumed = 0;
  for (;;) {
    if (zs.avail_in == 0 && consumed < n) {
      zs.next_in = inputPointer(input, consumed);
      zs.avail_in = pieceOf(n - consumed);
      consumed += zs.avail_in;
    }
    if (zs.avail_out == 0) {
      if (start + produced == output.size()) {
        // A full output buffer is no error: the block grows and inflation goes on.
        if (produced >= ceiling) {
          throw EDecompressionError("the decompressed data exceeds the limit of " +
                                    std::to_string(limit) + " bytes");
        }
        output.resize(start + std::min(produced + step, ceiling));
      }
      zs.next_out = outputPointer(output, start + produced);
      zs.avail_out = pieceOf(output.size() - start - produced);
    }
    const uInt offered = zs.avail_out;
    const int rc = inflate(&zs, Z_NO_FLUSH);
    produced += offered - zs.avail_out;
    if (rc == Z_STREAM_END) break;
    switch (rc) {
      case Z_OK:
      case Z_BUF_ERROR:  // no progress possible: output full or input used up, sorted out below
        break;
      case Z_NEED_DICT:
        throw EDecompressionError("compressed data needs a preset dictionary");
      case Z_MEM_ERROR:
        throw EDecompressionError("out of memory while decompressing");
      default:
        throw EDecompressionError("compressed data is corrupt");
    }
    // With output space left, inflate stops only for want of input.
    if (zs.avail_out != 0 && zs.avail_in == 0 && consumed == n) {
      throw EDecompressionError("compressed data is truncated");
    }
  }
  if (produced > limit) {
    throw EDecompressionError("the decompressed data exceeds the limit of " +
                              std::to_string(limit) + " bytes");
  }
  if (state.end() != Z_OK) throw EDecompressionError("compressed data is corrupt");
  output.resize(start + produced);
  rollback.armed = false;
}

std::string InflateBuffer(std::string_view input, size_t expected, size_t limit) {
  std::string output;
  InflateAppend(input, output, expected, limit);
  return output;
}

}  // namespace verbalon::storage
