#include "compound_file_test_util.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <stdexcept>

#include <sys/wait.h>

#include "common/utf8.h"
#include "storage/detail/names.h"

namespace verbalon::storage::testing {

std::vector<std::byte> bytes(std::string_view text) {
  std::vector<std::byte> out(text.size());
  if (!text.empty()) std::memcpy(out.data(), text.data(), text.size());
  return out;
}

std::vector<std::byte> pattern(size_t n, unsigned seed) {
  std::vector<std::byte> out(n);
  for (size_t i = 0; i < n; ++i)
    out[i] = static_cast<std::byte>((i * 7 + seed) % 251);
  return out;
}

std::vector<std::byte> readAll(Stream& stream) {
  std::vector<std::byte> out(static_cast<size_t>(stream.size()));
  stream.seek(0);
  size_t done = 0;
  while (done < out.size()) {
    const size_t n = stream.read(std::span<std::byte>(out).subspan(done));
    if (n == 0) break;
    done += n;
  }
  out.resize(done);
  return out;
}

std::vector<std::byte> readStream(const Storage& storage, std::u16string_view name) {
  Stream s = storage.openStream(name);
  return readAll(s);
}

void putStream(Storage storage, std::u16string_view name, std::span<const std::byte> data) {
  Stream s = storage.find(name) ? storage.openStream(name) : storage.createStream(name);
  s.setSize(0);
  s.write(data);
  s.commit();
}

std::vector<std::byte> readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::byte> out(raw.size());
  if (!raw.empty()) std::memcpy(out.data(), raw.data(), raw.size());
  return out;
}

void writeFile(const std::filesystem::path& path, std::span<const std::byte> data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

std::string utf8(std::u16string_view text) {
  return utf16ToUtf8(text);
}

void walkTree(const CompoundFile& file,
              const std::function<std::string(std::u16string_view)>& nameOf,
              const std::function<void(const std::string& path, const ElementInfo& info,
                                       const Storage& parent)>& visit) {
  struct Pending {
    Storage storage;
    std::string prefix;
  };
  std::vector<Pending> todo{{file.root(), ""}};
  while (!todo.empty()) {
    Pending p = std::move(todo.back());
    todo.pop_back();
    auto e = p.storage.enumElements();
    while (auto info = e.next()) {
      const std::string path = p.prefix + nameOf(info->name);
      visit(path, *info, p.storage);
      if (info->kind == ElementKind::Storage) {
        todo.push_back({p.storage.openStorage(info->name), path + "/"});
      }
    }
  }
}

std::vector<TreeItem> readTree(const CompoundFile& file) {
  std::vector<TreeItem> items;
  walkTree(file, utf8,
           [&](const std::string& path, const ElementInfo& info, const Storage& parent) {
             if (info.kind == ElementKind::Storage) {
               items.push_back({path + "/", {}});
             } else {
               items.push_back({path, readStream(parent, info.name)});
             }
           });
  return items;
}

CommandResult run(const std::string& command) {
  TempDir dir;
  const auto out = dir / "out";
  const auto err = dir / "err";
  const std::string full = command + " >'" + out.string() + "' 2>'" + err.string() + "' </dev/null";
  const int rc = std::system(full.c_str());
  CommandResult result;
  result.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  const auto o = readFile(out);
  const auto e = readFile(err);
  result.out.assign(reinterpret_cast<const char*>(o.data()), o.size());
  result.err.assign(reinterpret_cast<const char*>(e.data()), e.size());
  return result;
}

}  // namespace verbalon::storage::testing
