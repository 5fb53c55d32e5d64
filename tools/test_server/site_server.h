// One served folder ("site") on one port, with the request log and the faults file that all
// sites of the process share.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

namespace httplib {
class Server;
}

namespace velmorin::test_server {

// Appends one tab-separated line per finished request, flushed at once:
// site, method, path, status, body bytes sent.
class RequestLog {
 public:
  explicit RequestLog(const std::string& path);
  ~RequestLog();
  RequestLog(const RequestLog&) = delete;
  RequestLog& operator=(const RequestLog&) = delete;
  void Line(const std::string& site, const std::string& method, const std::string& path, int status,
            int64_t bytes);

 private:
  std::mutex mutex_;
  FILE* file_ = nullptr;
};

struct SiteConfig {
  std::string name;
  int port = 0;  // 0: any free port
  std::filesystem::path root;
  bool tls = false;
};

struct Shared {
  std::filesystem::path faults_path;  // may be empty or missing: no faults
  RequestLog* log = nullptr;
  std::string cert_path, key_path;     // for TLS sites
};

class SiteServer {
 public:
  SiteServer(SiteConfig config, const Shared& shared);
  ~SiteServer();
  // Binds and listens on host; returns the port, or -1.
  int Bind(const std::string& host);
  // Accepts and serves until Stop; call on a thread of its own.
  void Run();
  void Stop();
  const SiteConfig& config() const { return config_; }

 private:
  void Install();

  SiteConfig config_;
  const Shared& shared_;
  std::unique_ptr<httplib::Server> server_;
};

}  // namespace velmorin::test_server
