// HeaderGate, RelayedClient and RequestHandoff.
#include "handoff.h"

#include <unistd.h>

namespace velmorin::test_server {

void HeaderGate::Open(bool delivered) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (state_ != State::kPending) return;
  state_ = delivered ? State::kDelivered : State::kAbandoned;
  opened_.notify_all();
}

bool HeaderGate::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  opened_.wait(lock, [this] { return state_ != State::kPending; });
  return state_ == State::kDelivered;
}

RelayedClient::~RelayedClient() { ::close(fd_); }

void RequestHandoff::Put(int port, RelayedRequest request) {
  std::lock_guard<std::mutex> lock(mutex_);
  requests_[port] = std::move(request);
}

std::optional<RelayedRequest> RequestHandoff::Take(int port) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = requests_.find(port);
  if (it == requests_.end()) return std::nullopt;
  RelayedRequest request = std::move(it->second);
  requests_.erase(it);
  return request;
}

}  // namespace velmorin::test_server
