#pragma once

#include <cstdint>

// Test hook for the crash tests. Armed with n, the n-th low-level write, sync or truncation of
// any compound file after the arming ends the process at once (std::_Exit(kFaultExitCode)), as a
// kill would: nothing is flushed, no destructor runs. Disarmed (n = 0) it only counts.
namespace verbalon::storage::detail {

inline constexpr int kFaultExitCode = 86;

void armFault(uint64_t n);
// Low-level operations since the last armFault().
uint64_t faultCount();
// Called by the file layer before each write, sync or truncation.
void faultPoint();

}  // namespace verbalon::storage::detail
