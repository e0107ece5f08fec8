#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"
#include "dicts/tdict.h"
#include "storage/compound_file.h"
#include "storage/memory_stream.h"

// Opening dictionary packages into the slots of `Dicts`. Every stream is read through the
// storage unit into the caller's shared ReadBuf (its content is valid until the next read).
//
// File names are Windows-1251 inside the program and the file system's bytes (UTF-8) outside;
// paths passed here are file-system paths. Installed names are kept with their ASCII letters in
// lower case, so opening a package by its stored name looks for the one file of the folder whose
// name matches ignoring ASCII case.
namespace verbalon::dicts {

// A package that cannot serve as a dictionary although every stream reads, or that cannot be
// installed. file() is the package's file name (UTF-8); what() is it, ": " and the detail.
class EDictError : public Error {
 public:
  enum class Fault {
    kDamaged,         // "~items.dat" and "~index.dat" disagree, or hold no article locations
    kAmbiguousName,   // the lower-cased name matches several files of its folder
    kMissing,         // no such file to install
    kUnstorableName,  // Windows-1251 cannot hold the name, so the list cannot keep it
  };
  EDictError(Fault fault, std::string file, const std::string& detail);
  Fault fault() const { return m_fault; }
  const std::string& file() const { return m_file; }

 private:
  Fault m_fault;
  std::string m_file;
};

// The name an installed package is kept under in the dictionary list and its slot: the file
// name (UTF-8, as the file system holds it) in Windows-1251 with its ASCII letters in lower
// case; none when Windows-1251 cannot hold the name, since the stored name would then open
// another file or none.
std::optional<std::string> installedName(std::string_view fileName);

// The file name part of path, as Windows-1251 text; empty when path ends in a separator.
std::string fileNamePart(const std::filesystem::path& path);

// The file to open for path, whose name is stored with its ASCII letters in lower case: the one
// file of its folder whose name equals path's file name ignoring ASCII case, otherwise path
// (whose opening then fails as a missing file does). Several such files raise EDictError naming
// them, also when one is spelled exactly as path: it cannot be told which one was installed.
std::filesystem::path resolvePackagePath(const std::filesystem::path& path);

// Fills dict from the package at path: FileName, the open Storage and IniList ("~dict.ini").
// A path with an empty file name leaves dict an empty slot and opens nothing. Storage errors
// pass on; dict then holds no open package.
//
// Packages are opened read-write and exclusive; the packages installed with the program, which
// the user cannot write, are opened read-only with a lock that other readers share (access).
void OpenDictPackage(TDict& dict, const std::filesystem::path& path, storage::MemoryStream& ReadBuf,
                     storage::Access access = storage::Access::ReadWriteExclusive);

// Whether AddDict reads a package's "~items.dat" and "~index.dat" into ItemList and IndexList.
// Only a merge into the word index reads those lists, and only for the slot just added; the
// packages opened at start-up are merged already, and their lists would be about half of the
// memory a start-up touches. kSkip leaves both lists empty and does not read the two streams.
enum class ItemLists { kLoad, kSkip };

// Opens the package at path and appends it to Dicts as the next slot, with Info, the
// delimiters (first 5 characters), ShortTitle, Title, ViewControl and, unless lists is kSkip,
// ItemList and IndexList loaded; a path with an empty file name appends an empty slot. On any
// error nothing is appended and the package is closed again. When the lists are loaded, a
// package raises EDictError naming it when its item and index streams have different line
// counts, when it holds more than 16 items per stored byte of the two streams (no real
// dictionary compresses that well), or when a line of "~index.dat" is no article location (a
// "|", a second ":", or no plain line number: dicts/article_location.h); the
// message names the line.
// ReadBuf is left empty.
void AddDict(TDicts& Dicts, const std::filesystem::path& path, storage::MemoryStream& ReadBuf,
             ItemLists lists = ItemLists::kLoad,
             storage::Access access = storage::Access::ReadWriteExclusive);

// AddDict for the package that the user chose to install: exactly the file at path, with its
// lists loaded; the new slot's FileName has its ASCII letters in lower case, the form the
// dictionary list stores. EDictError, nothing appended, when no file is spelled exactly so, or
// when another file of the folder has the same name in lower case, since the stored name would
// later open either of them.
void addDictToInstall(TDicts& Dicts, const std::filesystem::path& path,
                      storage::MemoryStream& ReadBuf,
                      storage::Access access = storage::Access::ReadWriteExclusive);

// Where an installed package of that name (the stored, lower-cased name) is opened from: the
// user's data folder when a file of that name (ignoring ASCII case) is there, otherwise the
// first of the shared data folders (the packages installed with the program) that has one,
// read-only; the user's data folder again when none has, where opening it then fails as a
// missing file does.
struct PackageLocation {
  std::filesystem::path path;
  storage::Access access = storage::Access::ReadWriteExclusive;
};
PackageLocation locatePackage(const std::filesystem::path& dataDir,
                              const std::vector<std::filesystem::path>& sharedDataDirs,
                              const std::string& fileName);

// How a package chosen for installing is opened: read-only when it lies in one of the shared
// data folders.
storage::Access accessFor(const std::filesystem::path& package,
                          const std::vector<std::filesystem::path>& sharedDataDirs);

// The first slot whose FileName equals the file name part of path exactly (case-sensitive),
// or -1.
int FindDict(const TDicts& Dicts, const std::filesystem::path& path);

// The value of key in the package's "~dict.ini" (empty when missing). An installed package is
// answered from its slot without opening the file again; any other is opened for the moment
// and closed before returning, also on error.
std::string GetDictValue(const TDicts& Dicts, const std::filesystem::path& path,
                         std::string_view key, storage::MemoryStream& ReadBuf,
                         storage::Access access = storage::Access::ReadWriteExclusive);

}  // namespace verbalon::dicts
