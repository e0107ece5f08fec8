#pragma once

#include "common/error.h"

namespace verbalon::index {

// A fault of the combined index: an entry that names no loaded dictionary, an operation refused
// because the index in memory is incomplete, or a precondition of a merge that does not hold.
// Messages are UTF-8, like every error message of the core; names in them are converted.
class EIndexError : public Error {
 public:
  enum class Fault {
    kDamaged,    // the stored index or dictionary list, or an entry of it, breaks its format
    kNotLoaded,  // an installed dictionary did not open; the error that stopped it is nested
    kBusy,       // another installation or removal is still running
    kRefused,    // changes are refused in this run, since the index did not load
    kTooLarge,   // the index would grow past what can be stored and read back
    kInternal,   // a precondition of the caller that does not hold
  };
  EIndexError(Fault fault, const std::string& message) : Error(message), m_fault(fault) {}
  Fault fault() const { return m_fault; }

 private:
  Fault m_fault;
};

}  // namespace verbalon::index
