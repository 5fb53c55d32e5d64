#include "app/timed_wait.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/fake_platform.h"

namespace velmorin {
namespace {

using test_support::FakeClock;

// A steady clock a test moves by hand through a list of readings.
class ScriptedClock : public platform::Clock {
 public:
  explicit ScriptedClock(std::vector<double> readings) : readings_(std::move(readings)) {}
  double SecondsSinceMidnight() override { return 0; }
  double SteadySeconds() override {
    const double r = readings_[std::min(next_, readings_.size() - 1)];
    ++next_;
    return r;
  }
  void Sleep(double) override {}

 private:
  std::vector<double> readings_;
  size_t next_ = 0;
};

TEST(TimedWait, ProgressFollowsTheTwentiethsRule) {
  ScriptedClock clock({100, 100.02, 100.02, 100.025, 100.025, 102.5, 102.5, 104.975, 104.975, 105, 105});
  std::vector<int> values;
  TimedWait(clock, 5, [&](int v) { values.push_back(v); });
  EXPECT_THAT(values, testing::ElementsAre(0, 0, 50, 100, 100));
}

TEST(TimedWait, NeverExceedsOneHundred) {
  ScriptedClock clock({0, 0, 0, 9, 9});
  std::vector<int> values;
  TimedWait(clock, 5, [&](int v) { values.push_back(v); });
  EXPECT_THAT(values, testing::ElementsAre(0, 100));
}

TEST(TimedWait, LastsItsTimeAcrossMidnightAndWhenTheWallClockIsSet) {
  for (const double step : {0.0, -1.0, -3600.0, 3600.0}) {
    FakeClock clock(86400 - 2);
    std::vector<int> values;
    const double start = clock.SteadySeconds();
    TimedWait(clock, 5, [&](int v) {
      if (values.empty()) clock.StepWall(step);
      values.push_back(v);
    });
    EXPECT_NEAR(clock.SteadySeconds() - start, 5, 0.05) << "wall clock set by " << step;
    EXPECT_EQ(values.front(), 0);
    EXPECT_EQ(values.back(), 100);
  }
}

TEST(TimedWait, GivesTheProcessorAwayInsteadOfSpinning) {
  FakeClock clock;
  clock.tick = 0;  // only sleeping moves this clock
  TimedWait(clock, 10);
  EXPECT_GE(clock.slept, 9.999);
}

TEST(WaitForProcesses, WaitsForAllWithALimit) {
  FakeClock clock;
  test_support::MemoryFileSystem fs;
  test_support::FakeUi ui;
  test_support::FakeProcesses processes(fs, ui);
  processes.running_checks = 3;
  std::vector<std::unique_ptr<platform::Process>> started;
  started.push_back(processes.StartHidden("a"));
  started.push_back(processes.StartHidden("b"));
  EXPECT_TRUE(WaitForProcesses(clock, started, 600));
  processes.running_checks = 1000000;
  started.push_back(processes.StartHidden("hung"));
  const double before = clock.SteadySeconds();
  EXPECT_FALSE(WaitForProcesses(clock, started, 600));
  EXPECT_NEAR(clock.SteadySeconds() - before, 600, 1);
}

}  // namespace
}  // namespace velmorin
