#include "support/fake_transport.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "faults.h"

namespace velmorin::test_support {

using platform::TransportError;
using platform::TransportEvents;
using platform::TransportResult;
using SteadyClock = std::chrono::steady_clock;

namespace {

// Sleeps in short steps; false when the control gave up meanwhile.
bool Wait(double seconds, const TransportEvents& events) {
  const auto until =
      SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(seconds));
  while (SteadyClock::now() < until) {
    if (events.Stopped()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return !events.Stopped();
}

struct Answer {
  int status = 200;
  std::string body;
  std::string location;
};

}  // namespace

namespace {

class FakeTransport : public platform::HttpTransport {
 public:
  explicit FakeTransport(std::shared_ptr<FakeSite::State> site) : site_(std::move(site)) {}

  TransportResult Get(const platform::HttpRequest& request, TransportEvents& events) override {
    const std::string& url = request.url;
    const size_t start = url.find("://");
    if (start == std::string::npos) return {TransportError::kBadAddress, 0};
    const size_t slash = std::min(url.find('/', start + 3), url.size());
    const std::string host = url.substr(start + 3, slash - start - 3);
    const std::string path = slash < url.size() ? url.substr(slash, url.find('?') - slash) : "/";
    if (host.ends_with(".invalid")) return {TransportError::kHostNotFound, 0};
    if (host == "refused.fake") return {TransportError::kRefused, 0};
    if (host == "silent.fake") {
      Wait(1e9, events);
      return {TransportError::kStopped, 0};
    }
    if (host != "site.fake") return {TransportError::kHostNotFound, 0};
    events.OnConnected();
    int status = 0;
    int64_t sent = 0;
    const TransportResult result = Serve(path, events, status, sent);
    std::lock_guard lock(site_->mutex);
    site_->requests.push_back(path + " " + std::to_string(status));
    return result;
  }

 private:
  Answer Look(const std::string& path, const test_server::Fault& fault) const {
    std::lock_guard lock(site_->mutex);
    if (fault.status != 0) return {fault.status, "status " + std::to_string(fault.status) + "\n", fault.redirect};
    const auto file = site_->files.find(path);
    if (file == site_->files.end()) return {404, "404\n", ""};
    return {200, file->second, ""};
  }

  TransportResult Serve(const std::string& path, TransportEvents& events, int& status, int64_t& sent) {
    std::string rules;
    {
      std::lock_guard lock(site_->mutex);
      rules = site_->faults;
    }
    const test_server::Fault fault = test_server::FindFault(rules, "update", path).fault.value_or(test_server::Fault{});
    if (fault.silence_s >= 0) {
      return Wait(fault.silence_s, events) ? TransportResult{TransportError::kNoAnswer, 0}
                                           : TransportResult{TransportError::kStopped, 0};
    }
    const Answer answer = Look(path, fault);
    const test_server::Coded sent_as = test_server::ApplyCoding(fault, answer.body);
    status = fault.blocked ? 200 : answer.status;
    // About the size of the test server's status line and headers.
    const double header_bytes = 90;
    if (!Wait(fault.delay_s + (fault.header_rate > 0 ? header_bytes / fault.header_rate : 0), events)) {
      return {TransportError::kStopped, 0};
    }
    const int64_t length = fault.chunked ? -1 : static_cast<int64_t>(sent_as.body.size()) + fault.extra_length;
    if (!events.OnHeaders({.status = status,
                           .content_length = length,
                           .location = answer.location,
                           .content_type = sent_as.type,
                           .content_encoding = sent_as.encoding})) {
      return {};
    }
    return SendBody(sent_as.body, fault, events, sent);
  }

  static TransportResult SendBody(const std::string& body, const test_server::Fault& fault, TransportEvents& events,
                                  int64_t& sent) {
    const int64_t size = static_cast<int64_t>(body.size());
    const auto start = SteadyClock::now();
    bool stalled = false;
    while (sent < size) {
      if (fault.close_after >= 0 && sent >= fault.close_after) return {TransportError::kConnectionLost, 0};
      if (fault.stall_after >= 0 && sent >= fault.stall_after && !stalled) {
        stalled = true;
        if (!Wait(fault.stall_s, events)) return {TransportError::kStopped, 0};
      }
      int64_t n = std::min<int64_t>(size - sent, 64 * 1024);
      if (fault.close_after >= 0) n = std::min(n, fault.close_after - sent);
      if (fault.stall_after > sent && !stalled) n = std::min(n, fault.stall_after - sent);
      if (fault.rate > 0) {
        n = std::min(n, std::max<int64_t>(1, static_cast<int64_t>(fault.rate / 20)));
        const double due =
            static_cast<double>(sent) / fault.rate - std::chrono::duration<double>(SteadyClock::now() - start).count();
        if (due > 0 && !Wait(due, events)) return {TransportError::kStopped, 0};
      }
      if (!events.OnBody(body.data() + sent, static_cast<size_t>(n))) return {TransportError::kStopped, 0};
      sent += n;
    }
    // The promised rest never comes, or the last chunk is missing: the connection closes.
    if (fault.extra_length > 0 || (fault.chunked && fault.close_after >= 0))
      return {TransportError::kConnectionLost, 0};
    return {};
  }

  std::shared_ptr<FakeSite::State> site_;
};

}  // namespace

void FakeSite::Serve(const std::string& path, const std::string& bytes) {
  std::lock_guard lock(state_->mutex);
  state_->files[path] = bytes;
}

void FakeSite::SetFaults(const std::string& rules) {
  std::lock_guard lock(state_->mutex);
  state_->faults = rules;
}

std::vector<std::string> FakeSite::Requests() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests;
}

std::unique_ptr<platform::HttpTransport> FakeSite::MakeTransport() { return std::make_unique<FakeTransport>(state_); }

}  // namespace velmorin::test_support
