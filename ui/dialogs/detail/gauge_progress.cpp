#include "dialogs/detail/gauge_progress.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <algorithm>

#include "qtglue/qt_text.h"

namespace verbalon::ui::detail {

GaugeProgress::GaugeProgress(QLabel* lb, QLabel* lbCount, QProgressBar* pb)
    : m_lb(lb), m_lbCount(lbCount), m_pb(pb) {
  updateGauge();
}

void GaugeProgress::setStatus(const std::string& text) {
  m_lb->setText(toQString(text));
}

void GaugeProgress::setCounter(const std::string& text) {
  m_lbCount->setText(toQString(text));
}

void GaugeProgress::showGauge() {
  m_pb->show();
}

void GaugeProgress::hideGauge() {
  m_pb->hide();
}

void GaugeProgress::setGaugeMax(int max) {
  m_max = std::max(max, 0);
  updateGauge();
}

void GaugeProgress::setGaugeProgress(int progress) {
  m_progress = progress;
  updateGauge();
}

void GaugeProgress::processMessages() {
  QCoreApplication::processEvents();
}

// QProgressBar ignores values outside its range and shows a busy animation for an empty range,
// while the installation steps past its maximum and starts at a maximum of 0; so the bar gets a
// clamped value and a range of at least one step, and the text is worked out here.
void GaugeProgress::updateGauge() {
  const int shown = std::clamp(m_progress, 0, m_max);
  const long long percent = m_max > 0 ? static_cast<long long>(shown) * 100 / m_max : 0;
  m_pb->setRange(0, std::max(m_max, 1));
  m_pb->setValue(shown);
  m_pb->setFormat(QString::number(percent) + QLatin1Char('%'));
}

}  // namespace verbalon::ui::detail
