#pragma once

#include <fstream>
#include <string>
#include <string_view>

// Memory figures of this process for the benchmarks' counters, from /proc/self/status.
namespace verbalon::bench {

// A field of /proc/self/status given in kB ("VmRSS:", "VmHWM:"), in megabytes; 0 when absent.
inline double statusMegabytes(std::string_view name) {
  std::ifstream status("/proc/self/status");
  std::string field;
  while (status >> field) {
    if (field == name) {
      double kilobytes = 0;
      status >> kilobytes;
      return kilobytes / 1024;
    }
  }
  return 0;
}

}  // namespace verbalon::bench
