#include "article/page_resources.h"

#include "storage/storage.h"

namespace verbalon::article {
PageResources LoadPageResources(const storage::CompoundFile& stgRes,
                                storage::MemoryStream& ReadBuf) {
  PageResources resources;
  resources.templates.slTplDefault = storage::ReadLines(stgRes, "templates\\default.html", ReadBuf);
  resources.templates.slTplMemo = storage::ReadLines(stgRes, "templates\\memo.html", ReadBuf);
  resources.templates.slTplList = storage::ReadLines(stgRes, "templates\\list.html", ReadBuf);
  resources.templates.slTplColumn = storage::ReadLines(stgRes, "templates\\column.html", ReadBuf);
  resources.slAdvert = storage::ReadLines(stgRes, "advert\\advert.db", ReadBuf);
  return resources;
}

}  // namespace verbalon::article
