#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/error.h"
#include "storage/compound_file.h"

namespace verbalon::cli {

// The names from the root down to an element, the element's own name last.
using ElementPath = std::vector<std::u16string>;

using ElementVisitor = std::function<void(const ElementPath& path, const storage::ElementInfo& info,
                                          const storage::Storage& parent)>;
using WalkErrorHandler = std::function<void(const ElementPath& path, const Error& error)>;

// Visits every element below the root of file, depth first: a storage right before its content,
// the elements of one storage in the order the file enumerates them. A storage that cannot be
// opened or enumerated goes to onError with its path and the walk goes on with the rest; without
// onError the error passes on. The walk does not recurse, so depth costs no stack, and it stops
// with EToolError after more elements than the file has room for (a directory that loops).
void walkElements(const storage::CompoundFile& file, const ElementVisitor& visit,
                  const WalkErrorHandler& onError = {});

// The stored bytes of the stream name of parent, as they are (compressed or not).
std::string readStoredBytes(const storage::Storage& parent, const std::u16string& name);

}  // namespace verbalon::cli
