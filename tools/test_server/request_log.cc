// RequestLog: the lines are written under a lock, so that sites never interleave them.
#include "request_log.h"

namespace velmorin::test_server {

RequestLog::RequestLog(const std::string& path) {
  if (!path.empty()) file_ = std::fopen(path.c_str(), "a");
}

RequestLog::~RequestLog() {
  if (file_ != nullptr) std::fclose(file_);
}

void RequestLog::Line(const std::string& site, const std::string& method, const std::string& path, int status,
                      int64_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_ == nullptr) return;
  std::fprintf(file_, "%s\t%s\t%s\t%d\t%lld\n", site.c_str(), method.c_str(), path.c_str(), status,
               static_cast<long long>(bytes));
  std::fflush(file_);
}

}  // namespace velmorin::test_server
