// Feeds arbitrary bytes to inflation, once as one block and once in pieces (their size taken
// from the first byte), as package streams arrive chunk by chunk. Both must agree: the same
// content, or both an EDecompressionError; a failure must leave the output block as it was.
// Any other error, a disagreement, a crash, a hang or a leak is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "storage/zlib_buffer.h"

namespace {

using verbalon::storage::EDecompressionError;
using verbalon::storage::InflateBuffer;
using verbalon::storage::Inflater;

// Small, so that streams which expand a thousandfold cannot slow the fuzzer down.
constexpr size_t kLimit = size_t{1} << 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  std::optional<std::string> whole;
  try {
    whole = InflateBuffer(input, 0, kLimit);
  } catch (const EDecompressionError&) {
  }

  const size_t pieceSize = size == 0 ? 1 : 1 + data[0] % 64u;
  std::string pieces = "kept";
  bool finished = false;
  try {
    Inflater inflater(pieces, size, 0, kLimit);
    bool ended = false;
    for (size_t at = 0; at < size && !ended; at += pieceSize) {
      ended = inflater.feed(input.substr(at, pieceSize));
    }
    inflater.finish();
    finished = true;
  } catch (const EDecompressionError&) {
  }

  if (finished != whole.has_value()) std::abort();
  if (finished ? pieces != "kept" + *whole : pieces != "kept") std::abort();
  return 0;
}
