#pragma once

#include <ostream>
#include <string>

#include "index/install_progress.h"

namespace verbalon::cli {

// Progress of installing, removing and importing on standard error: on a terminal one line,
// the status and the counter, rewritten in place; elsewhere nothing, so that a log holds only
// the command's result. Whatever the line showed is cleared by done().
class TerminalProgress final : public index::InstallProgress {
 public:
  TerminalProgress(std::ostream& err, bool interactive) : m_err(err), m_interactive(interactive) {}
  ~TerminalProgress() override { done(); }
  void setStatus(const std::string& text) override;
  void setCounter(const std::string& text) override;
  void showGauge() override {}
  void hideGauge() override {}
  void setGaugeMax(int) override {}
  void setGaugeProgress(int) override {}
  void processMessages() override { m_err.flush(); }
  // Clears the progress line, so that what is printed next starts a line of its own.
  void done();

 private:
  void redraw();

  std::ostream& m_err;
  bool m_interactive;
  bool m_shown = false;
  std::string m_status;   // UTF-8
  std::string m_counter;  // UTF-8
};

}  // namespace verbalon::cli
