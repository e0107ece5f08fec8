#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/cp1251.h"
#include "index/install_progress.h"

namespace verbalon::index::testing {

// Records every call as one line, texts converted to UTF-8 so expectations read naturally.
class RecordingProgress final : public InstallProgress {
 public:
  void setStatus(const std::string& text) override { add("status " + cp1251::toUtf8(text)); }
  void setCounter(const std::string& text) override { add("counter " + cp1251::toUtf8(text)); }
  void showGauge() override { add("show"); }
  void hideGauge() override { add("hide"); }
  void setGaugeMax(int max) override { add("max " + std::to_string(max)); }
  void setGaugeProgress(int progress) override { add("progress " + std::to_string(progress)); }
  void processMessages() override {
    add("messages");
    if (onMessages) onMessages();
  }

  std::vector<std::string> events;
  // Runs inside processMessages, as a window handler would.
  std::function<void()> onMessages;

  // The events of one kind only, e.g. every "counter" text.
  std::vector<std::string> only(const std::string& kind) const {
    std::vector<std::string> out;
    for (const std::string& e : events) {
      if (e.rfind(kind + " ", 0) == 0) out.push_back(e.substr(kind.size() + 1));
      if (e == kind) out.push_back(e);
    }
    return out;
  }

 private:
  void add(std::string event) { events.push_back(std::move(event)); }
};

}  // namespace verbalon::index::testing
