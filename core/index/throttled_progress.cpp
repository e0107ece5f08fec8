#include "index/throttled_progress.h"

#include <utility>

namespace verbalon::index {

ThrottledProgress::ThrottledProgress(InstallProgress& target, std::chrono::milliseconds interval,
                                     Clock now)
    : m_target(target), m_interval(interval), m_now(std::move(now)) {}

// A new status is a new stage ("Сохранение результатов..." after the removal), which the
// next pass shows whenever it comes.
void ThrottledProgress::setStatus(const std::string& text) {
  m_target.setStatus(text);
  m_passed = false;
}

void ThrottledProgress::setCounter(const std::string& text) {
  m_target.setCounter(text);
}

void ThrottledProgress::showGauge() {
  m_gaugeShown = true;
  m_target.showGauge();
}

void ThrottledProgress::hideGauge() {
  flushProgress();
  m_gaugeShown = false;
  m_target.hideGauge();
}

void ThrottledProgress::setGaugeMax(int max) {
  m_target.setGaugeMax(max);
}

void ThrottledProgress::setGaugeProgress(int progress) {
  m_progress = progress;
  m_pending = true;
  if (!m_gaugeShown) flushProgress();
}

void ThrottledProgress::processMessages() {
  const std::chrono::steady_clock::time_point now = m_now();
  if (m_passed && now - m_lastPass < m_interval) return;
  flushProgress();
  m_target.processMessages();
  m_passed = true;
  // Measured after the pass: a slow repaint must not make every later call run one too.
  m_lastPass = m_now();
}

void ThrottledProgress::flushProgress() {
  if (!m_pending) return;
  m_pending = false;
  m_target.setGaugeProgress(m_progress);
}

}  // namespace verbalon::index
