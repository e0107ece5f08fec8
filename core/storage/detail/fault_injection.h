#pragma once

#include <cstdint>

// Test hook for the crash tests. Armed with n, the n-th low-level write, sync or truncation of
// any compound file after the arming ends the process at once (std::_Exit(kFaultExitCode)), as a
// kill would: nothing is flushed, no destructor runs. Disarmed (n = 0) it only counts.
namespace verbalon::storage::detail {

inline constexpr int kFaultExitCode = 86;

void armFault(uint64_t n);
// Low-level operations, and bytes written, since the last armFault().
uint64_t faultCount();
uint64_t faultBytes();
// Crash tests kill processes, not machines: the page cache outlives them, so they may skip the
// real fsync (it still counts as an operation) to save time.
void skipSyncs(bool skip);
bool syncsSkipped();

// Called by the file layer before each write (of `bytes`), sync or truncation.
void faultPoint(uint64_t bytes = 0);

}  // namespace verbalon::storage::detail
