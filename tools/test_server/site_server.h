// One served folder ("site") on one port, with the request log and the faults file that all
// sites of the process share.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "handoff.h"
#include "request_log.h"

namespace httplib {
class Server;
}

namespace velmorin::test_server {

class FrontRelay;

struct SiteConfig {
  std::string name;
  int port = 0;  // 0: any free port
  std::filesystem::path root;
  bool tls = false;
};

struct Shared {
  std::filesystem::path faults_path;  // may be empty or missing: no faults
  RequestLog* log = nullptr;
  std::string cert_path, key_path;  // for TLS sites
};

class SiteServer {
 public:
  SiteServer(SiteConfig config, const Shared& shared);
  ~SiteServer();
  // Binds and listens on host; returns the port, or -1. A plain-HTTP site listens through
  // its front relay (relay.h), its httplib server on a private loopback port.
  int Bind(const std::string& host);
  // Accepts and serves until Stop; call on a thread of its own.
  void Run();
  void Stop();
  const SiteConfig& config() const { return config_; }

 private:
  void Install();
  RelayedRequest Lookup(const std::string& path, int remote_port);

  SiteConfig config_;
  const Shared& shared_;
  std::unique_ptr<httplib::Server> server_;
  RequestHandoff handoff_;
  std::unique_ptr<FrontRelay> relay_;  // plain HTTP only
};

}  // namespace velmorin::test_server
