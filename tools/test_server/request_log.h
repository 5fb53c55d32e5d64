// The request log that all sites of the process share.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace velmorin::test_server {

// Appends one tab-separated line per finished request, flushed at once:
// site, method, path, status, body bytes sent.
class RequestLog {
 public:
  explicit RequestLog(const std::string& path);
  ~RequestLog();
  RequestLog(const RequestLog&) = delete;
  RequestLog& operator=(const RequestLog&) = delete;
  void Line(const std::string& site, const std::string& method, const std::string& path, int status, int64_t bytes);

 private:
  std::mutex mutex_;
  FILE* file_ = nullptr;
};

}  // namespace velmorin::test_server
