// Feeds arbitrary bytes to the compound-file reader, then to its writer: opens the input
// read-only, walks the whole tree and reads every stream; then opens it read-write, commits a new
// stream and a rewritten one (moved across the mini stream cutoff), rolls a transaction back,
// and reads everything again. Any error but verbalon::Error is
// a finding, as is a crash, a hang or a leak.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/error.h"
#include "storage/compound_file.h"

namespace {

using verbalon::storage::Access;
using verbalon::storage::CompoundFile;
using verbalon::storage::ElementKind;
using verbalon::storage::Storage;
using verbalon::storage::Stream;

// Reads every stream it can reach; returns the first stream found, if any.
std::optional<std::pair<Storage, std::u16string>> walk(const CompoundFile& file) {
  std::optional<std::pair<Storage, std::u16string>> first;
  std::vector<Storage> todo{file.root()};
  std::vector<std::byte> buf(8096);
  while (!todo.empty()) {
    Storage storage = todo.back();
    todo.pop_back();
    auto elements = storage.enumElements();
    while (auto info = elements.next()) {
      try {
        if (info->kind == ElementKind::Storage) {
          todo.push_back(storage.openStorage(info->name));
        } else {
          Stream stream = storage.openStream(info->name);
          while (stream.read(buf) == buf.size()) {
          }
          if (!first) first.emplace(storage, info->name);
        }
      } catch (const verbalon::Error&) {
      }
    }
  }
  return first;
}

void writeSome(CompoundFile& file) {
  const auto first = walk(file);
  std::vector<std::byte> data(5000, std::byte{0x5A});
  Stream created = file.root().createStream(u"fuzz-new");
  created.write(data);
  created.commit();
  if (first) {
    Stream s = first->first.openStream(first->second);
    s.seek(s.size() / 2);
    s.write(std::span<const std::byte>(data).first(100));
    s.commit();
    s.setSize(s.size() > 4096 ? 100 : 4200);  // across the mini stream cutoff
    s.commit();
  }
  {
    auto discarded = file.beginTransaction();
    Stream s = file.root().createStorage(u"fuzz-txn").createStream(u"s");
    s.write(data);
    s.commit();
  }
  walk(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto* begin = reinterpret_cast<const std::byte*>(data);
  const std::vector<std::byte> input(begin, begin + size);
  try {
    walk(verbalon::storage::detail::openFromMemory(input, "fuzz.cfb", Access::ReadOnly));
  } catch (const verbalon::Error&) {
  }
  try {
    CompoundFile file =
        verbalon::storage::detail::openFromMemory(input, "fuzz.cfb", Access::ReadWriteExclusive);
    writeSome(file);
  } catch (const verbalon::Error&) {
  }
  return 0;
}
