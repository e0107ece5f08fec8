#include "dirscan/directory_scanner.h"

#include <cerrno>
#include <system_error>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "common/cp1251.h"
#include "dirscan/detail/regex_matcher.h"

namespace verbalon::dirscan {
namespace {

// The warning box text is shown to users as it has always read, misspelling included.
constexpr char kQuestionCaption[] = "Warning";
constexpr char kQuestionHead[] = "Can't replace file contetn due to error:\r\n\r\n";
constexpr char kQuestionTail[] = "\r\n\r\nContinue processing ?";

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

FileTime toFileTime(const timespec& time) {
  return {static_cast<std::int64_t>(time.tv_sec), static_cast<std::int32_t>(time.tv_nsec)};
}

enum class EntryKind { kFolder, kFile, kOther };

}  // namespace

TCustomDirectoryScanner::TCustomDirectoryScanner() = default;

TCustomDirectoryScanner::~TCustomDirectoryScanner() = default;

bool TCustomDirectoryScanner::Scan(const std::filesystem::path& path) {
  std::string folder = path.native();
  if (!folder.empty() && folder.back() == '/') {
    folder.pop_back();
  }
  m_matcher = std::make_unique<detail::RegexMatcher>(Mask);
  m_count = 0;
  m_visited.clear();
  // An empty path would otherwise become "/" below and walk the whole file system.
  if (path.empty()) {
    return true;
  }

  struct stat top {};
  if (stat((folder + '/').c_str(), &top) == 0) {
    m_visited.insert({top.st_dev, top.st_ino});
  }
  return ScanDir(folder);
}

bool TCustomDirectoryScanner::ScanDir(const std::string& folder) {
  bool result = true;
  const std::string prefix = folder + '/';
  if (OnDir) {
    OnDir(*this, std::filesystem::path(prefix));
  }

  DirHandle dir(opendir(prefix.c_str()));
  if (!dir) {
    return result;
  }
  const int dirFd = dirfd(dir.get());

  // A failure to read further ends the listing like its end does: the folder counts as holding
  // what was read so far.
  while (const dirent* raw = readdir(dir.get())) {
    FindRecord entry;
    entry.name = raw->d_name;
    entry.isHidden = entry.name.front() == '.';

    struct stat target {};
    const bool reachable = fstatat(dirFd, raw->d_name, &target, 0) == 0;
    struct stat own {};
    const bool ownKnown = (raw->d_type == DT_UNKNOWN || !reachable) &&
                          fstatat(dirFd, raw->d_name, &own, AT_SYMLINK_NOFOLLOW) == 0;
    entry.isSymlink = raw->d_type == DT_LNK || (ownKnown && S_ISLNK(own.st_mode));

    EntryKind kind = EntryKind::kOther;
    if (reachable || ownKnown) {
      const struct stat& info = reachable ? target : own;
      if (reachable && S_ISDIR(target.st_mode)) {
        kind = EntryKind::kFolder;
      }
      if (reachable && S_ISREG(target.st_mode)) {
        kind = EntryKind::kFile;
      }
      entry.isDirectory = kind == EntryKind::kFolder;
      entry.isReadOnly = (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
      entry.size = info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
      entry.lastWrite = toFileTime(info.st_mtim);
      entry.lastAccess = toFileTime(info.st_atim);
    }

    try {
      if (kind == EntryKind::kFolder) {
        if (Recursive && entry.name != "." && entry.name != "..") {
          if (m_visited.insert({target.st_dev, target.st_ino}).second) {
            result = ScanDir(prefix + entry.name);
          }
        }
      } else if (kind == EntryKind::kFile) {
        if (m_matcher->containsMatch(entry.name)) {
          bool stop = false;
          if (OnFile) {
            OnFile(*this, std::filesystem::path(folder), entry, stop);
          }
          if (stop) {
            result = false;
          }
          ++m_count;
        }
      }
    } catch (const Error& error) {
      if (!OnQuestion) {
        throw;
      }
      if (!OnQuestion(kQuestionCaption,
                      kQuestionHead + cp1251::fromUtf8(error.what()) + kQuestionTail)) {
        result = false;
      }
    }

    bool stop = false;
    if (OnProgress) {
      OnProgress(*this, stop);
    }
    if (stop) {
      result = false;
    }
    if (!result) {
      break;
    }
  }
  return result;
}

TDirectoryScanner::TDirectoryScanner() {
  OnFile = [this](TCustomDirectoryScanner& scanner, const std::filesystem::path& folder,
                  const FindRecord& entry,
                  bool& stop) { AddFoundFile(scanner, folder, entry, stop); };
  OnProgress = [this](TCustomDirectoryScanner& scanner, bool& stop) { YieldSlice(scanner, stop); };
}

const TDirectoryScannerItem& TDirectoryScanner::GetItem(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= m_items.size()) {
    throw EItemIndexError("scanner item index " + std::to_string(index) + " out of range (" +
                          std::to_string(m_items.size()) + " items)");
  }
  return m_items[static_cast<std::size_t>(index)];
}

void TDirectoryScanner::DeleteItem(int index) {
  GetItem(index);
  m_items.erase(m_items.begin() + index);
}

void TDirectoryScanner::AddFoundFile(TCustomDirectoryScanner& /*scanner*/,
                                     const std::filesystem::path& folder, const FindRecord& entry,
                                     bool& /*stop*/) {
  TDirectoryScannerItem item;
  // Not folder / name: for the root folder "" that would give a relative path.
  item.FileName = folder.native() + '/' + entry.name;
  struct stat info {};
  if (stat(item.FileName.c_str(), &info) != 0) {
    const int error = errno;
    throw EDirScanError(item.FileName.native() + ": " + std::generic_category().message(error));
  }
  item.LastWrite = FileTimeToDateTime(toFileTime(info.st_mtim));
  m_items.push_back(std::move(item));
}

void TDirectoryScanner::YieldSlice(TCustomDirectoryScanner& /*scanner*/, bool& /*stop*/) {
  if (Count() % 100 != 0) {
    return;
  }
  if (OnYield) {
    OnYield();
  } else {
    std::this_thread::yield();
  }
}

}  // namespace verbalon::dirscan
