#include "storage/storage_error.h"

#include <cstdio>
#include <utility>

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

namespace {
std::string messageOf(uint32_t code, const std::string& file, const std::string& detail) {
  return (file.empty() ? detail : file + ": " + detail) + " (" + hresult::name(code) + ")";
}
}  // namespace

EStorageError::EStorageError(uint32_t code, std::string file, std::string detail,
                             std::string element)
    : Error(messageOf(code, file, detail)),
      m_code(code),
      m_file(std::move(file)),
      m_detail(std::move(detail)),
      m_element(std::move(element)) {}

}  // namespace verbalon::storage
