#include "cli/transfer_commands.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>

#include "cli/element_names.h"
#include "cli/element_tree.h"
#include "cli/local_files.h"
#include "common/cp1251.h"
#include "storage/storage.h"

namespace verbalon::cli {
namespace {

namespace fs = std::filesystem;

using storage::Access;
using storage::CompoundFile;
using storage::ElementInfo;
using storage::ElementKind;
using storage::MemoryStream;
using storage::Storage;

// Puts the content of folder into storage, whose storage path is prefix ("" or ending in "\").
void packFolder(const CompoundFile& file, Storage storage, const fs::path& folder,
                const std::string& prefix) {
  std::vector<fs::directory_entry> entries;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder))
    entries.push_back(entry);
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });

  // Element names ignore letter case, so "A.txt" and "a.txt" would land on one stream.
  std::set<std::string> taken;
  for (const fs::directory_entry& entry : entries) {
    const std::string fileName = entry.path().filename().string();
    const std::string name = toPackageText(fileName, "file name");
    if (!taken.insert(cp1251::toUpper(name)).second) {
      throw EToolError(entry.path().string() +
                       ": another file of that folder has the same name apart from letter case");
    }
    const fs::file_status status = entry.symlink_status();
    if (fs::is_directory(status)) {
      Storage child = storage.createStorage(cp1251::toUtf16(name));
      packFolder(file, child, entry.path(), prefix + name + "\\");
    } else if (fs::is_regular_file(status)) {
      storage::WriteStream(file, prefix + name, readLocalFile(entry.path()), true);
    } else {
      throw EToolError(entry.path().string() + ": neither a regular file nor a folder");
    }
  }
}

int runPack(const Arguments& arguments, Console&) {
  const fs::path folder = arguments[0];
  const fs::path package = arguments[1];
  if (!fs::is_directory(folder)) throw EToolError(folder.string() + ": not a folder");
  // Inside the folder, the new package would be packed into itself, half written.
  const fs::path absoluteFolder = fs::weakly_canonical(folder);
  const fs::path absolutePackage = fs::weakly_canonical(package);
  const auto differ = std::mismatch(absoluteFolder.begin(), absoluteFolder.end(),
                                    absolutePackage.begin(), absolutePackage.end());
  if (differ.first == absoluteFolder.end()) {
    throw EToolError(package.string() +
                     ": the package cannot lie inside the folder it is made from");
  }
  bool created = false;
  try {
    CompoundFile file = CompoundFile::create(package);
    created = true;
    // One transaction: the package is written once, at the end, instead of once per stream.
    CompoundFile::Transaction transaction = file.beginTransaction();
    packFolder(file, file.root(), folder, "");
    transaction.commit();
  } catch (...) {
    // A half-filled package is no use to anyone; remove what this command created.
    std::error_code ignored;
    if (created) fs::remove(package, ignored);
    throw;
  }
  return kExitOk;
}

void prepareEmptyFolder(const fs::path& folder) {
  std::error_code ec;
  if (fs::exists(folder)) {
    if (!fs::is_directory(folder)) throw EToolError(folder.string() + ": not a folder");
    if (!fs::is_empty(folder)) throw EToolError(folder.string() + ": the folder is not empty");
    return;
  }
  fs::create_directories(folder, ec);
  if (ec) throw EToolError(folder.string() + ": cannot create the folder (" + ec.message() + ")");
}

int runUnpack(const Arguments& arguments, Console&) {
  const NameMode mode = arguments.has("--raw") ? NameMode::Raw : NameMode::Package;
  const CompoundFile file = CompoundFile::open(arguments[0], Access::ReadOnly);
  const fs::path folder = arguments[1];
  prepareEmptyFolder(folder);
  walkElements(file, [&](const ElementPath& path, const ElementInfo& info, const Storage& parent) {
    fs::path target = folder;
    for (const std::u16string& name : path)
      target /= fileNameFor(name, mode);
    if (mode == NameMode::Package && !fitsWindows1251(path.back())) {
      throw EToolError(shownPath(path, NameMode::Raw) +
                       ": the name has characters that Windows-1251 cannot hold (try --raw)");
    }
    if (info.kind == ElementKind::Storage) {
      std::error_code ec;
      if (!fs::create_directory(target, ec)) {
        throw EToolError(target.string() + ": cannot create the folder" +
                         (ec ? " (" + ec.message() + ")" : std::string(" (it exists)")));
      }
      return;
    }
    if (mode == NameMode::Raw) {
      writeNewLocalFile(target, readStoredBytes(parent, path.back()));
    } else {
      MemoryStream content;
      storage::ReadStream(file, packagePath(path), content, storage::kReadOnlyMode, true);
      writeNewLocalFile(target, content.bytes());
    }
  });
  return kExitOk;
}

int runPut(const Arguments& arguments, Console&) {
  const std::string path = toPackageText(arguments[1], "storage path");
  const std::string content = readLocalFile(arguments[2]);
  const CompoundFile file = CompoundFile::open(arguments[0], Access::ReadWriteExclusive);
  storage::WriteStream(file, path, content, true);
  return kExitOk;
}

}  // namespace

std::vector<Command> transferCommands() {
  return {
      {"pack",
       "pack FOLDER PACKAGE",
       "Make a new package from a folder",
       "Creates PACKAGE, which must not exist: every file of FOLDER becomes a compressed\n"
       "stream, every sub-folder a storage. File names must be expressible in Windows-1251\n"
       "and differ in more than letter case within a folder.",
       {},
       2,
       runPack},
      {"unpack",
       "unpack [--raw] PACKAGE FOLDER",
       "Write every element of a package into a folder",
       "Storages become folders and streams files, decompressed. FOLDER must be empty or\n"
       "not exist. A character that cannot stand in a file name (a control character, \"/\")\n"
       "is written as [N], N its decimal code.\n"
       "--raw  any compound file: names as stored (UTF-16), stream bytes unchanged.",
       {"--raw"},
       2,
       runUnpack},
      {"put",
       "put PACKAGE PATH FILE",
       "Store one file as a stream of an existing package",
       "Writes FILE, compressed, as the stream at the storage path PATH (names separated by\n"
       "\"\\\"). A stream of that name, letter case ignored, is replaced; the storages on the\n"
       "path must exist.",
       {},
       3,
       runPut},
  };
}

}  // namespace verbalon::cli
