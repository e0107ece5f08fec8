#pragma once

#include <cstdint>
#include <string>

#include "main/detail/find_aids.h"
#include "main/main_window.h"

namespace verbalon::ui::detail {

// The few handlers of TfMain that no control can drive with the argument a test or a benchmark
// needs: a page from a given line, an article by its line, a link's address, a hot key's atom,
// the end of a build on the worker thread, the look for a notification area without its timer's
// wait.
// Everything else is reached as a person reaches it, through the controls found by their object
// names. For tests and benchmarks only; the program never includes this.
class TfMainProbe {
 public:
  static void ShowPage(TfMain& window, int64_t start) { window.ShowPage(start); }
  static void AdjustWordScroll(TfMain& window) { window.AdjustWordScroll(); }
  static void ShowArticle(TfMain& window, int32_t w) { window.ShowArticle(w); }
  static void meHotSpotClick(TfMain& window, const std::string& url, bool& handled) {
    window.meHotSpotClick(url, handled);
  }
  static void WMHotKey(TfMain& window, int32_t id) { window.WMHotKey(id); }
  // Waits until the find box's worker has built what was asked of it, and lets what waited for
  // it (the full list's following, the suggestions) run, as its landing would.
  static void waitForFindAids(TfMain& window) {
    do {
      window.m_findAids->wait();
      window.findAidsLanded();  // may ask for more: the near spellings after the keys
    } while (window.m_findAids->busy());
  }
  // The look for a notification area that a timer makes every few seconds while there is none.
  static void watchNotificationArea(TfMain& window) { window.watchNotificationArea(); }
};

}  // namespace verbalon::ui::detail
