#pragma once

#include <stdexcept>

namespace verbalon {

// Root of every error the core raises. Each module derives its own classes from it, so a
// caller that only reports errors catches this one, and the UI shows what() as it stands.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace verbalon
