#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "storage/compound_file.h"

// The bytes under a compound file: a locked file descriptor, or a block of memory for the fuzz
// harness. Failures raise EStorageError naming the file.
namespace verbalon::storage::detail {

class Device {
 public:
  virtual ~Device() = default;
  // Reads up to out.size() bytes at offset; returns fewer only at the end of the file.
  virtual size_t readAt(uint64_t offset, std::span<std::byte> out) = 0;
  virtual void writeAt(uint64_t offset, std::span<const std::byte> in) = 0;
  virtual void sync() = 0;
  virtual void truncate(uint64_t size) = 0;
  virtual uint64_t size() = 0;
};

// Opens (or, with create, creates) the file and takes its lock: exclusive for
// Access::ReadWriteExclusive, shared for Access::ReadOnly. The lock lives as long as the device.
std::unique_ptr<Device> openFileDevice(const std::filesystem::path& path, Access access,
                                       bool create);

// A device over a copy of data in memory; writes change the copy.
std::unique_ptr<Device> memoryDevice(std::vector<std::byte> data);

// The name that messages give the file: its last path component.
std::string displayName(const std::filesystem::path& path);

}  // namespace verbalon::storage::detail
