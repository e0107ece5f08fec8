#pragma once

#include <ostream>
#include <string>

#include "index/install_progress.h"

namespace verbalon::cli {

// Progress of installing, removing and importing on standard error, one line per text.
class TerminalProgress final : public index::InstallProgress {
 public:
  explicit TerminalProgress(std::ostream& err) : m_err(err) {}
  void setStatus(const std::string& text) override;
  void setCounter(const std::string& text) override;
  void showGauge() override {}
  void hideGauge() override {}
  void setGaugeMax(int) override {}
  void setGaugeProgress(int) override {}
  void processMessages() override { m_err.flush(); }

 private:
  std::ostream& m_err;
};

}  // namespace verbalon::cli
