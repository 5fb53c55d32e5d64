#include "download/transfer_worker.h"

#include <thread>

#include "download/transfer_url.h"

namespace velmorin {
namespace {

using platform::TransportError;
using platform::TransportResult;

// Enough to keep the worker busy while the control writes; bounded, so that a slow disk does
// not make the program hold a whole download in memory.
constexpr size_t kQueueLimit = 4 * 1024 * 1024;

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

class HopEvents : public platform::TransportEvents {
 public:
  explicit HopEvents(Exchange& x) : x_(x) {}

  const std::string& redirect() const { return redirect_; }

  void OnConnected() override {
    std::lock_guard lock(x_.mutex);
    x_.seen.connected = true;
  }

  bool OnHeaders(const platform::ResponseHead& head) override {
    std::lock_guard lock(x_.mutex);
    x_.seen.connected = x_.seen.answered = true;
    x_.seen.head = head;
    if (IsRedirect(head.status) && !head.location.empty()) redirect_ = head.location;
    // Neither a redirect's body nor an error page is of any use.
    x_.seen.body = redirect_.empty() && head.status >= 200 && head.status <= 299;
    return x_.seen.body;
  }

  bool OnBody(const char* data, size_t size) override {
    std::unique_lock lock(x_.mutex);
    x_.taken.wait(lock, [&] { return x_.stopped || x_.queued < kQueueLimit; });
    if (x_.stopped) return false;
    x_.chunks.emplace_back(data, size);
    x_.queued += size;
    return true;
  }

  bool Stopped() const override {
    std::lock_guard lock(x_.mutex);
    return x_.stopped;
  }

 private:
  Exchange& x_;
  std::string redirect_;
};

void Finish(Exchange& x, TransportResult result) {
  std::lock_guard lock(x.mutex);
  x.seen.result = result;
  x.seen.finished = true;
}

void Work(Exchange& x, platform::HttpTransport& transport, platform::HttpRequest request, int max_redirects) {
  for (int redirects = 0;; ++redirects) {
    {
      std::lock_guard lock(x.mutex);
      if (x.stopped) return;
      x.seen = Seen{.url = request.url, .redirects = redirects};
    }
    HopEvents events(x);
    const TransportResult result = transport.Get(request, events);
    if (events.redirect().empty() || result.error != TransportError::kNone) return Finish(x, result);
    const auto next = ResolveRedirect(request.url, events.redirect());
    std::unique_lock lock(x.mutex);
    if (redirects >= max_redirects) {
      x.seen.too_many_redirects = true;
    } else if (!next) {
      x.seen.bad_location = events.redirect();
    } else {
      request.url = *next;
      continue;
    }
    lock.unlock();
    return Finish(x, result);
  }
}

}  // namespace

void Exchange::Stop() {
  std::lock_guard lock(mutex);
  stopped = true;
  taken.notify_all();
}

void StartTransferWorker(std::shared_ptr<Exchange> exchange, std::unique_ptr<platform::HttpTransport> transport,
                         platform::HttpRequest request, int max_redirects) {
  std::thread([exchange, transport = std::move(transport), request = std::move(request), max_redirects]() mutable {
    // Nothing may leave the thread: the control, on the window thread, reports it as a failure.
    try {
      Work(*exchange, *transport, std::move(request), max_redirects);
    } catch (...) {
      Finish(*exchange, {TransportError::kInternal, 0});
    }
    // The transport's handles close here, on the thread that used them.
    transport.reset();
  }).detach();
}

}  // namespace velmorin
