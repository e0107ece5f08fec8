#pragma once

#include "common/error.h"

namespace verbalon::index {

// A fault of the combined index: an entry that names no loaded dictionary, an operation refused
// because the index in memory is incomplete, or a precondition of a merge that does not hold.
// Messages are UTF-8, like every error message of the core; names in them are converted.
class EIndexError : public Error {
 public:
  using Error::Error;
};

}  // namespace verbalon::index
