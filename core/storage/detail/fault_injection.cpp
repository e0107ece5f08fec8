#include "storage/detail/fault_injection.h"

#include <cstdlib>

namespace verbalon::storage::detail {
namespace {
uint64_t g_armedAt = 0;
uint64_t g_count = 0;
uint64_t g_bytes = 0;
bool g_skipSyncs = false;
}  // namespace

void armFault(uint64_t n) {
  g_armedAt = n;
  g_count = 0;
  g_bytes = 0;
}

uint64_t faultCount() {
  return g_count;
}
uint64_t faultBytes() {
  return g_bytes;
}
void skipSyncs(bool skip) {
  g_skipSyncs = skip;
}
bool syncsSkipped() {
  return g_skipSyncs;
}

void faultPoint(uint64_t bytes) {
  ++g_count;
  g_bytes += bytes;
  if (g_armedAt != 0 && g_count == g_armedAt) std::_Exit(kFaultExitCode);
}

}  // namespace verbalon::storage::detail
