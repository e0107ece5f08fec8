#pragma once

#include <string>

#include "common/error.h"
#include "index/index_error.h"
#include "index/install_progress.h"

namespace verbalon::index {

// What start-up does with an installed dictionary whose package cannot be opened: its file is
// gone, unreadable or damaged. Its words are in the stored index whatever the answer.
enum class UnopenedPackageAnswer {
  // Take the dictionary out of the index now (RemoveDict on its slot, which needs only the
  // index entries) and save the index.
  kRemove,
  // Keep its slot and its words for this run; its articles are left out of the pages. The
  // dictionary list still names it, so the next start tries the package again.
  kKeepForRun,
  // Stop loading; the caller ends the program. Changes are then refused, as after any failed load.
  kExit,
};

// Asked by LoadIndex once for each listed package that cannot be opened, in slot order. The
// window asks the person; the tool answers for itself.
class UnopenedPackageQuestion {
 public:
  virtual ~UnopenedPackageQuestion() = default;

  // fileName is the name the dictionary list keeps (Windows-1251); reason is the error that
  // opening it raised.
  virtual UnopenedPackageAnswer packageNotOpened(const std::string& fileName,
                                                 const Error& reason) = 0;
};

// What LoadIndex asks about packages that cannot be opened, and where the removals the answers
// ask for show their progress.
struct LoadChoices {
  // None: the load fails at the first such package, naming it.
  UnopenedPackageQuestion* question = nullptr;
  // None: the removals and the save after them show nothing.
  InstallProgress* progress = nullptr;
};

// LoadIndex stopped because the answer was kExit. Nothing is wrong to report: the caller ends
// the program.
class ELoadAbandoned : public EIndexError {
 public:
  using EIndexError::EIndexError;
};

}  // namespace verbalon::index
