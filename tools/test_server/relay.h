// The public port of a plain-HTTP site. httplib writes the headers before anything of ours
// can touch the socket, so a small relay in front of it applies the faults that live there
// (header-rate, silence) and forwards everything else to the site's internal httplib server
// on a private loopback port, one request per connection. The answer's headers come back
// through the relay; its body goes from the site's sender straight to the client (sender.h).
#pragma once

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>

#include "handoff.h"
#include "request_log.h"

namespace velmorin::test_server {

struct RelayTarget {
  std::string site;
  int internal_port = 0;
  std::filesystem::path faults_path;
  RequestLog* log = nullptr;
  RequestHandoff* handoff = nullptr;
};

class FrontRelay {
 public:
  explicit FrontRelay(RelayTarget target) : target_(std::move(target)) {}
  ~FrontRelay();
  FrontRelay(const FrontRelay&) = delete;
  FrontRelay& operator=(const FrontRelay&) = delete;

  // Listens on host:port (0: any free port); returns the port, or -1.
  int Bind(const std::string& host, int port);
  // Accepts until Stop, one thread per connection; returns once every connection has ended.
  void Run();
  void Stop();

 private:
  void Spawn(int fd);
  void Ended();

  const RelayTarget target_;
  int listen_fd_ = -1;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::condition_variable idle_;
  int active_ = 0;
};

}  // namespace velmorin::test_server
