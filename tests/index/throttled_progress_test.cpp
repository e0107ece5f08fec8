#include "index/throttled_progress.h"

#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "recording_progress.h"

namespace verbalon::index {
namespace {

using std::chrono::milliseconds;
using testing::RecordingProgress;

// A clock the test moves by hand.
struct FakeClock {
  std::chrono::steady_clock::time_point now{};
  void advance(milliseconds by) { now += by; }
};

class ThrottledProgressTest : public ::testing::Test {
 protected:
  RecordingProgress target;
  FakeClock clock;
  ThrottledProgress progress{target, milliseconds(50), [this] { return clock.now; }};
};

// The first pass runs at once; later ones only once the interval has gone by, each carrying the
// newest gauge value and none of those in between.
TEST_F(ThrottledProgressTest, PassesRunOncePerIntervalWithTheNewestValue) {
  progress.showGauge();
  progress.setGaugeMax(1000);
  progress.setGaugeProgress(1);
  progress.processMessages();
  for (int i = 2; i <= 11; ++i) {
    clock.advance(milliseconds(10));
    progress.setGaugeProgress(i);
    progress.processMessages();
  }
  EXPECT_EQ(target.events,
            (std::vector<std::string>{"show", "max 1000", "progress 1", "messages", "progress 6",
                                      "messages", "progress 11", "messages"}));
}

// Hiding the gauge first puts the held value on it; once hidden, values go on at once (the
// removal resets the gauge to 0 after hiding it). Texts never wait.
TEST_F(ThrottledProgressTest, HidingShowsTheLastValueAndTextsNeverWait) {
  progress.setStatus("\xD3\xE4\xE0\xEB\xE5\xED\xE8\xE5");
  progress.showGauge();
  progress.processMessages();
  progress.setGaugeProgress(7);
  progress.setCounter("3");
  progress.processMessages();
  progress.hideGauge();
  progress.setGaugeProgress(0);
  EXPECT_EQ(target.events,
            (std::vector<std::string>{"status Удаление", "show", "messages", "counter 3",
                                      "progress 7", "hide", "progress 0"}));
}

// The interval counts from the end of a pass, so a pass slower than the interval is not
// followed by one on every call.
TEST_F(ThrottledProgressTest, TheIntervalCountsFromTheEndOfASlowPass) {
  target.onMessages = [this] { clock.advance(milliseconds(80)); };
  progress.processMessages();
  clock.advance(milliseconds(10));
  progress.processMessages();
  clock.advance(milliseconds(40));
  progress.processMessages();
  EXPECT_EQ(target.only("messages").size(), 2U);
}

// A new status text is shown by the next pass, however soon it comes.
TEST_F(ThrottledProgressTest, ANewStatusIsShownByTheNextPass) {
  progress.processMessages();
  progress.setStatus("saving");
  progress.processMessages();
  progress.processMessages();
  EXPECT_EQ(target.events, (std::vector<std::string>{"messages", "status saving", "messages"}));
}

}  // namespace
}  // namespace verbalon::index
