#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "dicts/tdict.h"

// An index entry, one line of `slIndex`: one or more parts separated by "|", each a dictionary
// number in decimal, ":", and that dictionary's article location (stream path ":" line number),
// for example "0:a\items:12|3:b:0". Parts stand in merge order.
namespace verbalon::index {

struct IndexPart {
  size_t dict = 0;
  std::string_view path;  // the stream path inside the package
  std::string_view line;  // the line number, as written
};

// The parts of an entry, split at every "|". An empty entry has no parts.
std::vector<std::string_view> splitEntry(std::string_view entry);

// Field 0 of a part: the text before its first ":" (the whole part when it has none).
std::string_view partDictField(std::string_view part);

// Reads one part. Entries come from a file, so nothing is assumed: a part whose number is not a
// plain decimal, or that lacks one of its fields, raises EIndexError quoting the part.
IndexPart parsePart(std::string_view part);

// The slot a part refers to. A number past the last slot, or naming a hole, raises EIndexError
// rather than reaching a dictionary that is not there.
const dicts::TDict& dictOfPart(const dicts::TDicts& dicts, const IndexPart& part);

}  // namespace verbalon::index
