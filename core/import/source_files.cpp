#include "import/source_files.h"

#include <fstream>
#include <system_error>

#include <zlib.h>

#include "import/import_error.h"

namespace verbalon::import {

namespace fs = std::filesystem;

std::string displayName(const fs::path& file) {
  return file.filename().string();
}

std::string readSourceFile(const fs::path& file) {
  const std::string name = displayName(file);
  std::error_code ec;
  const fs::file_status status = fs::status(file, ec);
  if (ec || !fs::exists(status)) throw EImportError(file.string() + ": no such file");
  if (!fs::is_regular_file(status)) throw EImportError(file.string() + ": not a regular file");
  const uintmax_t size = fs::file_size(file, ec);
  if (ec) throw EImportError(file.string() + ": cannot read the file size");
  if (size > kMaxSourceBytes) {
    throw EImportError(file.string() + ": the file is larger than " +
                       std::to_string(kMaxSourceBytes >> 20) + " MiB");
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) throw EImportError(file.string() + ": cannot open the file");
  std::string bytes(static_cast<size_t>(size), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  // A file that shrank while being read gives what it still had.
  bytes.resize(static_cast<size_t>(in.gcount()));
  if (in.bad()) throw EImportError(file.string() + ": read error");
  return bytes;
}

std::string readMaybeCompressed(const fs::path& file) {
  std::string bytes = readSourceFile(file);
  const std::string extension = file.extension().string();
  if (extension == ".gz" || extension == ".dz" || extension == ".GZ" || extension == ".DZ") {
    return inflateGzip(bytes, displayName(file));
  }
  return bytes;
}

std::string inflateGzip(std::string_view bytes, std::string_view name, size_t limit) {
  const std::string where(name);
  if (bytes.empty()) throw EImportError(where + ": the compressed file is empty");
  z_stream zs{};
  // 16 + 15: a gzip header and trailer around deflate data with a 32 KiB window.
  if (inflateInit2(&zs, 16 + MAX_WBITS) != Z_OK) throw EImportError(where + ": out of memory");
  std::string out;
  // Grow by what the data can plausibly give; a bomb stops at the limit, not at its own claim.
  out.resize(std::min(limit, std::max<size_t>(bytes.size() * 4, 1 << 16)));
  size_t produced = 0;
  size_t consumed = 0;
  int rc = Z_OK;
  while (true) {
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data() + consumed));
    const size_t inChunk = std::min<size_t>(bytes.size() - consumed, 1u << 30);
    zs.avail_in = static_cast<uInt>(inChunk);
    if (produced == out.size()) {
      if (out.size() >= limit) {
        inflateEnd(&zs);
        throw EImportError(where + ": inflates to more than " + std::to_string(limit >> 20) +
                           " MiB");
      }
      out.resize(std::min(limit, out.size() * 2));
    }
    zs.next_out = reinterpret_cast<Bytef*>(out.data() + produced);
    const size_t outChunk = std::min<size_t>(out.size() - produced, 1u << 30);
    zs.avail_out = static_cast<uInt>(outChunk);
    rc = inflate(&zs, Z_NO_FLUSH);
    consumed += inChunk - zs.avail_in;
    produced += outChunk - zs.avail_out;
    if (rc == Z_STREAM_END) {
      // Another member may follow, as gzip -c a b > c makes; trailing zero padding is allowed.
      const std::string_view rest = bytes.substr(consumed);
      if (rest.find_first_not_of('\0') == std::string_view::npos) break;
      if (inflateReset(&zs) != Z_OK) break;
      continue;
    }
    if (rc == Z_BUF_ERROR && zs.avail_in == 0 && consumed == bytes.size()) {
      inflateEnd(&zs);
      throw EImportError(where + ": the compressed data is truncated");
    }
    if (rc != Z_OK && rc != Z_BUF_ERROR) {
      std::string message = where + ": the compressed data is damaged (";
      message += zs.msg != nullptr ? zs.msg : "damaged data";
      message += ")";
      inflateEnd(&zs);
      throw EImportError(message);
    }
  }
  inflateEnd(&zs);
  out.resize(produced);
  return out;
}

std::optional<fs::path> findCompanion(const fs::path& base,
                                      const std::vector<std::string_view>& suffixes) {
  for (std::string_view suffix : suffixes) {
    fs::path candidate = base;
    candidate += std::string(suffix);
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec)) return candidate;
  }
  return std::nullopt;
}

}  // namespace verbalon::import
