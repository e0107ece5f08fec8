#include "cli/terminal_progress.h"

#include "common/cp1251.h"

namespace verbalon::cli {

// Carriage return, then "erase to the end of the line": the line is written anew each time.
constexpr const char* kRewriteLine = "\r\x1b[K";

void TerminalProgress::setStatus(const std::string& text) {
  m_status = cp1251::toUtf8(text);
  m_counter.clear();
  redraw();
}

void TerminalProgress::setCounter(const std::string& text) {
  m_counter = cp1251::toUtf8(text);
  redraw();
}

void TerminalProgress::redraw() {
  if (!m_interactive) return;
  m_err << kRewriteLine << m_status;
  if (!m_counter.empty()) m_err << "  " << m_counter;
  m_err.flush();
  m_shown = true;
}

void TerminalProgress::done() {
  if (!m_shown) return;
  m_err << kRewriteLine;
  m_err.flush();
  m_shown = false;
}

}  // namespace verbalon::cli
