#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/string_list.h"
#include "storage/compound_file.h"
#include "storage/memory_stream.h"
#include "storage/zlib_buffer.h"

// The only road to the content of a package. A package is a compound file whose every stream
// holds one zlib stream; callers name an element by a storage path and get or give its whole
// content in memory, and never see a storage or stream below the root they opened.
//
// A storage path is Windows-1251 text naming an element below the root: names separated by "\",
// e.g. "templates\default.html". It is split like text into lines, every "\" counting as a line
// break: two adjacent "\" give an empty name, a leading "\" an empty first name (no element has
// either, so the lookup fails), and one trailing "\" adds nothing. All names but the last name
// storages; the last names the stream. Names are converted to UTF-16 for the compound file, and
// names it reports are converted back; a character outside Windows-1251 comes back as "?".
//
// Errors: a failing compound-file call raises its EStorageError (a missing element is
// STG_E_FILENOTFOUND), a damaged stream EDecompressionError naming the file and the stream, and
// an empty path EStorageError STG_E_INVALIDNAME before anything is opened. Messages are UTF-8,
// like those of the compound file. Every storage and stream opened on the way is released
// before a call returns, also when it fails; the root stays open.
//
// Streams are read in chunks of 8096 bytes, each handed straight to inflate, and written in
// chunks of 65536 bytes.
namespace verbalon::storage {

// STGM_* access flags, with their Windows values. Packages are opened read-write and exclusive.
inline constexpr uint32_t kStgmRead = 0x0;
inline constexpr uint32_t kStgmWrite = 0x1;
inline constexpr uint32_t kStgmReadWrite = 0x2;
inline constexpr uint32_t kStgmShareExclusive = 0x10;
inline constexpr uint32_t kPackageMode = kStgmReadWrite | kStgmShareExclusive;
// What the tool asks for when it only reads, so that it can read files it may not write.
inline constexpr uint32_t kReadOnlyMode = kStgmRead | kStgmShareExclusive;

// The names of a storage path, in order.
StringList splitStoragePath(std::string_view path);

// Fills dest with the content of the stream at path, decompressed when decompress is set, and
// returns dest positioned at 0. mode is the STGM access of the caller (every caller passes
// kPackageMode); it must be one access flag combined with STGM_SHARE_EXCLUSIVE, as for any
// element below a root, or STG_E_INVALIDPARAMETER is raised. A stream of 0 bytes read with
// decompression gives empty content. Decompressed content beyond limit bytes raises
// EDecompressionError. On failure dest is left empty.
MemoryStream& ReadStream(const CompoundFile& root, std::string_view path, MemoryStream& dest,
                         uint32_t mode, bool decompress, size_t limit = kDefaultInflateLimit);

// The lines of the stream at path, read with kPackageMode and decompressed through ReadBuf, which
// is left empty: the way every stored text is loaded into an ordered list.
StringList readLines(const CompoundFile& root, std::string_view path, MemoryStream& ReadBuf);

// Stores content as the stream at path, compressed when compress is set. When the last storage
// on the path holds an element whose name equals the last name ignoring letter case
// (Windows-1251 rules, Cyrillic included), that stream is overwritten, keeping its spelling;
// otherwise the stream is created. Storages on the path are never created: a missing one raises
// STG_E_FILENOTFOUND. The stream ends up exactly as long as the new content, so no bytes of an
// older, longer content stay behind in the file's stream. The change is committed (durable)
// when the call returns; a call that fails leaves an existing stream as it was.
void WriteStream(const CompoundFile& root, std::string_view path, std::string_view content,
                 bool compress);
// The same for the whole content of source, whatever its position; source's position is set
// to 0.
void WriteStream(const CompoundFile& root, std::string_view path, MemoryStream& source,
                 bool compress);

// The names of the elements (streams and storages alike) of the storage at path, in the order
// the compound file enumerates them. An empty path lists the root. The path of a stream raises
// STG_E_FILENOTFOUND, since no storage has that name.
StringList ListElements(const CompoundFile& root, std::string_view path);

// Compresses the whole content of source into one zlib stream written at dest's position;
// dest's position ends after it. source's position is set to 0.
void CompressStream(MemoryStream& source, MemoryStream& dest);

// Decompresses the bytes of source from its position to its end and appends the result to
// dest; dest's position is set to 0. No bytes gives nothing appended, not an error. Raises
// EDecompressionError for a damaged stream or more than limit bytes of output; dest then keeps
// its earlier content.
void DecompressStream(const MemoryStream& source, MemoryStream& dest,
                      size_t limit = kDefaultInflateLimit);

// The text of source from its position: its lines joined by CR LF, without a line break at the
// end. Lines end at CR LF, CR or LF, as stored texts are read.
std::string StreamText(const MemoryStream& source);

}  // namespace verbalon::storage
