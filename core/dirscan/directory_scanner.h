#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

#include "dirscan/dirscan_error.h"
#include "dirscan/file_time.h"

// The directory scanner walks a folder, optionally with all its subfolders, and reports every
// file whose name contains a match of a regular expression. The installation dialog uses it to
// find the dictionary packages in the data folder: a TDirectoryScanner with `Recursive` off and
// the mask "\.brd", then `Count` and the `FileName` of each item.
//
// Encoding. The scanner works in the file system's terms: folders, file names and paths are the
// bytes the file system holds (UTF-8 on the systems we run on), and `Mask` is UTF-8 too. Nothing
// here converts to or from Windows-1251. Whoever shows a path converts it (cp1251::fromUtf8)
// and opens the file by the path exactly as the scanner reported it. The messages of the errors
// raised here are UTF-8, like every error message of the core.
//
// What the walk sees. Every entry of a folder is considered, hidden ones (names beginning with
// ".") included. A folder is an entry that is a directory after following symbolic links, so
// linked folders are walked; each folder is walked at most once per scan (it is known by device
// and inode), which keeps a link cycle from looping and a folder reached twice from being
// reported twice. A file is an entry that is a regular file after following links. Other entries
// (named pipes, sockets, devices, dangling links) are neither: they are never matched, because
// opening them could block or fail. A folder that cannot be listed counts as empty.
//
// Threading. A scan runs synchronously inside `Scan` on the caller's thread; a scanner must not
// be scanned again from one of its own events.
namespace verbalon::dirscan {

namespace detail {
class RegexMatcher;
}

// One folder entry as the listing reports it.
struct FindRecord {
  std::string name;          // the entry's own name, in the file system's bytes
  bool isDirectory = false;  // a folder, possibly reached through a symbolic link
  bool isSymlink = false;    // the entry itself is a symbolic link
  bool isHidden = false;     // the name begins with "."
  bool isReadOnly = false;   // no write permission for anyone
  std::uint64_t size = 0;    // bytes, of the link's target for a link
  FileTime lastWrite;
  FileTime lastAccess;
};

// Does the walk and raises the events; subclasses decide what to do with the accepted files.
// Not copyable: the events of a subclass usually refer to the scanner itself.
class TCustomDirectoryScanner {
 public:
  // Raised for each accepted file. folder is the scanned folder without a trailing "/" (so
  // empty for the root folder); entry is the file's entry. Setting stop to true ends the whole
  // scan.
  using FileEvent =
      std::function<void(TCustomDirectoryScanner& scanner, const std::filesystem::path& folder,
                         const FindRecord& entry, bool& stop)>;
  // Raised when a folder is about to be scanned; folder ends with "/".
  using DirEvent =
      std::function<void(TCustomDirectoryScanner& scanner, const std::filesystem::path& folder)>;
  // Raised after every folder entry. Setting stop to true ends the whole scan.
  using ProgressEvent = std::function<void(TCustomDirectoryScanner& scanner, bool& stop)>;
  // Asks the person running the scan a yes/no question. caption and text are Windows-1251; the
  // answer is true for "&Yes" and false for "&No".
  using QuestionEvent = std::function<bool(const std::string& caption, const std::string& text)>;

  TCustomDirectoryScanner();
  virtual ~TCustomDirectoryScanner();
  TCustomDirectoryScanner(const TCustomDirectoryScanner&) = delete;
  TCustomDirectoryScanner& operator=(const TCustomDirectoryScanner&) = delete;

  // Walks path (one trailing "/" is ignored) and raises the events. Returns true when the walk
  // ran to its end, false when it was stopped by an event or by a "&No" answer. `Count` starts
  // from 0. An empty path names no folder: nothing is walked and the result is true.
  //
  // When handling one entry raises a verbalon::Error (an event handler's error, a mask that
  // cannot be compiled), `OnQuestion` is asked, with the caption "Warning", whether to go on:
  //   "Can't replace file contetn due to error:\r\n\r\n" + what() + "\r\n\r\nContinue processing ?"
  // "&Yes" goes on with the next entry, "&No" ends the scan. Without `OnQuestion` the error
  // leaves `Scan`. Any other exception leaves `Scan` at once. Either way every folder opened by
  // the walk is closed again.
  bool Scan(const std::filesystem::path& path);

  // Files accepted by the current or last scan, whether or not the scan was stopped at them.
  int Count() const { return m_count; }

  // Perl-style regular expression (UTF-8) that a file name must contain a match of; letter case
  // counts and folders are never matched. Empty accepts every file. Read when a scan starts and
  // compiled at the first file, once per scan.
  std::string Mask;
  // Descend into subfolders.
  bool Recursive = true;

  FileEvent OnFile;
  DirEvent OnDir;
  ProgressEvent OnProgress;
  QuestionEvent OnQuestion;

 protected:
  // Scans one folder, given without a trailing "/" ("" is the root); false when stopped.
  bool ScanDir(const std::string& folder);

 private:
  using FolderId = std::pair<dev_t, ino_t>;

  int m_count = 0;
  std::unique_ptr<detail::RegexMatcher> m_matcher;
  std::set<FolderId> m_visited;  // folders of the current scan, so none is walked twice
};

// One accepted file.
struct TDirectoryScannerItem {
  std::filesystem::path FileName;  // the scanned folder, "/", and the file name
  double LastWrite = 0;            // last-write time, as FileTimeToDateTime gives it
};

// A scanner that collects the accepted files: its constructor sets `OnFile` to `AddFoundFile`
// and `OnProgress` to `YieldSlice`.
//
// `Items` is not cleared when a scan starts, while `Count` is: after scanning again with the same
// scanner, the first `Count` items are not those of the last scan. Use a fresh scanner per scan.
class TDirectoryScanner : public TCustomDirectoryScanner {
 public:
  TDirectoryScanner();

  // One item per accepted file, in the order in which they were found.
  const std::vector<TDirectoryScannerItem>& Items() const { return m_items; }

  // The item at index. The reference stays valid until the next scan or `DeleteItem`.
  // Throws EItemIndexError when index is outside 0 to Items().size() - 1.
  const TDirectoryScannerItem& GetItem(int index) const;
  // Removes the item at index; the later ones move up. Throws EItemIndexError as `GetItem`.
  void DeleteItem(int index);

  // The `OnFile` handler: appends an item for the entry. The file is looked up again by its
  // full path for its last-write time; throws EDirScanError when that fails (the file went away
  // after it was listed). Leaves stop alone.
  void AddFoundFile(TCustomDirectoryScanner& scanner, const std::filesystem::path& folder,
                    const FindRecord& entry, bool& stop);
  // The `OnProgress` handler: when `Count` is a multiple of 100 (0 included), lets others run:
  // calls `OnYield` if it is set, otherwise gives up the rest of the thread's time slice.
  // Leaves stop alone.
  void YieldSlice(TCustomDirectoryScanner& scanner, bool& stop);

  // Supplied by a UI that wants its pending events handled during a long scan.
  std::function<void()> OnYield;

 private:
  std::vector<TDirectoryScannerItem> m_items;
};

}  // namespace verbalon::dirscan
