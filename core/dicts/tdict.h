#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/string_list.h"
#include "dicts/text_lines.h"
#include "storage/compound_file.h"

// TDict, the record of one dictionary slot, and TDicts, the array of slots.
//
// A dictionary package is a compound file ("*.brd") whose streams are all zlib-compressed
// Windows-1251 texts. At its root:
//   "~dict.ini"   settings, "name=value" per line (Title, ShortTitle, viewcontrol,
//                 ItemDelimiter, RowDelimiter, FormDelimiter)
//   "~info.dat"   free text about the dictionary
//   "~items.dat"  the headwords in display form, one per line, duplicates allowed
//   "~index.dat"  one article location ("stream\path:line") per line of "~items.dat"
//   the item streams that the article locations name.
namespace verbalon::dicts {

struct TDict {
  // The package's file name without folder, Windows-1251; for installed dictionaries with its
  // ASCII letters in lower case. Empty in an empty slot (a hole).
  std::string FileName;
  StringList IniList;  // the lines of "~dict.ini"
  std::string Title;
  std::string ShortTitle;
  std::string ViewControl;  // "MEMO" or "LIST", compared with exact case
  std::string Info;         // the text of "~info.dat"
  // The open package; it stays open, exclusively, while the slot lives. Empty in an empty slot.
  std::optional<storage::CompoundFile> Storage;
  // The lines of "~items.dat"; read only for a slot about to be merged (see AddDict's ItemLists).
  TextLines ItemList;
  // At most 5 characters each: the values of the keys of the same names, cut.
  std::string ItemDelimiter;
  std::string RowDelimiter;
  std::string FormDelimiter;
  TextLines IndexList;  // the lines of "~index.dat", parallel to ItemList

  // A hole: a removed dictionary whose number stays taken, or a slot of an empty name.
  bool isEmptySlot() const { return FileName.empty(); }
  // An installed dictionary whose package could not be opened in this run and that was kept
  // anyway: its words stay in the index, its articles cannot be read. Everything but FileName
  // is empty.
  bool isUnopened() const { return !FileName.empty() && !Storage; }
};

// The position of a slot, counted from 0, is the dictionary number of the combined index.
// Slots are only ever appended.
using TDicts = std::vector<TDict>;

}  // namespace verbalon::dicts

namespace verbalon::dicts {

// Frees the slot's lists and releases its Storage, closing the package.
inline void FreeDict(TDict& dict) {
  dict.IniList = {};
  dict.ItemList = {};
  dict.IndexList = {};
  dict.Storage.reset();
}

}  // namespace verbalon::dicts
