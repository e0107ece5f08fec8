#pragma once

#include "common/error.h"

namespace verbalon::dirscan {

// Root of the directory scanner's errors. Messages are UTF-8, like every error message of the
// core; a path in one is the file system's name as it stands.
class EDirScanError : public Error {
 public:
  using Error::Error;
};

// The file-name expression cannot be compiled, or searching a name with it went past the
// regular-expression library's limits. The message quotes the expression and says why, e.g.
//   mask "\.br(d": missing closing parenthesis at offset 6
class EMaskError : public EDirScanError {
 public:
  using EDirScanError::EDirScanError;
};

// An item index outside the scanner's list of found files.
class EItemIndexError : public EDirScanError {
 public:
  using EDirScanError::EDirScanError;
};

}  // namespace verbalon::dirscan
