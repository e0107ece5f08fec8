#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/dispatcher.h"

// The tool's commands run in the test's own process, as main() runs them, with what they print
// caught.
namespace verbalon::cli {

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

inline Result run(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  Console console{out, err};
  const int status = runTool(args, console);
  return {status, out.str(), err.str()};
}

}  // namespace verbalon::cli
