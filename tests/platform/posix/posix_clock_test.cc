// The seconds-since-midnight clock against the C library's local time.
#include "platform/posix/posix_clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <ctime>

namespace velmorin::platform {
namespace {

TEST(PosixClock, CountsLocalSecondsSinceMidnightWithFractions) {
  auto clock = MakePosixClock();
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  const double expected = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
  const double seconds = clock->SecondsSinceMidnight();
  ASSERT_GE(seconds, 0);
  ASSERT_LT(seconds, 86401);
  // Differs by a day only when midnight passed between the two readings.
  EXPECT_LT(std::min(std::fabs(seconds - expected), 86400 - std::fabs(seconds - expected)), 2.0);
  bool fraction_seen = false;
  for (int i = 0; i < 20 && !fraction_seen; ++i) {
    const double s = clock->SecondsSinceMidnight();
    fraction_seen = s != std::floor(s);
  }
  EXPECT_TRUE(fraction_seen);
}

TEST(PosixClock, SleepGivesTheProcessorAwayForAboutThatLong) {
  auto clock = MakePosixClock();
  const auto started = std::chrono::steady_clock::now();
  const std::clock_t cpu_started = std::clock();
  clock->Sleep(0.2);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_GE(wall, 0.2);
  EXPECT_LT(wall, 1.0);
  EXPECT_LT(static_cast<double>(std::clock() - cpu_started) / CLOCKS_PER_SEC, 0.05);
  clock->Sleep(-1);
  clock->Sleep(0);
}

}  // namespace
}  // namespace velmorin::platform
