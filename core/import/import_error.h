#pragma once

#include "common/error.h"

namespace verbalon::import {

// A source that cannot be imported: a file that cannot be read, or content that breaks its
// format. The message is UTF-8 and names the file and, where there is one, the line or the
// entry: "mueller7.index, line 12: the offset is not base64".
class EImportError : public Error {
 public:
  using Error::Error;
};

}  // namespace verbalon::import
