// Loopback ports that misbehave on purpose, for tests of connections: one that refuses them
// and one that never completes them. Both work under Wine too (its sockets are the host's).
#pragma once

#include <cstdint>
#include <string>

namespace velmorin::test_support {

// Bound but never listening while the object lives: connections are refused.
class ClosedPort {
 public:
  ClosedPort();
  ~ClosedPort();
  ClosedPort(const ClosedPort&) = delete;
  ClosedPort& operator=(const ClosedPort&) = delete;
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  int port_ = 0;  // set while socket_ is made
  intptr_t socket_ = -1;
};

// Listening with a full queue: a connection attempt hangs until the client gives up.
class BlackHole {
 public:
  BlackHole();
  ~BlackHole();
  BlackHole(const BlackHole&) = delete;
  BlackHole& operator=(const BlackHole&) = delete;
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  int port_ = 0;  // set while listener_ is made
  intptr_t listener_ = -1;
  intptr_t filler_ = -1;
};

}  // namespace velmorin::test_support
