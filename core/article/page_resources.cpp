#include "article/page_resources.h"

#include "storage/storage.h"

namespace verbalon::article {
PageResources loadPageResources(const storage::CompoundFile& stgRes,
                                storage::MemoryStream& ReadBuf) {
  PageResources resources;
  resources.templates.slTplDefault = storage::readLines(stgRes, "templates\\default.html", ReadBuf);
  resources.templates.slTplMemo = storage::readLines(stgRes, "templates\\memo.html", ReadBuf);
  resources.templates.slTplList = storage::readLines(stgRes, "templates\\list.html", ReadBuf);
  resources.templates.slTplColumn = storage::readLines(stgRes, "templates\\column.html", ReadBuf);
  resources.slAdvert = storage::readLines(stgRes, "advert\\advert.db", ReadBuf);
  return resources;
}

}  // namespace verbalon::article
