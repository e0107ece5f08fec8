#include "import/source_title.h"

#include <fstream>
#include <optional>
#include <string_view>
#include <system_error>

#include <zlib.h>

#include "common/cp1251.h"
#include "import/dictionary_source.h"
#include "import/source_text.h"

namespace verbalon::import {
namespace {

namespace fs = std::filesystem;

// A dictzip header carries its chunk table (up to 64 KiB) before the first compressed byte, so
// the inflated head may need that much more input.
constexpr size_t kCompressedPeekBytes = size_t{96} * 1024;

struct Head {
  std::string bytes;
  bool whole = false;  // the file ends within bytes
};

Head readHead(const fs::path& file, size_t limit) {
  std::error_code ec;
  // A FIFO or a device would block or never end.
  if (!fs::is_regular_file(file, ec)) return {};
  std::ifstream in(file, std::ios::binary);
  if (!in) return {};
  Head head;
  head.bytes.resize(limit + 1);
  in.read(head.bytes.data(), static_cast<std::streamsize>(head.bytes.size()));
  head.bytes.resize(static_cast<size_t>(in.gcount()));
  head.whole = head.bytes.size() <= limit;
  if (!head.whole) head.bytes.resize(limit);
  return head;
}

// The first kTitlePeekBytes of gzip data; as much as there is when the data is cut short or
// damaged further on.
Head inflateHead(const Head& compressed) {
  z_stream zs{};
  if (inflateInit2(&zs, 16 + MAX_WBITS) != Z_OK) return {};
  Head head;
  head.bytes.resize(kTitlePeekBytes + 1);
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.bytes.data()));
  zs.avail_in = static_cast<uInt>(compressed.bytes.size());
  zs.next_out = reinterpret_cast<Bytef*>(head.bytes.data());
  zs.avail_out = static_cast<uInt>(head.bytes.size());
  int rc = Z_OK;
  while (rc == Z_OK && zs.avail_out > 0 && zs.avail_in > 0) {
    rc = inflate(&zs, Z_NO_FLUSH);
  }
  head.bytes.resize(head.bytes.size() - zs.avail_out);
  inflateEnd(&zs);
  head.whole = rc == Z_STREAM_END && head.bytes.size() <= kTitlePeekBytes;
  if (head.bytes.size() > kTitlePeekBytes) head.bytes.resize(kTitlePeekBytes);
  return head;
}

// Byte text of unknown origin as UTF-8: a line cut by the end of the head is left out, so that
// a character split there cannot make valid UTF-8 look like Windows-1251.
std::string textOf(const Head& head, bool maybeCp1251) {
  std::string_view bytes = stripUtf8Bom(head.bytes);
  if (!head.whole) {
    const size_t lastBreak = bytes.rfind('\n');
    bytes = bytes.substr(0, lastBreak == std::string_view::npos ? 0 : lastBreak + 1);
  }
  if (maybeCp1251 && !isValidUtf8(bytes)) return cp1251::toUtf8(bytes);
  return repairUtf8(bytes);
}

// DSL sources are mostly UTF-16 little-endian, often without a byte-order mark; then every
// second byte of the "#NAME" line's ASCII is zero.
std::string dslText(const Head& head) {
  std::string_view bytes = head.bytes;
  bool bigEndian = false;
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    bigEndian = bytes[0] == '\xFE';
    bytes.remove_prefix(2);
  } else if (bytes.size() >= 2 && (bytes[0] == '\0') != (bytes[1] == '\0')) {
    bigEndian = bytes[0] == '\0';
  } else {
    return textOf(head, true);
  }
  std::string text = utf8FromUtf16(bytes, bigEndian);
  if (!head.whole) {
    const size_t lastBreak = text.rfind('\n');
    text.resize(lastBreak == std::string::npos ? 0 : lastBreak + 1);
  }
  return text;
}

// Calls line for each line of text (without its CR LF) until it returns true.
template <typename F>
void forEachLine(std::string_view text, F&& line) {
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view current = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (current.ends_with('\r')) current.remove_suffix(1);
    if (line(current)) return;
  }
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         cp1251::toLowerAscii(text.substr(0, prefix.size())) == cp1251::toLowerAscii(prefix);
}

// The header of a DSL source is its lines that begin with "#", before the first card:
//   #NAME "Mueller English-Russian"
std::string dslTitle(std::string_view text) {
  std::string title;
  forEachLine(text, [&](std::string_view line) {
    const std::string_view trimmed = cp1251::trimBlanks(line);
    if (trimmed.empty()) return false;
    if (!trimmed.starts_with('#')) return true;
    if (!startsWithIgnoringCase(trimmed, "#NAME") || trimmed.size() == 5 ||
        static_cast<unsigned char>(trimmed[5]) > ' ') {
      return false;
    }
    std::string_view value = cp1251::trimBlanks(trimmed.substr(5));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    title = std::string(value);
    return true;
  });
  return title;
}

// "StarDict's dict ifo file", then "key=value" lines.
std::string starDictTitle(std::string_view text) {
  std::string title;
  forEachLine(text, [&](std::string_view line) {
    const std::string_view trimmed = cp1251::trimBlanks(line);
    if (!trimmed.starts_with("bookname=")) return false;
    title = std::string(trimmed.substr(9));
    return true;
  });
  return title;
}

std::string tabTitle(std::string_view text) {
  constexpr std::string_view kTitleLine = "#title=";
  const std::string_view first = text.substr(0, text.find('\n'));
  if (!first.starts_with(kTitleLine)) return {};
  return std::string(first.substr(kTitleLine.size()));
}

// Trimmed, without control characters (a list line shows one line), and cut at a character
// boundary.
std::string cleanTitle(std::string_view title) {
  std::string out;
  for (char c : cp1251::trimBlanks(title)) {
    out += static_cast<unsigned char>(c) < ' ' ? ' ' : c;
  }
  if (out.size() > kMaxPeekedTitleBytes) {
    size_t cut = kMaxPeekedTitleBytes;
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) {
      --cut;
    }
    out.resize(cut);
  }
  return std::string(cp1251::trimBlanks(out));
}

}  // namespace

std::string peekTitle(const fs::path& source) {
  const std::optional<SourceFormat> format = guessFormat(source);
  if (!format) return {};
  switch (*format) {
    case SourceFormat::kDictd:
      return {};
    case SourceFormat::kStarDict:
      return cleanTitle(starDictTitle(textOf(readHead(source, kTitlePeekBytes), false)));
    case SourceFormat::kTab:
      return cleanTitle(tabTitle(textOf(readHead(source, kTitlePeekBytes), true)));
    case SourceFormat::kDsl: {
      const bool compressed = cp1251::toLowerAscii(source.extension().string()) == ".dz";
      const Head head = compressed ? inflateHead(readHead(source, kCompressedPeekBytes))
                                   : readHead(source, kTitlePeekBytes);
      return cleanTitle(dslTitle(dslText(head)));
    }
  }
  return {};
}

}  // namespace verbalon::import
