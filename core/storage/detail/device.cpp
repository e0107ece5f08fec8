#include "storage/detail/device.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "storage/detail/fault_injection.h"

namespace verbalon::storage::detail {
namespace {

std::string errnoText(int err) {
  return std::generic_category().message(err);
}

uint32_t codeFor(int err, uint32_t ioFault) {
  switch (err) {
    case ENOENT:
      return hresult::kFileNotFound;
    case ENOTDIR:
      return hresult::kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return hresult::kAccessDenied;
    case EMFILE:
    case ENFILE:
      return hresult::kTooManyOpenFiles;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return hresult::kMediumFull;
    case ENOMEM:
      return hresult::kInsufficientMemory;
    case EWOULDBLOCK:
      return hresult::kShareViolation;
    default:
      return ioFault;
  }
}

class FileDevice final : public Device {
 public:
  FileDevice(int fd, std::string name) : m_fd(fd), m_name(std::move(name)) {}
  ~FileDevice() override { ::close(m_fd); }
  FileDevice(const FileDevice&) = delete;
  FileDevice& operator=(const FileDevice&) = delete;

  size_t readAt(uint64_t offset, std::span<std::byte> out) override {
    size_t done = 0;
    while (done < out.size()) {
      const ssize_t n =
          ::pread(m_fd, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        fail(errno, hresult::kReadFault, "cannot read");
      }
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    return done;
  }

  void writeAt(uint64_t offset, std::span<const std::byte> in) override {
    faultPoint(in.size());
    size_t done = 0;
    while (done < in.size()) {
      const ssize_t n =
          ::pwrite(m_fd, in.data() + done, in.size() - done, static_cast<off_t>(offset + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        fail(errno, hresult::kWriteFault, "cannot write");
      }
      done += static_cast<size_t>(n);
    }
  }

  void sync() override {
    faultPoint();
    if (syncsSkipped()) return;
    if (::fsync(m_fd) != 0) fail(errno, hresult::kWriteFault, "cannot flush to disk");
  }

  void truncate(uint64_t size) override {
    faultPoint();
    if (::ftruncate(m_fd, static_cast<off_t>(size)) != 0) {
      fail(errno, hresult::kWriteFault, "cannot set the file size");
    }
  }

  uint64_t size() override {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) fail(errno, hresult::kReadFault, "cannot query the file size");
    return static_cast<uint64_t>(st.st_size);
  }

 private:
  [[noreturn]] void fail(int err, uint32_t ioFault, const char* what) const {
    throw EStorageError(codeFor(err, ioFault), m_name, std::string(what) + ": " + errnoText(err));
  }

  int m_fd;
  std::string m_name;
};

class MemoryDevice final : public Device {
 public:
  explicit MemoryDevice(std::vector<std::byte> data) : m_data(std::move(data)) {}

  size_t readAt(uint64_t offset, std::span<std::byte> out) override {
    if (offset >= m_data.size()) return 0;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(out.size(), m_data.size() - offset));
    std::memcpy(out.data(), m_data.data() + offset, n);
    return n;
  }
  void writeAt(uint64_t offset, std::span<const std::byte> in) override {
    if (offset + in.size() > m_data.size()) m_data.resize(offset + in.size());
    std::memcpy(m_data.data() + offset, in.data(), in.size());
  }
  void sync() override {}
  void truncate(uint64_t size) override { m_data.resize(size); }
  uint64_t size() override { return m_data.size(); }

 private:
  std::vector<std::byte> m_data;
};

}  // namespace

std::string displayName(const std::filesystem::path& path) {
  std::string name = path.filename().string();
  return name.empty() ? path.string() : name;
}

std::unique_ptr<Device> openFileDevice(const std::filesystem::path& path, Access access,
                                       bool create) {
  const std::string name = displayName(path);
  int flags = O_CLOEXEC | (access == Access::ReadOnly ? O_RDONLY : O_RDWR);
  if (create) flags |= O_CREAT | O_EXCL;
  const int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) {
    const int err = errno;
    if (err == EEXIST) {
      throw EStorageError(hresult::kFileAlreadyExists, name, "the file already exists");
    }
    uint32_t code = codeFor(err, hresult::kAccessDenied);
    if (err == ENOENT) {
      // Windows tells a missing folder from a missing file; so do we.
      std::error_code ec;
      const auto parent = path.parent_path();
      if (!parent.empty() && !std::filesystem::is_directory(parent, ec)) {
        code = hresult::kPathNotFound;
      }
    }
    const char* what = code == hresult::kFileNotFound   ? "the file does not exist"
                       : code == hresult::kPathNotFound ? "the folder does not exist"
                       : code == hresult::kAccessDenied ? "access denied"
                                                        : "cannot open the file";
    throw EStorageError(code, name, std::string(what) + ": " + errnoText(err));
  }
  auto device = std::make_unique<FileDevice>(fd, name);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    throw EStorageError(hresult::kAccessDenied, name, "not a regular file");
  }
  const int op = (access == Access::ReadOnly ? LOCK_SH : LOCK_EX) | LOCK_NB;
  while (::flock(fd, op) != 0) {
    const int err = errno;
    if (err == EINTR) continue;
    if (err == EWOULDBLOCK) {
      throw EStorageError(hresult::kShareViolation, name, "the file is in use by another program");
    }
    throw EStorageError(hresult::kLockViolation, name, "cannot lock the file: " + errnoText(err));
  }
  return device;
}

std::unique_ptr<Device> memoryDevice(std::vector<std::byte> data) {
  return std::make_unique<MemoryDevice>(std::move(data));
}

}  // namespace verbalon::storage::detail
