#include "cli/terminal_progress.h"

#include "common/cp1251.h"

namespace verbalon::cli {

void TerminalProgress::setStatus(const std::string& text) {
  if (!text.empty()) m_err << cp1251::toUtf8(text) << "\n";
}

void TerminalProgress::setCounter(const std::string& text) {
  if (!text.empty()) m_err << "  " << cp1251::toUtf8(text) << "\n";
}

}  // namespace verbalon::cli
