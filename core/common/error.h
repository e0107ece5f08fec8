#pragma once

#include <stdexcept>

namespace verbalon {

// Root of every error the core raises. Each module derives its own classes from it, so a
// caller that only reports errors catches this one.
//
// Messages are UTF-8: file names go in as the file system holds them, and Windows-1251 text
// (a stream path, a word) is converted when the message is built. The tool prints what() as it
// stands; the UI decodes it as UTF-8.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace verbalon
