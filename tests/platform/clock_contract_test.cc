// The clocks checked on the real implementation of the build and on the fake the tests of
// the run use, so that the fake cannot drift from what the program gets.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <memory>
#include <optional>

#ifdef _WIN32
#include "platform/win32/win32_clock.h"
#else
#include "platform/posix/posix_clock.h"
#endif
#include "support/fake_platform.h"

namespace velmorin {
namespace {

struct NativeClock {
#ifdef _WIN32
  std::unique_ptr<platform::Clock> owned = platform::MakeWin32Clock();
#else
  std::unique_ptr<platform::Clock> owned = platform::MakePosixClock();
#endif
  platform::Clock& clock = *owned;
};

struct FakeClockFixture {
  test_support::FakeClock fake;
  platform::Clock& clock = fake;
};

// The process's processor time, where std::clock gives it (on Windows it is wall time).
std::optional<double> ProcessorSeconds() {
#ifdef _WIN32
  return std::nullopt;
#else
  return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
#endif
}

template <class F>
class ClockContract : public testing::Test {
 protected:
  F fixture_;
};

using Fixtures = testing::Types<NativeClock, FakeClockFixture>;
TYPED_TEST_SUITE(ClockContract, Fixtures);

TYPED_TEST(ClockContract, SecondsSinceMidnightStayInADayAndHaveFractions) {
  platform::Clock& clock = this->fixture_.clock;
  bool fraction_seen = false;
  for (int i = 0; i < 20; ++i) {
    const double s = clock.SecondsSinceMidnight();
    ASSERT_GE(s, 0);
    ASSERT_LT(s, 86400);
    fraction_seen = fraction_seen || s != std::floor(s);
  }
  EXPECT_TRUE(fraction_seen);
}

TYPED_TEST(ClockContract, TheSteadyClockNeverGoesBackAndSleepMovesItByAboutThatLong) {
  platform::Clock& clock = this->fixture_.clock;
  double last = clock.SteadySeconds();
  for (int i = 0; i < 1000; ++i) {
    const double now = clock.SteadySeconds();
    ASSERT_GE(now, last);
    last = now;
  }
  const std::optional<double> cpu_started = ProcessorSeconds();
  const double started = clock.SteadySeconds();
  clock.Sleep(0.2);
  const double slept = clock.SteadySeconds() - started;
  EXPECT_GE(slept, 0.19);
  EXPECT_LT(slept, 1.0);
  if (cpu_started) {
    EXPECT_LT(*ProcessorSeconds() - *cpu_started, 0.05) << "a sleep must not spin";
  }
  const double before_nothing = clock.SteadySeconds();
  clock.Sleep(0);
  clock.Sleep(-1);
  EXPECT_LT(clock.SteadySeconds() - before_nothing, 0.1);
}

TEST(NativeClock, SecondsSinceMidnightAreTheLocalTimeOfDay) {
  NativeClock native;
  const std::time_t now = std::time(nullptr);
  const std::tm local = *std::localtime(&now);
  const double expected = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
  const double seconds = native.clock.SecondsSinceMidnight();
  // Differs by a day only when midnight passed between the two readings.
  EXPECT_LT(std::min(std::fabs(seconds - expected), 86400 - std::fabs(seconds - expected)), 2.0);
}

}  // namespace
}  // namespace velmorin
