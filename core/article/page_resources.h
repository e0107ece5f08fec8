#pragma once

#include "article/article_page.h"
#include "common/string_list.h"
#include "storage/compound_file.h"
#include "storage/memory_stream.h"

// What the article pages take from the resource package "vrbx.pde", read once at start-up: the
// four templates and the advertisement records. The program and vrbx-tool both read them here.
namespace verbalon::article {

struct PageResources {
  PageTemplates templates;
  StringList slAdvert;  // "advert\advert.db", one record per line (advert.h)
};

// Reads "templates\default.html", "templates\memo.html", "templates\list.html",
// "templates\column.html" and "advert\advert.db" from the open resource package stgRes through
// ReadBuf (each stream decompressed and split into lines at CR LF, CR or LF; a last line break
// adds no line). ReadBuf is left empty. A missing or damaged stream raises its storage error.
PageResources loadPageResources(const storage::CompoundFile& stgRes,
                                storage::MemoryStream& ReadBuf);

}  // namespace verbalon::article
