#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"

// A thin layer over zlib for whole blocks held in memory. Every stream of a package is one zlib
// stream (RFC 1950: two header bytes, deflate data, Adler-32 trailer) written at level 9 with a
// 15-bit window, memory level 8 and the default strategy. Blocks are std::string holding bytes.
namespace verbalon::storage {

// Root of the compression errors. Every message begins with "Error", the text the program has
// always shown for a damaged stream; what follows, when anything does, says what went wrong.
class EZlibError : public Error {
 public:
  using Error::Error;
};

// Deflate failed (in practice only when zlib itself cannot get memory).
class ECompressionError : public EZlibError {
 public:
  ECompressionError() : EZlibError("Error") {}
};

// The input is not a complete, intact zlib stream, or it expands beyond the allowed size.
// reason() is the bare cause ("compressed data is corrupt"); what() is "Error: " + reason, or,
// when the reader knows where the data came from, "Error: words.brd, stream \"~items.dat\": "
// + reason, and file() and stream() (UTF-8) then say where.
class EDecompressionError : public EZlibError {
 public:
  explicit EDecompressionError(std::string reason);
  EDecompressionError(std::string file, std::string stream, std::string reason);
  const std::string& reason() const { return m_reason; }
  const std::string& file() const { return m_file; }
  const std::string& stream() const { return m_stream; }

 private:
  std::string m_reason;
  std::string m_file;
  std::string m_stream;
};

// A few hundred bytes of hostile input can claim gigabytes of output; inflation stops at this
// many bytes unless the caller allows more. No stream the program stores comes near it.
inline constexpr size_t kDefaultInflateLimit = size_t{256} << 20;

// Compresses input into one zlib stream. Never fails on valid input; ECompressionError when zlib
// reports an error.
std::string DeflateBuffer(std::string_view input);

// DeflateBuffer of every input, result i for input i, with the cores shared among all of them:
// each input is cut into pieces that are compressed on every core as one queue, so that two
// streams saved together keep both cores busy to the end instead of one after the other, each
// leaving a core idle while its last piece finishes. Every result is one zlib stream as
// DeflateBuffer writes it.
std::vector<std::string> deflateBuffers(const std::vector<std::string_view>& inputs);

// Decompresses one zlib stream at the start of input; bytes after its end are ignored. expected
// is a hint for the output size (0 = none). Throws EDecompressionError when the header or the
// data is corrupt, the checksum does not match, the input ends before the zlib stream does, or
// the output would exceed limit bytes. Empty input is a truncated stream, not empty content.
std::string InflateBuffer(std::string_view input, size_t expected = 0,
                          size_t limit = kDefaultInflateLimit);

// InflateBuffer that appends to output, using its spare capacity, so that a block reused for
// every read allocates nothing once it has grown. limit counts the appended bytes. On failure
// output is left as it was.
void inflateAppend(std::string_view input, std::string& output, size_t expected = 0,
                   size_t limit = kDefaultInflateLimit);

// Inflation of one zlib stream whose compressed bytes arrive in pieces, as a package stream is
// read, appending to output without first gathering the compressed bytes in memory. The output
// grows as InflateBuffer's does for compressedSize bytes of input (0 when unknown).
//
// Until finish() succeeds the appended bytes are provisional: an Inflater destroyed without it
// (after an error, say) leaves output as it found it. output must outlive the Inflater, and
// nothing else may change it meanwhile.
class Inflater {
 public:
  Inflater(std::string& output, size_t compressedSize, size_t expected = 0,
           size_t limit = kDefaultInflateLimit);
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;
  ~Inflater();

  // Inflates the next piece. Returns true once the zlib stream has ended; what follows its end,
  // in this piece or later ones, is ignored. Throws EDecompressionError.
  bool feed(std::string_view piece);
  // After the last piece: EDecompressionError ("truncated") unless the zlib stream has ended.
  void finish();

 private:
  struct State;
  void grow();
  std::unique_ptr<State> m_state;
};

}  // namespace verbalon::storage
