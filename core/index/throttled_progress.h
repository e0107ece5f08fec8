#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "index/install_progress.h"

namespace verbalon::index {

// Passes progress on to another InstallProgress but lets window messages run at most once per
// interval. RemoveDict asks for a pass after every entry it examines: with a few hundred thousand
// words, the event-loop passes and the gauge repaints they bring cost several times the removal
// itself, while a person sees no difference beyond about twenty repaints a second.
//
// Texts and the gauge's visibility and maximum go on at once. A progress value shown while the
// gauge is visible is held back and goes on with the next pass that runs (or when the gauge is
// hidden, so its last value is never lost); while the gauge is hidden it goes on at once. The
// first pass, and the first after a new status text, always runs, so that the text shows.
class ThrottledProgress final : public InstallProgress {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  explicit ThrottledProgress(InstallProgress& target,
                             std::chrono::milliseconds interval = std::chrono::milliseconds(50),
                             Clock now = std::chrono::steady_clock::now);

  void setStatus(const std::string& text) override;
  void setCounter(const std::string& text) override;
  void showGauge() override;
  void hideGauge() override;
  void setGaugeMax(int max) override;
  void setGaugeProgress(int progress) override;
  void processMessages() override;

 private:
  void flushProgress();

  InstallProgress& m_target;
  std::chrono::milliseconds m_interval;
  Clock m_now;
  bool m_passed = false;  // a pass has run, at m_lastPass
  std::chrono::steady_clock::time_point m_lastPass;
  bool m_gaugeShown = false;
  bool m_pending = false;  // m_progress has not gone on yet
  int m_progress = 0;
};

}  // namespace verbalon::index
