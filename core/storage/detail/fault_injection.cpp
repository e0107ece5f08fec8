#include "storage/detail/fault_injection.h"

#include <cstdlib>

namespace verbalon::storage::detail {
namespace {
uint64_t g_armedAt = 0;
uint64_t g_count = 0;
}  // namespace

void armFault(uint64_t n) {
  g_armedAt = n;
  g_count = 0;
}

uint64_t faultCount() {
  return g_count;
}

void faultPoint() {
  ++g_count;
  if (g_armedAt != 0 && g_count == g_armedAt) std::_Exit(kFaultExitCode);
}

}  // namespace verbalon::storage::detail
