#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "session/app_location.h"

// A check of an application folder as a whole: whether the program could load its index and
// whether that index keeps its invariants. It reads everything the program's start-up reads,
// and every item stream that an entry names, and changes nothing: the resource package and the
// dictionary packages are opened read-only, with a lock that other readers share.
namespace verbalon::session {

// The kinds of problem, in the order the check meets them.
enum class ProblemKind {
  ResourcePackage,    // "vrbx.pde" does not open
  MissingStream,      // one of the four index streams is not there
  DamagedStream,      // one of them does not decompress
  UnusableName,       // a line of "addeddicts.dat" that is no file name of the data folder
  UnloadablePackage,  // a listed package that is missing or does not open
  LineCountMismatch,  // "items.dat" and "index.dat" differ in their number of lines
  UnorderedWords,     // a word orders before the word on the line above it
  EqualKeys,          // a word has the same key as the word on the line above it
  MalformedEntry,     // an index entry that does not read as parts
  UnloadedSlot,       // a part names a slot that is a hole or past the last one
  MissingItemStream,  // a part names a stream its package does not have or cannot read
  LineBeyondStream,   // a part names a line past the end of its item stream
};
inline constexpr size_t kProblemKinds = static_cast<size_t>(ProblemKind::LineBeyondStream) + 1;

struct FolderProblem {
  ProblemKind kind = ProblemKind::ResourcePackage;
  // Where it is: "vrbx.pde" or one of its index streams ("items.dat", "index.dat",
  // "addeddicts.dat", "history.dat").
  std::string stream;
  // The line of that stream, counted from 0 as index entries and dictionary numbers count; none
  // for a problem of the stream or package as a whole.
  std::optional<size_t> line;
  std::string text;  // what is wrong, UTF-8
};

// What mends the problems found, as operations of the program and its tool.
struct FolderMend {
  enum class Kind {
    // Write an empty "history.dat".
    EmptyHistory,
    // Take out the dictionary whose package is missing or does not open; it can be installed
    // again once its package is back.
    Remove,
    // Remove the dictionary and install it again: the merge writes its parts anew, and the first
    // merge of a run puts a disordered word list in order.
    Reinstall,
    // Empty "items.dat", "index.dat" and "addeddicts.dat", then install the dictionaries again,
    // in their order: for an index that cannot be loaded, or whose parts no removal can reach.
    RebuildIndex,
  };
  Kind kind = Kind::EmptyHistory;
  // Remove, Reinstall: the one dictionary. RebuildIndex: those that can be installed again, in
  // order. File names, UTF-8.
  std::vector<std::string> dictionaries;
  // False when "addeddicts.dat" cannot be read, so that which dictionaries were installed is
  // not known.
  bool dictionariesKnown = true;
};

struct FolderCheck {
  // The first problems of each kind, in the order found.
  std::vector<FolderProblem> problems;
  // How many problems of each kind there are, those not kept included.
  std::array<size_t, kProblemKinds> found{};
  // Empty when problems is.
  std::vector<FolderMend> mends;
  size_t words = 0;         // lines of "items.dat"
  size_t dictionaries = 0;  // slots that hold a dictionary that loads

  bool ok() const { return problems.empty(); }
  size_t count(ProblemKind kind) const { return found[static_cast<size_t>(kind)]; }
};

inline constexpr size_t kProblemsKeptPerKind = 20;

// Checks the folder of location: its resource package, the four index streams, every package
// of the dictionary list (looked for as the program looks, shared folders included), the order
// and keys of the word list, and every part of every entry against the loaded slots and the
// lines of their item streams. Never stops at a problem and never throws for what it finds in
// the files; keeps at most perKind problems of each kind.
FolderCheck checkAppFolder(const AppLocation& location, size_t perKind = kProblemsKeptPerKind);

}  // namespace verbalon::session
