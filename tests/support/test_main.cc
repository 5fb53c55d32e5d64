// The main of every test program: GoogleTest's, plus a watch that turns a hung test into a
// prompt failure that names it. Without it a hang shows only as CTest's timeout, and under
// Wine not even the names of the tests that ran (a pipe there is fully buffered).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// No single test needs two minutes, not even a whole run under Wine; the program's exit
// (static destructors, threads still in a call) gets half a minute.
constexpr auto kTestLimit = std::chrono::seconds(120);
constexpr auto kExitLimit = std::chrono::seconds(30);

class HangWatch : public ::testing::EmptyTestEventListener {
 public:
  HangWatch() { std::thread([this] { Watch(); }).detach(); }

  void OnTestStart(const ::testing::TestInfo& test) override {
    Begin(std::string(test.test_suite_name()) + "." + test.name(), kTestLimit);
  }
  void OnTestEnd(const ::testing::TestInfo&) override { Begin("", {}); }
  void OnTestProgramEnd(const ::testing::UnitTest&) override { Begin("the program's exit", kExitLimit); }

 private:
  void Begin(std::string what, Clock::duration limit) {
    std::lock_guard lock(mutex_);
    what_ = std::move(what);
    deadline_ = Clock::now() + limit;
  }

  // Short sleeps rather than a timed wait: mingw's timed waits follow the wall clock.
  [[noreturn]] void Watch() {
    for (;;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      std::lock_guard lock(mutex_);
      if (what_.empty() || Clock::now() < deadline_) continue;
      std::fprintf(stderr, "\n*** %s has not ended in time: stopping the test program\n", what_.c_str());
      std::fflush(nullptr);
      std::_Exit(3);
    }
  }

  std::mutex mutex_;
  std::string what_;
  Clock::time_point deadline_;
};

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  ::testing::InitGoogleMock(&argc, argv);
  ::testing::UnitTest::GetInstance()->listeners().Append(new HangWatch);
  return RUN_ALL_TESTS();
}
