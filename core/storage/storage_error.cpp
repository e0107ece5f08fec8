#include "storage/storage_error.h"

#include <cstdio>

namespace verbalon::storage {

std::string hresult::name(uint32_t code) {
  switch (code) {
    case kInvalidFunction:
      return "STG_E_INVALIDFUNCTION";
    case kFileNotFound:
      return "STG_E_FILENOTFOUND";
    case kPathNotFound:
      return "STG_E_PATHNOTFOUND";
    case kTooManyOpenFiles:
      return "STG_E_TOOMANYOPENFILES";
    case kAccessDenied:
      return "STG_E_ACCESSDENIED";
    case kInsufficientMemory:
      return "STG_E_INSUFFICIENTMEMORY";
    case kSeekError:
      return "STG_E_SEEKERROR";
    case kWriteFault:
      return "STG_E_WRITEFAULT";
    case kReadFault:
      return "STG_E_READFAULT";
    case kShareViolation:
      return "STG_E_SHAREVIOLATION";
    case kLockViolation:
      return "STG_E_LOCKVIOLATION";
    case kFileAlreadyExists:
      return "STG_E_FILEALREADYEXISTS";
    case kInvalidParameter:
      return "STG_E_INVALIDPARAMETER";
    case kMediumFull:
      return "STG_E_MEDIUMFULL";
    case kInvalidHeader:
      return "STG_E_INVALIDHEADER";
    case kInvalidName:
      return "STG_E_INVALIDNAME";
    case kUnknown:
      return "STG_E_UNKNOWN";
    case kReverted:
      return "STG_E_REVERTED";
    case kDocFileCorrupt:
      return "STG_E_DOCFILECORRUPT";
    default:
      break;
  }
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(code));
  return buf;
}

EStorageError::EStorageError(uint32_t code, const std::string& text)
    : Error(text + " (" + hresult::name(code) + ")"), m_code(code) {}

}  // namespace verbalon::storage
