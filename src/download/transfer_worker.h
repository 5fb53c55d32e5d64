// The worker half of a transfer: the requests (redirects followed here, so that every build
// counts them alike) run on a thread of their own and hand what they receive to the control
// through an Exchange, which lives as long as either side still needs it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/http_transport.h"

namespace velmorin {

// What the worker tells the control (under `mutex`), and the control's order to stop.
struct Exchange {
  std::mutex mutex;
  std::condition_variable taken;    // room in the queue, or the control has stopped
  std::vector<std::string> chunks;  // body bytes of the final response not yet taken
  size_t queued = 0;
  std::string url;              // the address being fetched (after redirects)
  bool connected = false;       // to the server of `url`
  bool answered = false;        // a response's headers arrived
  int status = 0;               // of the last response
  int64_t length = -1;          // its Content-Length, -1 when it gives none
  platform::ResponseHead head;  // of the last response
  int redirects = 0;
  bool too_many_redirects = false;
  std::string bad_location;  // a redirect to something that is not an http(s) address
  bool finished = false;
  platform::TransportResult result;
  bool stopped = false;

  // Tells the worker to give up; it ends at its next look.
  void Stop();
};

// Starts the worker on a detached thread: it fetches `url`, following at most
// `max_redirects` redirects, and owns `transport` until it ends.
void StartTransferWorker(std::shared_ptr<Exchange> exchange, std::unique_ptr<platform::HttpTransport> transport,
                         std::string url, int max_redirects);

}  // namespace velmorin
