#include "storage/compound_file.h"

#include <algorithm>
#include <cstring>

#include "common/utf8.h"
#include "storage/detail/file_state.h"
#include "storage/detail/names.h"

namespace verbalon::storage {

using detail::FileState;

struct Stream::State {
  std::shared_ptr<FileState> file;
  uint32_t entry = 0;
  uint64_t serial = 0;
  uint64_t position = 0;
  bool dirty = false;
  detail::StreamChanges changes;
  uint64_t layoutGeneration = UINT64_MAX;
  detail::Layout layout;

  void check() const { file->checkHandle(entry, serial); }
  uint64_t storedSize() const { return file->entry(entry).size; }
  const detail::Layout& stored() {
    if (layoutGeneration != file->generation()) {
      layout = file->streamLayout(entry);
      layoutGeneration = file->generation();
    }
    return layout;
  }
  // Bytes of the content as this handle sees it, below its size.
  void view(uint64_t offset, std::span<std::byte> out) {
    if (!dirty) {
      file->readStored(stored(), offset, out);
      return;
    }
    const uint64_t page = file->sectorSize();
    size_t done = 0;
    while (done < out.size()) {
      const uint64_t pos = offset + done;
      const auto n = static_cast<size_t>(std::min<uint64_t>(out.size() - done, page - pos % page));
      std::span<std::byte> part = out.subspan(done, n);
      const auto it = changes.pages.find(pos / page);
      if (it != changes.pages.end()) {
        std::memcpy(part.data(), it->second.data() + pos % page, n);
      } else {
        std::fill(part.begin(), part.end(), std::byte{0});
        const uint64_t keep = std::min(changes.keep, storedSize());
        if (pos < keep) {
          file->readStored(stored(), pos,
                           part.first(static_cast<size_t>(std::min<uint64_t>(n, keep - pos))));
        }
      }
      done += n;
    }
  }
  void beginChanges() {
    if (dirty) return;
    file->requireWritable();
    stored();
    changes = {};
    changes.size = storedSize();
    changes.keep = changes.size;
    dirty = true;
  }
};

namespace {

void checkName(const FileState& file, std::u16string_view name) {
  if (!detail::isValidName(name)) {
    file.fail(hresult::kInvalidName, "invalid element name '" + utf16ToUtf8(name) +
                                         "' (1 to 31 characters, none of / \\ : !)");
  }
}

ElementInfo infoOf(const detail::DirEntry& e) {
  ElementInfo info;
  info.name = e.name;
  info.kind = e.type == detail::kStream ? ElementKind::Stream : ElementKind::Storage;
  if (e.type == detail::kStream) {
    info.size = e.size;
    info.startSector = e.start;
  }
  return info;
}

// The storage path of child name of storage parent, as callers spell paths: "a\b".
std::string elementPath(const FileState& file, uint32_t parent, std::u16string_view name) {
  std::string path = parent == 0 ? std::string() : file.pathOf(parent);
  std::replace(path.begin(), path.end(), '/', '\\');
  if (!path.empty()) path += '\\';
  return path + utf16ToUtf8(name);
}

}  // namespace

// --- ElementEnumerator -----------------------------------------------------------------------

ElementEnumerator::ElementEnumerator(std::shared_ptr<detail::FileState> file,
                                     std::vector<uint32_t> entries)
    : m_file(std::move(file)), m_entries(std::move(entries)) {}

std::optional<ElementInfo> ElementEnumerator::next() {
  while (m_next < m_entries.size()) {
    const uint32_t id = m_entries[m_next++];
    if (m_file->serial(id) == 0) continue;  // discarded by a rollback meanwhile
    return infoOf(m_file->entry(id));
  }
  return std::nullopt;
}

// --- Storage ---------------------------------------------------------------------------------

Storage::Storage(std::shared_ptr<detail::FileState> file, uint32_t entry)
    : m_file(std::move(file)), m_entry(entry), m_serial(m_file->serial(entry)) {}

Storage Storage::openStorage(std::u16string_view name) const {
  m_file->checkHandle(m_entry, m_serial);
  checkName(*m_file, name);
  const auto id = m_file->findChild(m_entry, name);
  if (!id || m_file->entry(*id).type != detail::kStorage) {
    m_file->fail(hresult::kFileNotFound,
                 "no storage '" + utf16ToUtf8(name) + "' in '" + m_file->pathOf(m_entry) + "'",
                 elementPath(*m_file, m_entry, name));
  }
  return Storage(m_file, *id);
}

Stream Storage::openStream(std::u16string_view name) const {
  m_file->checkHandle(m_entry, m_serial);
  checkName(*m_file, name);
  const auto id = m_file->findChild(m_entry, name);
  if (!id || m_file->entry(*id).type != detail::kStream) {
    m_file->fail(hresult::kFileNotFound,
                 "no stream '" + utf16ToUtf8(name) + "' in '" + m_file->pathOf(m_entry) + "'",
                 elementPath(*m_file, m_entry, name));
  }
  auto state = std::make_shared<Stream::State>();
  state->file = m_file;
  state->entry = *id;
  state->serial = m_file->serial(*id);
  state->stored();  // a stream whose chain is broken fails here, not on the first read
  return Stream(state);
}

std::optional<ElementInfo> Storage::find(std::u16string_view name) const {
  m_file->checkHandle(m_entry, m_serial);
  checkName(*m_file, name);
  const auto id = m_file->findChild(m_entry, name);
  if (!id) return std::nullopt;
  return infoOf(m_file->entry(*id));
}

Stream Storage::createStream(std::u16string_view name) {
  m_file->checkHandle(m_entry, m_serial);
  checkName(*m_file, name);
  const uint32_t id = m_file->createElement(m_entry, name, detail::kStream);
  auto state = std::make_shared<Stream::State>();
  state->file = m_file;
  state->entry = id;
  state->serial = m_file->serial(id);
  return Stream(state);
}

Storage Storage::createStorage(std::u16string_view name) {
  m_file->checkHandle(m_entry, m_serial);
  checkName(*m_file, name);
  return Storage(m_file, m_file->createElement(m_entry, name, detail::kStorage));
}

ElementEnumerator Storage::enumElements() const {
  m_file->checkHandle(m_entry, m_serial);
  return ElementEnumerator(m_file, m_file->children(m_entry));
}

std::u16string Storage::name() const {
  m_file->checkHandle(m_entry, m_serial);
  return m_file->entry(m_entry).name;
}

// --- Stream ----------------------------------------------------------------------------------

Stream::Stream(std::shared_ptr<State> state) : m_state(std::move(state)) {}

uint64_t Stream::size() const {
  m_state->check();
  return m_state->dirty ? m_state->changes.size : m_state->storedSize();
}

uint64_t Stream::position() const {
  return m_state->position;
}

void Stream::seek(uint64_t position) {
  m_state->check();
  m_state->position = position;
}

size_t Stream::read(std::span<std::byte> out) {
  State& s = *m_state;
  s.check();
  const uint64_t total = size();
  if (s.position >= total) return 0;
  const auto n = static_cast<size_t>(std::min<uint64_t>(out.size(), total - s.position));
  s.view(s.position, out.first(n));
  s.position += n;
  return n;
}

size_t Stream::write(std::span<const std::byte> in) {
  State& s = *m_state;
  s.check();
  if (in.empty()) return 0;
  const uint64_t end = s.position + in.size();
  if (end < s.position || (s.file->version3() && end > 0xFFFFFFFFu)) {
    s.file->fail(hresult::kMediumFull, "a stream of a version 3 file cannot exceed 4 GB");
  }
  s.beginChanges();
  const uint64_t page = s.file->sectorSize();
  size_t done = 0;
  while (done < in.size()) {
    const uint64_t pos = s.position + done;
    const auto n = static_cast<size_t>(std::min<uint64_t>(in.size() - done, page - pos % page));
    auto it = s.changes.pages.find(pos / page);
    if (it == s.changes.pages.end()) {
      // A page holds a whole sector, so it starts as the content beneath it.
      std::vector<std::byte> fresh(page, std::byte{0});
      const uint64_t begin = pos / page * page;
      if (begin < s.changes.size) {
        s.view(begin, std::span<std::byte>(fresh).first(
                          static_cast<size_t>(std::min(page, s.changes.size - begin))));
      }
      it = s.changes.pages.emplace(pos / page, std::move(fresh)).first;
    }
    std::memcpy(it->second.data() + pos % page, in.data() + done, n);
    done += n;
  }
  s.changes.size = std::max(s.changes.size, end);
  s.position = end;
  return in.size();
}

void Stream::setSize(uint64_t size) {
  State& s = *m_state;
  s.check();
  if (s.file->version3() && size > 0xFFFFFFFFu) {
    s.file->fail(hresult::kMediumFull, "a stream of a version 3 file cannot exceed 4 GB");
  }
  s.beginChanges();
  if (size < s.changes.size) {
    const uint64_t page = s.file->sectorSize();
    s.changes.keep = std::min(s.changes.keep, size);
    s.changes.pages.erase(s.changes.pages.lower_bound((size + page - 1) / page),
                          s.changes.pages.end());
    const auto it = s.changes.pages.find(size / page);
    if (it != s.changes.pages.end()) {
      std::fill(it->second.begin() + static_cast<std::ptrdiff_t>(size % page), it->second.end(),
                std::byte{0});
    }
  }
  s.changes.size = size;
}

void Stream::commit() {
  State& s = *m_state;
  s.check();
  if (s.file->readOnly()) return;
  if (!s.dirty) {
    s.file->commitPending();
    return;
  }
  s.file->commitStream(s.entry, s.changes);
  s.dirty = false;
  s.changes = {};
}

// --- CompoundFile ----------------------------------------------------------------------------

CompoundFile::CompoundFile(std::shared_ptr<detail::FileState> file) : m_file(std::move(file)) {}

CompoundFile CompoundFile::open(const std::filesystem::path& path, Access access) {
  return CompoundFile(FileState::open(path, access));
}

CompoundFile CompoundFile::create(const std::filesystem::path& path) {
  return CompoundFile(FileState::create(path));
}

Storage CompoundFile::root() const {
  return Storage(m_file, 0);
}

const std::filesystem::path& CompoundFile::path() const {
  return m_file->path();
}

CompoundFile::Transaction CompoundFile::beginTransaction() {
  m_file->beginTransaction();
  return Transaction(m_file);
}

CompoundFile::Transaction::Transaction(std::shared_ptr<detail::FileState> file)
    : m_file(std::move(file)) {}

CompoundFile::Transaction::Transaction(Transaction&& other) noexcept
    : m_file(std::move(other.m_file)) {}

CompoundFile::Transaction::~Transaction() {
  if (m_file) m_file->rollbackTransaction();
}

void CompoundFile::Transaction::commit() {
  if (!m_file) {
    throw EStorageError(hresult::kInvalidFunction, {}, "the transaction has already ended");
  }
  auto file = std::move(m_file);
  file->commitTransaction();
}

namespace detail {
CompoundFile openFromMemory(std::vector<std::byte> data, std::string name, Access access) {
  return CompoundFile(FileState::openMemory(std::move(data), std::move(name), access));
}
}  // namespace detail

}  // namespace verbalon::storage
