#include "cli/element_tree.h"

#include <filesystem>
#include <optional>
#include <span>
#include <system_error>

#include "cli/command.h"

namespace verbalon::cli {
namespace {

using storage::ElementEnumerator;
using storage::ElementInfo;
using storage::ElementKind;
using storage::Storage;

// Every element takes one 128-byte directory entry of the file.
constexpr uintmax_t kDirectoryEntrySize = 128;

struct Frame {
  Storage storage;
  ElementEnumerator elements;
  ElementPath path;
};

}  // namespace

void walkElements(const storage::CompoundFile& file, const ElementVisitor& visit,
                  const WalkErrorHandler& onError) {
  std::error_code ec;
  const uintmax_t fileSize = std::filesystem::file_size(file.path(), ec);
  const uintmax_t maxElements = ec ? UINTMAX_MAX : fileSize / kDirectoryEntrySize + 1;
  uintmax_t visited = 0;

  auto fail = [&onError](const ElementPath& path, const Error& error) {
    if (!onError) throw;
    onError(path, error);
  };

  std::vector<Frame> stack;
  try {
    Storage root = file.root();
    stack.push_back(Frame{root, root.enumElements(), {}});
  } catch (const Error& e) {
    fail({}, e);
    return;
  }
  while (!stack.empty()) {
    std::optional<ElementInfo> info;
    try {
      info = stack.back().elements.next();
    } catch (const Error& e) {
      fail(stack.back().path, e);
      stack.pop_back();
      continue;
    }
    if (!info) {
      stack.pop_back();
      continue;
    }
    if (++visited > maxElements) {
      throw EToolError(file.path().filename().string() +
                       ": the directory holds more elements than the file has room for");
    }
    ElementPath path = stack.back().path;
    path.push_back(info->name);
    const Storage parent = stack.back().storage;
    visit(path, *info, parent);
    if (info->kind != ElementKind::Storage) continue;
    try {
      Storage child = parent.openStorage(info->name);
      ElementEnumerator elements = child.enumElements();
      stack.push_back(Frame{std::move(child), std::move(elements), std::move(path)});
    } catch (const Error& e) {
      fail(path, e);
    }
  }
}

std::string readStoredBytes(const storage::Storage& parent, const std::u16string& name) {
  storage::Stream stream = parent.openStream(name);
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const size_t got = stream.read(std::as_writable_bytes(std::span<char>(buffer)));
    bytes.append(buffer, got);
    if (got < sizeof buffer) break;
  }
  return bytes;
}

}  // namespace verbalon::cli
