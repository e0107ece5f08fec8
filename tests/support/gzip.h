#pragma once

#include <string>
#include <string_view>

#include <zlib.h>

// gzip data as gzip and dictzip write it, made by zlib itself, for the tests of the readers of
// compressed sources.
namespace verbalon::testing {

// One gzip member holding data; members written one after another read as their contents
// joined, as "gzip -c a b" makes them.
inline std::string gzip(std::string_view data) {
  z_stream zs{};
  deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&zs, static_cast<uLong>(data.size())) + 64, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

}  // namespace verbalon::testing
