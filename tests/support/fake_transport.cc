#include "support/fake_transport.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <map>

#include "faults.h"

namespace velmorin::test_support {

using platform::TransportError;
using platform::TransportEvents;
using platform::TransportResult;

struct FakeSite::State {
  std::mutex mutex;
  std::map<std::string, std::string> files;
  // Bumped by every Serve, as a rewritten file gets a new time on the test server: the same
  // bytes served again are another version.
  std::map<std::string, int> versions;
  std::string faults;
  int writes = 0;
  test_server::RuleUses uses;
  std::vector<std::string> requests;
};

double SharedFakeClock::SecondsSinceMidnight() {
  std::unique_lock lock(mutex_);
  Settle(lock);
  return FakeClock::SecondsSinceMidnight();
}

double SharedFakeClock::SteadySeconds() {
  std::unique_lock lock(mutex_);
  Settle(lock);
  return FakeClock::SteadySeconds();
}

void SharedFakeClock::Sleep(double seconds) {
  std::unique_lock lock(mutex_);
  Settle(lock);
  FakeClock::Sleep(seconds);
  changed_.notify_all();
  Settle(lock);
}

void SharedFakeClock::Join() {
  std::lock_guard lock(mutex_);
  ++running_;
}

void SharedFakeClock::Leave() {
  std::lock_guard lock(mutex_);
  --running_;
  changed_.notify_all();
}

double SharedFakeClock::TransportNow() {
  std::lock_guard lock(mutex_);
  return FakeClock::SteadySeconds();
}

bool SharedFakeClock::WaitUntil(double at, const std::function<bool()>& stopped) {
  std::unique_lock lock(mutex_);
  const auto wait = waits_.insert(at);
  --running_;
  changed_.notify_all();
  bool stop = false;
  while (FakeClock::SteadySeconds() < at && !stop) {
    changed_.wait_for(lock, std::chrono::milliseconds(2));
    lock.unlock();
    stop = stopped();
    lock.lock();
  }
  waits_.erase(wait);
  ++running_;
  return !stop;
}

// Until every transport waits for a later moment or has left; a transport blocked on
// something else (a full queue) is given up on after a few real seconds.
void SharedFakeClock::Settle(std::unique_lock<std::mutex>& lock) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  changed_.wait_until(lock, give_up, [this] {
    return running_ == 0 && (waits_.empty() || *waits_.begin() > FakeClock::SteadySeconds());
  });
}

namespace {

struct Answer {
  int status = 200;
  bool file = false;
  std::string body;
  platform::ResponseHead head;
};

std::string HttpDateIn(double seconds) {
  const std::time_t at = std::time(nullptr) + static_cast<std::time_t>(seconds);
  std::tm tm{};
#ifdef _WIN32
  ::gmtime_s(&tm, &at);
#else
  ::gmtime_r(&at, &tm);
#endif
  char text[64];
  std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &tm);
  return text;
}

class FakeTransport : public platform::HttpTransport {
 public:
  FakeTransport(std::shared_ptr<FakeSite::State> site, std::shared_ptr<SharedFakeClock> clock)
      : site_(std::move(site)), clock_(std::move(clock)) {
    clock_->Join();
  }
  ~FakeTransport() override { clock_->Leave(); }

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
    const TransportResult result = Serve(request, path, events, status);
    std::lock_guard lock(site_->mutex);
    site_->requests.push_back(path + " " + std::to_string(status));
    return result;
  }

 private:
  // False when the control gave up meanwhile.
  bool Wait(double seconds, const TransportEvents& events) {
    return WaitUntil(clock_->TransportNow() + seconds, events);
  }
  bool WaitUntil(double at, const TransportEvents& events) {
    return clock_->WaitUntil(at, [&] { return events.Stopped(); });
  }

  Answer Look(const std::string& path, const test_server::Fault& fault) const {
    std::lock_guard lock(site_->mutex);
    Answer a;
    if (fault.status != 0) {
      a.status = fault.status;
      a.body = "status " + std::to_string(fault.status) + "\n";
      a.head.location = fault.redirect;
    } else if (const auto file = site_->files.find(path); file == site_->files.end()) {
      a = {404, false, "404\n", {}};
    } else {
      a.body = file->second;
      a.file = true;
      // As the test server: a validator of this version.
      a.head.etag =
          "\"" + std::to_string(std::hash<std::string>()(a.body)) + "-" + std::to_string(site_->versions[path]) + "\"";
    }
    a.head.status = a.status;
    a.head.retry_after = fault.retry_after_date_s >= 0 ? HttpDateIn(fault.retry_after_date_s) : fault.retry_after;
    return a;
  }

  TransportResult Serve(const platform::HttpRequest& request, const std::string& path, TransportEvents& events,
                        int& status) {
    test_server::Fault fault;
    {
      std::lock_guard lock(site_->mutex);
      fault = test_server::FindFault(site_->faults, "update", path, &site_->uses).fault.value_or(fault);
    }
    if (fault.silence_s >= 0) {
      return Wait(fault.silence_s, events) ? TransportResult{TransportError::kNoAnswer, 0}
                                           : TransportResult{TransportError::kStopped, 0};
    }
    Answer answer = Look(path, fault);
    test_server::Coded sent_as = test_server::ApplyCoding(fault, answer.body);
    if (answer.file && !fault.blocked) {
      const auto part = test_server::PartAsked(fault, request.range_from, request.if_range, answer.head.etag,
                                               static_cast<int64_t>(sent_as.body.size()));
      answer.status = part.status;
      answer.head.content_range = part.content_range;
      sent_as.body.erase(0, static_cast<size_t>(part.from));
    }
    if (fault.no_validator) answer.head.etag.clear();
    status = fault.blocked ? 200 : answer.status;
    // About the size of the test server's status line and headers.
    const double header_bytes = 90;
    if (!Wait(fault.delay_s + (fault.header_rate > 0 ? header_bytes / fault.header_rate : 0), events)) {
      return {TransportError::kStopped, 0};
    }
    answer.head.status = status;
    answer.head.content_length = fault.chunked ? -1 : static_cast<int64_t>(sent_as.body.size()) + fault.extra_length;
    answer.head.content_type = sent_as.type;
    answer.head.content_encoding = sent_as.encoding;
    if (!events.OnHeaders(answer.head)) return {};
    return SendBody(sent_as.body, fault, events);
  }

  TransportResult SendBody(const std::string& body, const test_server::Fault& fault, TransportEvents& events) {
    const auto size = static_cast<int64_t>(body.size());
    const double start = clock_->TransportNow();
    bool stalled = false;
    for (int64_t sent = 0; sent < size;) {
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
        if (!WaitUntil(start + static_cast<double>(sent) / fault.rate, events)) return {TransportError::kStopped, 0};
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
  std::shared_ptr<SharedFakeClock> clock_;
};

}  // namespace

FakeSite::FakeSite() : state_(std::make_shared<State>()) {}

FakeSite::FakeSite(std::shared_ptr<SharedFakeClock> clock)
    : state_(std::make_shared<State>()), clock_(std::move(clock)) {}

void FakeSite::Serve(const std::string& path, const std::string& bytes) {
  std::lock_guard lock(state_->mutex);
  state_->files[path] = bytes;
  ++state_->versions[path];
}

void FakeSite::SetFaults(const std::string& rules) {
  std::lock_guard lock(state_->mutex);
  // Each call counts afresh, even with the same rules.
  state_->faults = rules + "\n# " + std::to_string(++state_->writes);
}

std::vector<std::string> FakeSite::Requests() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests;
}

std::unique_ptr<platform::HttpTransport> FakeSite::MakeTransport() {
  return std::make_unique<FakeTransport>(state_, clock_);
}

}  // namespace velmorin::test_support
