#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "storage/storage_error.h"

// Our reader and writer of the published compound file binary format: a file holding a tree of
// named storages and streams. Reads version 3 (512-byte sectors) and version 4 (4096-byte
// sectors) files; creates version 3 files.
//
// Everything read from a file is checked before it is used: a malformed file raises
// EStorageError (STG_E_DOCFILECORRUPT, or STG_E_FILEALREADYEXISTS for a file that is not a
// compound file at all) naming the file and the fault, never a crash, a hang or an allocation
// beyond what the file's size can justify. Reading is tolerant: a broken stream fails when it is
// opened, the rest of the file still reads. Before the first change, the whole structure is
// checked (every chain inside the file, no sector used twice); a file that fails the check is
// never written to (STG_E_DOCFILECORRUPT from every writing call).
//
// Writing is copy-on-write: new stream data, FAT, mini FAT, DIFAT and directory sectors go to
// sectors that the file's current header does not use, the file is synced, and only then is the
// header rewritten (and synced). A process killed at any moment leaves a file that opens with
// either the old or the new content of every stream. A commit that fails (a full disk, say)
// leaves the file, and the in-memory state of every handle, as before it.
//
// All handles of one file share it; they stay valid while any of them is alive. Not thread-safe:
// one thread uses a file at a time.
namespace verbalon::storage {

class CompoundFile;
class Stream;
class Storage;

enum class ElementKind { Storage, Stream };

struct ElementInfo {
  std::u16string name;
  ElementKind kind = ElementKind::Stream;
  uint64_t size = 0;  // bytes of a stream; 0 for a storage
  // The first sector of a stream's data; 0 for a storage. Writing is copy-on-write, so a stream
  // rewritten since an earlier look usually starts elsewhere (its size may not change).
  uint32_t startSector = 0;
};

enum class Access {
  // Read and write; no other opener, in this process or another, may hold the file.
  ReadWriteExclusive,
  // Read only; other read-only openers may hold the file at the same time, a writer may not.
  ReadOnly,
};

namespace detail {
class FileState;
// For the fuzz harness: a file held in memory (writes change only the copy), named name in
// messages.
CompoundFile openFromMemory(std::vector<std::byte> data, std::string name, Access access);
}  // namespace detail

// Visits the elements of one storage, one per next() call, in the order of the format's name
// comparison (shorter names first, then by upper-cased UTF-16 units).
class ElementEnumerator {
 public:
  std::optional<ElementInfo> next();

 private:
  friend class Storage;
  ElementEnumerator(std::shared_ptr<detail::FileState> file, std::vector<uint32_t> entries);
  std::shared_ptr<detail::FileState> m_file;
  std::vector<uint32_t> m_entries;
  size_t m_next = 0;
};

// A storage (a folder of the tree). Element names are looked up ignoring letter case, by the
// format's rule. A name is 1 to 31 UTF-16 units without "/", "\", ":" or "!"; another name
// raises STG_E_INVALIDNAME.
class Storage {
 public:
  // STG_E_FILENOTFOUND when there is no storage of that name.
  Storage openStorage(std::u16string_view name) const;
  // STG_E_FILENOTFOUND when there is no stream of that name.
  Stream openStream(std::u16string_view name) const;
  // STG_E_FILEALREADYEXISTS when an element of that name exists. The new element is part of the
  // file at the next commit of a stream (or of the transaction), like any other change.
  Stream createStream(std::u16string_view name);
  Storage createStorage(std::u16string_view name);

  // The element of that name (any letter case, by the format's rule), or nothing.
  std::optional<ElementInfo> find(std::u16string_view name) const;

  ElementEnumerator enumElements() const;
  std::u16string name() const;

 private:
  friend class CompoundFile;
  Storage(std::shared_ptr<detail::FileState> file, uint32_t entry);
  std::shared_ptr<detail::FileState> m_file;
  uint32_t m_entry;
  uint64_t m_serial;  // tells a handle whose element a rollback discarded
};

// A stream of bytes with a position. Writes are kept by the stream until commit(); a stream
// released without commit() leaves the file as it was.
class Stream {
 public:
  uint64_t size() const;
  uint64_t position() const;
  void seek(uint64_t position);

  // Reads up to out.size() bytes from the position and advances it; returns the count read,
  // fewer only at the end of the stream. A read that fails raises.
  size_t read(std::span<std::byte> out);
  // Writes all of in at the position, growing the stream as needed, and advances the position.
  // Returns in.size(); a failure raises.
  size_t write(std::span<const std::byte> in);
  void setSize(uint64_t size);

  // Puts this stream's writes into the file, with any elements created since the last commit.
  // Outside a transaction the file's header is rewritten at once and the change is durable when
  // commit() returns; inside one it becomes visible when the transaction commits. On a file
  // opened read-only, and on a stream without changes, it does nothing. A failed commit keeps
  // the stream's writes, so that it can be retried.
  void commit();

 private:
  friend class Storage;
  struct State;
  explicit Stream(std::shared_ptr<State> state);
  std::shared_ptr<State> m_state;
};

// An open compound file. Holds an advisory lock (flock) for as long as any handle lives.
class CompoundFile {
 public:
  // Opens an existing file. Errors: STG_E_FILENOTFOUND, STG_E_PATHNOTFOUND, STG_E_ACCESSDENIED
  // (no permission, read-only medium), STG_E_SHAREVIOLATION (another opener holds it),
  // STG_E_FILEALREADYEXISTS (not a compound file), STG_E_DOCFILECORRUPT (malformed).
  static CompoundFile open(const std::filesystem::path& path,
                           Access access = Access::ReadWriteExclusive);
  // Creates a new, empty version 3 file, opened read-write and exclusive.
  // STG_E_FILEALREADYEXISTS when the path exists.
  static CompoundFile create(const std::filesystem::path& path);

  Storage root() const;
  const std::filesystem::path& path() const;

  // Groups stream commits so that they reach the file together or not at all. Commits made
  // while a transaction is active are held back until commit(); a transaction destroyed without
  // commit() discards them, and the file and every handle return to the state before it began:
  // handles of elements created meanwhile raise STG_E_REVERTED from then on. If a stream commit
  // inside the transaction fails, the transaction is rolled back at once and its commit() raises
  // STG_E_REVERTED. Transactions do not nest (STG_E_INVALIDFUNCTION); a read-only file has none
  // (STG_E_ACCESSDENIED).
  class Transaction {
   public:
    Transaction(Transaction&& other) noexcept;
    Transaction& operator=(Transaction&&) = delete;
    ~Transaction();
    void commit();

   private:
    friend class CompoundFile;
    explicit Transaction(std::shared_ptr<detail::FileState> file);
    std::shared_ptr<detail::FileState> m_file;
  };
  Transaction beginTransaction();

 private:
  friend CompoundFile detail::openFromMemory(std::vector<std::byte> data, std::string name,
                                             Access access);
  explicit CompoundFile(std::shared_ptr<detail::FileState> file);
  std::shared_ptr<detail::FileState> m_file;
};

}  // namespace verbalon::storage
