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

// The state of one attempt as the worker leaves it and the control takes it. Each redirect
// hop starts again from "not connected, not answered".
struct Seen {
  std::string url;              // the address being fetched (after redirects)
  bool connected = false;       // to the server of `url`
  bool answered = false;        // this hop's response headers arrived
  platform::ResponseHead head;  // of this hop's response
  bool body = false;            // the final response, whose body is read
  int redirects = 0;
  bool too_many_redirects = false;
  std::string bad_location;  // a redirect to something that is not an http(s) address
  bool finished = false;
  platform::TransportResult result;
};

// What the worker tells the control (under `mutex`), and the control's order to stop.
struct Exchange {
  std::mutex mutex;
  std::condition_variable taken;    // room in the queue, or the control has stopped
  std::vector<std::string> chunks;  // body bytes of the final response not yet taken
  size_t queued = 0;
  Seen seen;
  bool stopped = false;

  // Tells the worker to give up; it ends at its next look.
  void Stop();
};

// Starts the worker on a detached thread: it asks for `request` (its range on every hop),
// following at most `max_redirects` redirects, and owns `transport` until it ends.
void StartTransferWorker(std::shared_ptr<Exchange> exchange, std::unique_ptr<platform::HttpTransport> transport,
                         platform::HttpRequest request, int max_redirects);

}  // namespace velmorin
