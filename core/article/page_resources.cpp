#include "article/page_resources.h"

#include <string_view>

#include "storage/storage.h"

namespace verbalon::article {
namespace {

StringList readLines(const storage::CompoundFile& stgRes, std::string_view path,
                     storage::MemoryStream& ReadBuf) {
  storage::ReadStream(stgRes, path, ReadBuf, storage::kPackageMode, true);
  StringList lines = splitLines(ReadBuf.bytes());
  ReadBuf.clear();
  return lines;
}

}  // namespace

PageResources LoadPageResources(const storage::CompoundFile& stgRes,
                                storage::MemoryStream& ReadBuf) {
  PageResources resources;
  resources.templates.slTplDefault = readLines(stgRes, "templates\\default.html", ReadBuf);
  resources.templates.slTplMemo = readLines(stgRes, "templates\\memo.html", ReadBuf);
  resources.templates.slTplList = readLines(stgRes, "templates\\list.html", ReadBuf);
  resources.templates.slTplColumn = readLines(stgRes, "templates\\column.html", ReadBuf);
  resources.slAdvert = readLines(stgRes, "advert\\advert.db", ReadBuf);
  return resources;
}

}  // namespace verbalon::article
