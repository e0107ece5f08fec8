#pragma once

#include <cstdint>
#include <string>

#include "common/error.h"

namespace verbalon::storage {

// Result codes of the structured-storage calls, with the values Windows gives them, so that a
// failure reads the same whatever platform wrote the file.
namespace hresult {
inline constexpr uint32_t kInvalidFunction = 0x80030001;     // STG_E_INVALIDFUNCTION
inline constexpr uint32_t kFileNotFound = 0x80030002;        // STG_E_FILENOTFOUND
inline constexpr uint32_t kPathNotFound = 0x80030003;        // STG_E_PATHNOTFOUND
inline constexpr uint32_t kTooManyOpenFiles = 0x80030004;    // STG_E_TOOMANYOPENFILES
inline constexpr uint32_t kAccessDenied = 0x80030005;        // STG_E_ACCESSDENIED
inline constexpr uint32_t kInsufficientMemory = 0x80030008;  // STG_E_INSUFFICIENTMEMORY
inline constexpr uint32_t kSeekError = 0x80030019;           // STG_E_SEEKERROR
inline constexpr uint32_t kWriteFault = 0x8003001D;          // STG_E_WRITEFAULT
inline constexpr uint32_t kReadFault = 0x8003001E;           // STG_E_READFAULT
inline constexpr uint32_t kShareViolation = 0x80030020;      // STG_E_SHAREVIOLATION
inline constexpr uint32_t kLockViolation = 0x80030021;       // STG_E_LOCKVIOLATION
inline constexpr uint32_t kFileAlreadyExists = 0x80030050;   // STG_E_FILEALREADYEXISTS
inline constexpr uint32_t kInvalidParameter = 0x80030057;    // STG_E_INVALIDPARAMETER
inline constexpr uint32_t kMediumFull = 0x80030070;          // STG_E_MEDIUMFULL
inline constexpr uint32_t kInvalidHeader = 0x800300FB;       // STG_E_INVALIDHEADER
inline constexpr uint32_t kInvalidName = 0x800300FC;         // STG_E_INVALIDNAME
inline constexpr uint32_t kUnknown = 0x800300FD;             // STG_E_UNKNOWN
inline constexpr uint32_t kReverted = 0x80030102;            // STG_E_REVERTED
inline constexpr uint32_t kDocFileCorrupt = 0x80030109;      // STG_E_DOCFILECORRUPT

// The symbolic name of a code ("STG_E_FILENOTFOUND"), or its hexadecimal form.
std::string name(uint32_t code);
}  // namespace hresult

// A failing storage call: carries the result code Windows gives for the same failure, the name
// of the file it concerns (no folder; empty when no file is known) and, in English, what is
// wrong; what() joins them and ends with the code's name, e.g.
//   "words.brd: the file is in use by another program (STG_E_SHAREVIOLATION)".
// A missing storage or stream also names the element, by its storage path from the root, so
// that a window can tell a missing element from a missing file.
class EStorageError : public Error {
 public:
  EStorageError(uint32_t code, std::string file, std::string detail, std::string element = {});
  uint32_t code() const { return m_code; }
  const std::string& file() const { return m_file; }
  const std::string& detail() const { return m_detail; }
  const std::string& element() const { return m_element; }

 private:
  uint32_t m_code;
  std::string m_file;
  std::string m_detail;
  std::string m_element;
};

}  // namespace verbalon::storage
