#pragma once

#include <string>

namespace verbalon::index {

// What installing, removing and saving show to the person who started them: the installation
// dialog's status label (lb), its counter label (lbCount) and its progress gauge (pb). Texts are
// Windows-1251. The gauge never shows more than its maximum: a progress value above it (which
// the installation's every-100-items steps produce) shows as full.
class InstallProgress {
 public:
  virtual ~InstallProgress() = default;

  virtual void setStatus(const std::string& text) = 0;
  virtual void setCounter(const std::string& text) = 0;
  virtual void showGauge() = 0;
  virtual void hideGauge() = 0;
  virtual void setGaugeMax(int max) = 0;
  virtual void setGaugeProgress(int progress) = 0;
  // Lets pending window messages run, so the labels and the gauge repaint. May run any handler
  // of the program; the index refuses to start a second merge or removal meanwhile.
  virtual void processMessages() = 0;
};

// For callers with nobody to show progress to.
class NoProgress final : public InstallProgress {
 public:
  void setStatus(const std::string&) override {}
  void setCounter(const std::string&) override {}
  void showGauge() override {}
  void hideGauge() override {}
  void setGaugeMax(int) override {}
  void setGaugeProgress(int) override {}
  void processMessages() override {}
};

}  // namespace verbalon::index
