#pragma once

#include <QTemporaryDir>
#include <filesystem>
#include <initializer_list>
#include <string>

#include "dicts/dict_package.h"
#include "index/install_progress.h"
#include "index/word_index.h"
#include "storage/compound_file.h"
#include "storage/memory_stream.h"

// A temporary application folder: a fresh copy of the bundled resource package, the sample
// dictionaries in "data", and the named ones installed.
class AppFolder {
 public:
  explicit AppFolder(std::initializer_list<const char*> installed = {}) {
    namespace fs = std::filesystem;
    fs::copy_file(VERBALON_PACKED_RESOURCES, path() / "vrbx.pde");
    fs::create_directory(dataDir());
    for (const auto& entry : fs::directory_iterator(fs::path(VERBALON_APP_DIR) / "data")) {
      fs::copy_file(entry.path(), dataDir() / entry.path().filename());
    }
    if (installed.size() == 0) return;
    auto stgRes = verbalon::storage::CompoundFile::open(path() / "vrbx.pde");
    verbalon::storage::MemoryStream ReadBuf;
    verbalon::index::WordIndex index;
    verbalon::index::NoProgress progress;
    index.LoadIndex(stgRes, dataDir(), ReadBuf);
    for (const char* name : installed) {
      index.AddDict(dataDir() / name, ReadBuf);
      index.InstallDict(index.Dicts().size() - 1, progress);
    }
    index.SaveIndex(stgRes, progress);
  }

  std::filesystem::path path() const { return m_dir.path().toStdString(); }
  std::filesystem::path dataDir() const { return path() / "data"; }

 private:
  QTemporaryDir m_dir;
};
