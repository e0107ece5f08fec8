#include "cli/read_commands.h"

#include <iomanip>
#include <optional>
#include <string>

#include "cli/element_names.h"
#include "cli/element_tree.h"
#include "common/string_list.h"
#include "storage/storage.h"

namespace verbalon::cli {
namespace {

using storage::Access;
using storage::CompoundFile;
using storage::ElementInfo;
using storage::ElementKind;
using storage::MemoryStream;
using storage::Storage;

NameMode nameMode(const Arguments& arguments) {
  return arguments.has("--raw") ? NameMode::Raw : NameMode::Package;
}

int runLs(const Arguments& arguments, Console& console) {
  const NameMode mode = nameMode(arguments);
  const CompoundFile file = CompoundFile::open(arguments[0], Access::ReadOnly);
  walkElements(file, [&](const ElementPath& path, const ElementInfo& info, const Storage&) {
    if (info.kind == ElementKind::Storage) {
      console.out << std::setw(12) << "-"
                  << "  " << shownPath(path, mode) << "\\\n";
    } else {
      console.out << std::setw(12) << info.size << "  " << shownPath(path, mode) << "\n";
    }
  });
  return kExitOk;
}

// With --raw, a name on the command line matches an element of that name or one whose shown
// name it is, so that a name printed as "[1]data" can be typed back.
std::u16string findRawElement(const Storage& storage, const std::string& typed) {
  const std::u16string name = utf8ToUtf16(typed);
  storage::ElementEnumerator elements = storage.enumElements();
  std::optional<std::u16string> shownMatch;
  while (std::optional<ElementInfo> info = elements.next()) {
    if (info->name == name) return name;
    if (!shownMatch && shownName(info->name, NameMode::Raw) == typed) shownMatch = info->name;
  }
  return shownMatch.value_or(name);
}

std::string readRaw(const CompoundFile& file, const std::string& utf8Path) {
  const StringList names = storage::splitStoragePath(utf8Path);
  if (names.empty()) throw EToolError("the storage path is empty");
  Storage current = file.root();
  for (size_t i = 0; i + 1 < names.size(); ++i) {
    current = current.openStorage(findRawElement(current, names[i]));
  }
  return readStoredBytes(current, findRawElement(current, names.back()));
}

int runCat(const Arguments& arguments, Console& console) {
  const CompoundFile file = CompoundFile::open(arguments[0], Access::ReadOnly);
  if (arguments.has("--raw")) {
    const std::string bytes = readRaw(file, arguments[1]);
    console.out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  } else {
    MemoryStream content;
    storage::ReadStream(file, toPackageText(arguments[1], "storage path"), content,
                        storage::kReadOnlyMode, true);
    console.out.write(content.bytes().data(), static_cast<std::streamsize>(content.size()));
  }
  console.out.flush();
  return kExitOk;
}

int runVerify(const Arguments& arguments, Console& console) {
  const CompoundFile file = CompoundFile::open(arguments[0], Access::ReadOnly);
  size_t storages = 0;
  size_t streams = 0;
  size_t problems = 0;
  auto report = [&](const ElementPath& path, const std::string& text) {
    ++problems;
    console.out << shownPath(path, NameMode::Raw) << ": " << text << "\n";
  };
  walkElements(
      file,
      [&](const ElementPath& path, const ElementInfo& info, const Storage&) {
        ++(info.kind == ElementKind::Storage ? storages : streams);
        if (!fitsWindows1251(path.back())) {
          report(path, "the name has characters that Windows-1251 cannot hold");
          return;
        }
        if (info.kind == ElementKind::Storage) return;
        try {
          MemoryStream content;
          storage::ReadStream(file, packagePath(path), content, storage::kReadOnlyMode, true);
        } catch (const storage::EDecompressionError& e) {
          ++problems;
          console.out << e.what() << "\n";
        } catch (const Error& e) {
          report(path, e.what());
        }
      },
      [&](const ElementPath& path, const Error& e) { report(path, e.what()); });
  console.out << arguments[0] << ": " << storages << " storages, " << streams << " streams, "
              << (problems == 0 ? "no problems" : std::to_string(problems) + " problems") << "\n";
  return problems == 0 ? kExitOk : kExitFailure;
}

}  // namespace

std::vector<Command> readCommands() {
  return {
      {"ls",
       "ls [--raw] PACKAGE",
       "List the elements of a package with their stored sizes",
       "Prints one line per element, depth first: the stored size in bytes (\"-\" for a\n"
       "storage) and the storage path, names separated by \"\\\", storages ending in \"\\\".\n"
       "--raw  any compound file: names as stored (UTF-16) instead of Windows-1251.\n"
       "Control characters in names are shown as [N], N their decimal code.",
       {"--raw"},
       1,
       runLs},
      {"cat",
       "cat [--raw] PACKAGE PATH",
       "Write one stream, decompressed, to standard output",
       "PATH is the storage path of the stream, names separated by \"\\\".\n"
       "--raw  any compound file: the stream's bytes as stored, not decompressed; a name may\n"
       "       also be given as ls --raw shows it.",
       {"--raw"},
       2,
       runCat},
      {"verify",
       "verify PACKAGE",
       "Check that every element of a package can be read",
       "Opens the package, walks every storage and decompresses every stream, and prints\n"
       "each problem found. The exit status is 1 when there is any.",
       {},
       1,
       runVerify},
  };
}

}  // namespace verbalon::cli
