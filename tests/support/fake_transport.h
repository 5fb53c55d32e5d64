// An HTTP transport that answers from memory: the files of one site and the test server's
// fault rules (ranges, validators and Retry-After included), on a fake clock, so that the
// download control's contract can be tried without a network and without waiting. Hosts:
// "site.fake" serves; "refused.fake" refuses; "silent.fake" never connects; any "*.invalid"
// host does not exist.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/http_transport.h"
#include "support/fake_platform.h"

namespace velmorin::test_support {

// A FakeClock (that does not move when read) shared by the control's thread and the fake
// transports' threads. Time moves only when the control sleeps, and each of the control's
// readings first lets every transport due by then run up to its next wait, so that a
// transfer goes the same way every time.
class SharedFakeClock : public FakeClock {
 public:
  SharedFakeClock() { tick = 0; }
  double SecondsSinceMidnight() override;
  double SteadySeconds() override;
  void Sleep(double seconds) override;

  // A transport's thread: counted as running from Join to Leave, except while it waits.
  void Join();
  void Leave();
  double TransportNow();
  // Until the clock reaches `at`; false as soon as `stopped` says so.
  bool WaitUntil(double at, const std::function<bool()>& stopped);

 private:
  void Settle(std::unique_lock<std::mutex>& lock);

  std::mutex mutex_;
  std::condition_variable changed_;
  int running_ = 0;
  std::multiset<double> waits_;
};

class FakeSite {
 public:
  FakeSite();
  // Sites that share one clock, as the sites of one whole run do.
  explicit FakeSite(std::shared_ptr<SharedFakeClock> clock);
  void Serve(const std::string& path, const std::string& bytes);
  // Rules as in the test server's faults file, for the site "update".
  void SetFaults(const std::string& rules);
  // "PATH STATUS" per finished request, in that order.
  std::vector<std::string> Requests() const;
  std::unique_ptr<platform::HttpTransport> MakeTransport();
  SharedFakeClock& Clock() { return *clock_; }

  // Shared with the transports: a worker the control left behind may outlive the site.
  struct State;

 private:
  std::shared_ptr<State> state_;
  std::shared_ptr<SharedFakeClock> clock_ = std::make_shared<SharedFakeClock>();
};

}  // namespace velmorin::test_support
