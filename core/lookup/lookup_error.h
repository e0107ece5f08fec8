#pragma once

#include "common/error.h"

namespace verbalon::lookup {

// A look-up cache that cannot be written, or one whose content turns out damaged while it is
// read. The cache is never the only copy of anything: a caller that meets this error makes the
// cache again, or goes without it.
class ELookupCacheError : public Error {
 public:
  using Error::Error;
};

}  // namespace verbalon::lookup
