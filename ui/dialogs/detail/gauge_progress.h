#pragma once

#include <string>

#include "index/install_progress.h"

class QLabel;
class QProgressBar;

namespace verbalon::ui::detail {

// The installation dialog's side of InstallProgress: the status label lb, the counter label
// lbCount and the gauge pb. The gauge shows progress × 100 / maximum, truncated, as "N%" in its
// middle (0% while the maximum is 0), and never more than full.
//
// processMessages runs the event loop once; whoever starts an operation disables what must not
// run meanwhile. The widgets belong to the dialog and outlive this object.
class GaugeProgress final : public index::InstallProgress {
 public:
  GaugeProgress(QLabel* lb, QLabel* lbCount, QProgressBar* pb);

  void setStatus(const std::string& text) override;
  void setCounter(const std::string& text) override;
  void showGauge() override;
  void hideGauge() override;
  void setGaugeMax(int max) override;
  void setGaugeProgress(int progress) override;
  void processMessages() override;

 private:
  void updateGauge();

  QLabel* m_lb;
  QLabel* m_lbCount;
  QProgressBar* m_pb;
  int m_max = 0;
  int m_progress = 0;
};

}  // namespace verbalon::ui::detail
