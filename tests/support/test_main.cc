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

// No single test needs a minute on an idle machine, not even a whole run with its timeouts, but
// CTest runs four a core beside the Windows runs: a differential test (12 s alone) has taken
// 100 s there. Four minutes still names a hung test before CTest's 300 s; the program's exit
// (static destructors, threads still in a call) gets half a minute.
constexpr auto kTestLimit = std::chrono::seconds(240);
constexpr auto kExitLimit = std::chrono::seconds(30);

// What is running and until when. Never destroyed: the watch thread outlives main.
struct Watched {
  std::mutex mutex;
  std::string what;
  Clock::time_point deadline;

  void Begin(std::string name, Clock::duration limit) {
    std::lock_guard lock(mutex);
    what = std::move(name);
    deadline = Clock::now() + limit;
  }
};

// Short sleeps rather than a timed wait: mingw's timed waits follow the wall clock.
[[noreturn]] void Watch(Watched* watched) {
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::lock_guard lock(watched->mutex);
    if (watched->what.empty() || Clock::now() < watched->deadline) continue;
    std::fprintf(stderr, "\n*** %s has not ended in time: stopping the test program\n", watched->what.c_str());
    std::fflush(nullptr);
    std::_Exit(3);
  }
}

class HangWatch : public testing::EmptyTestEventListener {
 public:
  HangWatch() : watched_(new Watched) { std::thread(Watch, watched_).detach(); }

  void OnTestStart(const testing::TestInfo& test) override {
    watched_->Begin(std::string(test.test_suite_name()) + "." + test.name(), kTestLimit);
  }
  void OnTestEnd(const testing::TestInfo&) override { watched_->Begin("", {}); }
  void OnTestProgramEnd(const testing::UnitTest&) override { watched_->Begin("the program's exit", kExitLimit); }

 private:
  Watched* watched_;
};

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  testing::InitGoogleMock(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new HangWatch);
  return RUN_ALL_TESTS();
}
