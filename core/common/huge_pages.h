#pragma once

#include <cstddef>

// Large blocks that are filled once, such as a decompressed stream or a list of a million lines.
// Each 4 KiB page of fresh memory costs a page fault when first touched; on some virtual
// machines a fault costs 10-20 µs, so filling 100 MB of new memory takes half a second in
// faults alone. Where transparent huge pages are in "madvise" mode, memory advised before it is
// touched is faulted in 2 MiB at a time instead.
namespace verbalon {

// Asks the kernel to back the whole 2 MiB pages inside [data, data + bytes) with huge pages.
// A hint: blocks too small to hold one such page, and systems without the advice, are left
// alone. Call it before the block is touched; touched pages stay as they are.
void adviseHugePages(void* data, size_t bytes);

// block.reserve(count), then the advice for the whole capacity. For std::string and
// std::vector that are about to be filled.
template <typename Block>
void reserveWithHugePages(Block& block, size_t count) {
  block.reserve(count);
  adviseHugePages(block.data(), block.capacity() * sizeof(*block.data()));
}

}  // namespace verbalon
