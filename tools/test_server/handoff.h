// What the front relay of a plain-HTTP site tells the site's internal server about a request
// it forwards: its fault lookup, so that both act on one reading of the faults file, and the
// client's socket, which the body is written to once the relay has delivered the headers.
#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "faults.h"

namespace velmorin::test_server {

class HeaderGate {
 public:
  // `delivered` false: the client left before the end of the headers. Only the first call counts.
  void Open(bool delivered);
  // Blocks until Open; true when the body may go.
  bool Wait();

 private:
  enum class State { kPending, kDelivered, kAbandoned };
  std::mutex mutex_;
  std::condition_variable opened_;
  State state_ = State::kPending;
};

// Shared by the relay and the body's sender, so that the socket outlives both.
class RelayedClient {
 public:
  explicit RelayedClient(int fd) : fd_(fd) {}
  ~RelayedClient();
  RelayedClient(const RelayedClient&) = delete;
  RelayedClient& operator=(const RelayedClient&) = delete;
  int fd() const { return fd_; }

  HeaderGate headers_delivered;

 private:
  int fd_;
};

struct RelayedRequest {
  FaultLookup lookup;
  std::shared_ptr<RelayedClient> client;
  // Taken out of the forwarded request, so that httplib does not answer ranges itself.
  std::string range, if_range;
};

// Keyed by the relay's port on its connection to the internal server, which httplib reports
// as the request's remote port.
class RequestHandoff {
 public:
  void Put(int port, RelayedRequest request);
  std::optional<RelayedRequest> Take(int port);

 private:
  std::mutex mutex_;
  std::map<int, RelayedRequest> requests_;
};

}  // namespace velmorin::test_server
