// Runs velmorin-test-server for a test: free loopback ports, its faults file and its request
// log, stopped when the object goes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace velmorin::test_support {

class TestServer {
 public:
  struct Site {
    std::string name;
    std::filesystem::path root;
    bool tls = false;  // served over HTTPS with cert_file/key_file
  };
  struct Request {
    std::string site, method, path;
    int status = 0;
    int64_t bytes = 0;  // body bytes sent
  };

  // Starts the server and waits until every site listens; throws std::runtime_error if it
  // does not come up within a few seconds.
  explicit TestServer(std::vector<Site> sites, std::string cert_file = "", std::string key_file = "");
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  int Port(const std::string& site) const { return ports_.at(site); }
  // "http://127.0.0.1:PORT" (https for a TLS site), without a trailing slash.
  std::string BaseUrl(const std::string& site) const;
  std::string Url(const std::string& site, const std::string& path) const { return BaseUrl(site) + path; }

  // Replaces the faults file (format in tools/test_server/README.md); read on each request.
  void SetFaults(const std::string& text) const;
  // The requests whose responses have ended, in that order.
  std::vector<Request> Requests() const;
  // Waits up to timeout_s for at least `count` logged requests, then returns them all.
  std::vector<Request> WaitForRequests(size_t count, double timeout_s = 5) const;

 private:
  void WaitUntilReady();

  TempDir dir_;
  std::vector<Site> sites_;
  std::map<std::string, int> ports_;
  pid_t pid_ = -1;
};

}  // namespace velmorin::test_support
