#include "storage/zlib_buffer.h"

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

namespace verbalon::storage {
namespace {

std::string dictionaryText(size_t lines) {
  std::string text;
  for (size_t i = 0; i < lines; ++i) {
    text += "\xF1\xEB\xEE\xE2\xEE " + std::to_string(i) + " - \xE7\xED\xE0\xF7\xE5\xED\xE8\xE5\r\n";
  }
  return text;
}

std::string randomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string bytes(n, '\0');
  for (char& c : bytes)
    c = static_cast<char>(rng() & 0xFF);
  return bytes;
}

// zlib's own one-shot decompression, as a reader independent of InflateBuffer.
std::string uncompressWithZlib(const std::string& compressed, size_t size) {
  std::string out(size, '\0');
  uLongf outSize = static_cast<uLongf>(size);
  int rc = uncompress(reinterpret_cast<Bytef*>(out.data()), &outSize,
                      reinterpret_cast<const Bytef*>(compressed.data()),
                      static_cast<uLong>(compressed.size()));
  EXPECT_EQ(rc, Z_OK);
  out.resize(outSize);
  return out;
}

// A zlib stream of `size` zero bytes, made without holding them all in memory.
std::string zerosCompressed(size_t size) {
  z_stream zs{};
  EXPECT_EQ(deflateInit2(&zs, 9, Z_DEFLATED, 15, 8, Z_RLE), Z_OK);
  std::string zeros(1 << 20, '\0');
  std::string out;
  std::vector<char> buffer(1 << 16);
  size_t left = size;
  int rc = Z_OK;
  while (rc != Z_STREAM_END) {
    if (zs.avail_in == 0) {
      size_t piece = std::min(left, zeros.size());
      zs.next_in = reinterpret_cast<Bytef*>(zeros.data());
      zs.avail_in = static_cast<uInt>(piece);
      left -= piece;
    }
    zs.next_out = reinterpret_cast<Bytef*>(buffer.data());
    zs.avail_out = static_cast<uInt>(buffer.size());
    rc = deflate(&zs, left == 0 ? Z_FINISH : Z_NO_FLUSH);
    out.append(buffer.data(), buffer.size() - zs.avail_out);
  }
  deflateEnd(&zs);
  return out;
}

TEST(DeflateBuffer, EmptyInputGivesTheEightByteLevel9Stream) {
  EXPECT_EQ(DeflateBuffer(""), std::string("\x78\xDA\x03\x00\x00\x00\x00\x01", 8));
}

TEST(DeflateBuffer, WritesLevel9ZlibStreamsThatZlibReads) {
  for (const std::string& input :
       {std::string("a"), dictionaryText(1), dictionaryText(5000), randomBytes(1 << 20, 1)}) {
    const std::string compressed = DeflateBuffer(input);
    ASSERT_GE(compressed.size(), 2u);
    EXPECT_EQ(compressed.substr(0, 2), "\x78\xDA");
    EXPECT_EQ(uncompressWithZlib(compressed, input.size()), input);
  }
}

// The saved index's kind of text: short, very repetitive lines.
std::string indexText(size_t bytes) {
  std::string text;
  for (size_t i = 0; text.size() < bytes; ++i) {
    text += std::to_string(i % 7) + ":items\\" + std::to_string(i / 500 + 1) +
            ".dat:" + std::to_string(i % 500) + (i % 3 == 0 ? "|2:items\\0001.dat:40" : "") +
            "\r\n";
  }
  return text;
}

// zlib's own level 9 in one piece.
std::string compressWithZlib(const std::string& input) {
  uLongf size = compressBound(static_cast<uLong>(input.size()));
  std::string out(size, '\0');
  EXPECT_EQ(
      compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                reinterpret_cast<const Bytef*>(input.data()), static_cast<uLong>(input.size()), 9),
      Z_OK);
  out.resize(size);
  return out;
}

// Large inputs are compressed in pieces on every core; the joined stream is still one zlib
// stream that any reader takes, and hardly larger than zlib's own.
TEST(DeflateBuffer, CompressesLargeInputsInPiecesThatReadAsOneStream) {
  for (const std::string& input : {indexText(5 << 20), randomBytes(3 << 20, 2),
                                   indexText(2 << 20) + randomBytes(1 << 20, 3)}) {
    const std::string compressed = DeflateBuffer(input);
    EXPECT_EQ(compressed.substr(0, 2), "\x78\xDA");
    EXPECT_EQ(uncompressWithZlib(compressed, input.size()), input);
    EXPECT_EQ(InflateBuffer(compressed, 0, input.size()), input);
    EXPECT_LE(static_cast<double>(compressed.size()),
              static_cast<double>(compressWithZlib(input).size()) * 1.01);
  }
}

// Streams saved together share the cores; each comes back as its own zlib stream, whatever its
// size: empty, one small piece, or many pieces cut at boundaries that depend on the total.
TEST(deflateBuffers, GivesEachInputItsOwnZlibStream) {
  const std::vector<std::string> inputs = {indexText(6 << 20), "", dictionaryText(3),
                                           randomBytes(300000, 4), indexText(700000)};
  const std::vector<std::string> compressed =
      deflateBuffers(std::vector<std::string_view>(inputs.begin(), inputs.end()));
  ASSERT_EQ(compressed.size(), inputs.size());
  for (size_t i = 0; i < inputs.size(); ++i) {
    EXPECT_EQ(compressed[i].substr(0, 2), "\x78\xDA") << i;
    EXPECT_EQ(uncompressWithZlib(compressed[i], inputs[i].size()), inputs[i]) << i;
    // Each piece refers back across its cut: no more than a percent above one-piece output.
    EXPECT_LE(static_cast<double>(compressed[i].size()),
              static_cast<double>(compressWithZlib(inputs[i]).size()) * 1.01)
        << i;
  }
  EXPECT_EQ(compressed[1], DeflateBuffer(""));
  EXPECT_TRUE(deflateBuffers({}).empty());
}

// A single small input stays one piece: exactly zlib's own level 9.
TEST(deflateBuffers, SmallInputIsZlibsOwnLevel9) {
  const std::string text = dictionaryText(200);
  EXPECT_EQ(deflateBuffers({text}).front(), compressWithZlib(text));
}

TEST(InflateBuffer, RoundTripsContentOfEverySize) {
  // Sizes around the 256-byte growth step and far beyond the initial capacity, where the output
  // block must grow many times over.
  for (size_t size : {size_t{1}, size_t{255}, size_t{256}, size_t{257}, size_t{8096},
                      size_t{100000}, size_t{3000000}}) {
    const std::string text = dictionaryText(size / 20 + 1).substr(0, size);
    EXPECT_EQ(InflateBuffer(DeflateBuffer(text)), text) << size;
  }
  const std::string noise = randomBytes(300000, 2);
  EXPECT_EQ(InflateBuffer(DeflateBuffer(noise)), noise);
}

TEST(InflateBuffer, ExpectedSizeIsOnlyAHint) {
  const std::string text = dictionaryText(2000);
  const std::string compressed = DeflateBuffer(text);
  EXPECT_EQ(InflateBuffer(compressed, 1), text);
  EXPECT_EQ(InflateBuffer(compressed, text.size()), text);
  EXPECT_EQ(InflateBuffer(compressed, text.size() * 3), text);
}

TEST(InflateBuffer, IgnoresBytesAfterTheEndOfTheZlibStream) {
  const std::string text = dictionaryText(300);
  // What a rewritten, once longer stream holds: the new zlib stream, then old bytes.
  const std::string stored = DeflateBuffer(text) + randomBytes(5000, 3);
  EXPECT_EQ(InflateBuffer(stored), text);
  EXPECT_EQ(InflateBuffer(DeflateBuffer("") + "trailing"), "");
}

TEST(inflateAppend, AppendsAndLeavesTheBlockAsItWasOnFailure) {
  const std::string text = dictionaryText(2000);
  std::string block = "kept";
  inflateAppend(DeflateBuffer(text), block);
  EXPECT_EQ(block, "kept" + text);

  std::string damaged = DeflateBuffer(text);
  damaged.resize(damaged.size() - 1);
  block = "kept";
  EXPECT_THROW(inflateAppend(damaged, block), EDecompressionError);
  EXPECT_EQ(block, "kept");
  // The limit counts what is appended, not what the block held before.
  EXPECT_THROW(inflateAppend(DeflateBuffer(text), block, 0, text.size() - 1), EDecompressionError);
  EXPECT_EQ(block, "kept");
  inflateAppend(DeflateBuffer(text), block, 0, text.size());
  EXPECT_EQ(block.size(), 4 + text.size());
}

TEST(Inflater, TakesTheStreamInPiecesOfAnySize) {
  const std::string text = dictionaryText(3000);
  const std::string stored = DeflateBuffer(text) + "old bytes after the end";
  for (size_t pieceSize : {size_t{1}, size_t{7}, size_t{8096}, stored.size()}) {
    std::string block = "kept";
    {
      Inflater inflater(block, stored.size());
      bool ended = false;
      for (size_t at = 0; at < stored.size() && !ended; at += pieceSize) {
        ended = inflater.feed(std::string_view(stored).substr(at, pieceSize));
      }
      EXPECT_TRUE(ended);
      EXPECT_TRUE(inflater.feed("ignored"));
      inflater.finish();
    }
    EXPECT_EQ(block, "kept" + text) << pieceSize;
  }
}

TEST(Inflater, WithoutFinishLeavesTheBlockAsItWas) {
  const std::string stored = DeflateBuffer(dictionaryText(3000));
  std::string block = "kept";
  {
    Inflater inflater(block, stored.size());
    EXPECT_FALSE(inflater.feed(std::string_view(stored).substr(0, stored.size() - 1)));
    EXPECT_THROW(inflater.finish(), EDecompressionError);
  }
  EXPECT_EQ(block, "kept");
  {
    Inflater inflater(block, stored.size());
    inflater.feed(stored);
  }
  EXPECT_EQ(block, "kept");
}

void expectDecompressionError(const std::string& input, const std::string& reason) {
  try {
    InflateBuffer(input);
    ADD_FAILURE() << "no error for input of " << input.size() << " bytes";
  } catch (const EDecompressionError& e) {
    EXPECT_EQ(e.reason(), reason);
    EXPECT_EQ(std::string(e.what()), "Error: " + reason);
  }
}

TEST(InflateBuffer, RejectsDamagedStreams) {
  const std::string good = DeflateBuffer(dictionaryText(400));

  std::string badHeader = good;
  badHeader[0] = '\x79';
  expectDecompressionError(badHeader, "compressed data is corrupt");

  std::string badChecksum = good;
  badChecksum.back() = static_cast<char>(badChecksum.back() ^ 0x01);
  expectDecompressionError(badChecksum, "compressed data is corrupt");

  std::string badData = good;
  badData[good.size() / 2] = static_cast<char>(badData[good.size() / 2] ^ 0x5A);
  EXPECT_THROW(InflateBuffer(badData), EDecompressionError);

  expectDecompressionError("", "compressed data is truncated");
  expectDecompressionError(std::string("\x78\xDA", 2), "compressed data is truncated");
  expectDecompressionError("not zlib at all", "compressed data is corrupt");
}

TEST(InflateBuffer, EveryTruncationOfAStreamIsAnError) {
  const std::string good = DeflateBuffer(dictionaryText(50));
  for (size_t length = 0; length < good.size(); ++length) {
    EXPECT_THROW(InflateBuffer(good.substr(0, length)), EDecompressionError) << length;
  }
}

TEST(InflateBuffer, RejectsAStreamThatNeedsAPresetDictionary) {
  z_stream zs{};
  ASSERT_EQ(deflateInit(&zs, 9), Z_OK);
  const std::string dictionary = "\xF1\xEB\xEE\xE2\xEE";
  deflateSetDictionary(&zs, reinterpret_cast<const Bytef*>(dictionary.data()),
                       static_cast<uInt>(dictionary.size()));
  std::string input = dictionaryText(10);
  std::string out(1000, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(input.data());
  zs.avail_in = static_cast<uInt>(input.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  ASSERT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  expectDecompressionError(out, "compressed data needs a preset dictionary");
}

TEST(InflateBuffer, StopsAtTheOutputLimit) {
  const std::string oneMiB = zerosCompressed(1 << 20);
  EXPECT_EQ(InflateBuffer(oneMiB, 0, 1 << 20).size(), size_t{1} << 20);
  try {
    InflateBuffer(oneMiB, 0, (1 << 20) - 1);
    ADD_FAILURE() << "no error";
  } catch (const EDecompressionError& e) {
    EXPECT_STREQ(e.what(), "Error: the decompressed data exceeds the limit of 1048575 bytes");
  }
  // The size hint must not get round the limit.
  EXPECT_THROW(InflateBuffer(oneMiB, 1 << 21, (1 << 20) - 1), EDecompressionError);
}

TEST(InflateBuffer, DefaultLimitStopsADecompressionBomb) {
  // About 260 KB of input that would expand to more than 256 MiB.
  const std::string bomb = zerosCompressed(kDefaultInflateLimit + 4096);
  ASSERT_LT(bomb.size(), size_t{1} << 20);
  expectDecompressionError(bomb, "the decompressed data exceeds the limit of 268435456 bytes");
}

}  // namespace
}  // namespace verbalon::storage
