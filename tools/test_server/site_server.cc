// SiteServer: answers every request from its folder, through the faults of the faults file,
// and records it in the request log (a complete response just before its last bytes).
#include "site_server.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include <httplib.h>

#include "faults.h"

namespace velmorin::test_server {
namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr int64_t kChunk = 256 * 1024;

void SleepSeconds(double seconds) {
  if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

std::string ReadText(const std::filesystem::path& path) {
  if (path.empty()) return "";
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// A response body: a short text, or an open file.
class Body {
 public:
  explicit Body(std::string text) : text_(std::move(text)), size_(static_cast<int64_t>(text_.size())) {}
  Body(int fd, int64_t size) : fd_(fd), size_(size) {}
  ~Body() {
    if (fd_ >= 0) ::close(fd_);
  }
  Body(const Body&) = delete;
  Body& operator=(const Body&) = delete;

  int64_t size() const { return size_; }
  bool Read(int64_t offset, char* out, int64_t n) const {
    if (fd_ < 0) {
      std::copy_n(text_.data() + offset, n, out);
      return true;
    }
    return ::pread(fd_, out, static_cast<size_t>(n), offset) == n;
  }

 private:
  std::string text_;
  int fd_ = -1;
  int64_t size_ = 0;
};

// One response in flight: paces, stalls and cuts the body as the fault says, counts the
// bytes sent, and writes the log line. A complete body is logged just before its last bytes
// go out, so that a client's next request is always logged after it; a body cut short is
// logged when httplib releases the response.
class Sender {
 public:
  Sender(std::unique_ptr<Body> body, Fault fault, RequestLog* log, std::string site, std::string method,
         std::string path, int status)
      : body_(std::move(body)), fault_(std::move(fault)), log_(log), site_(std::move(site)),
        method_(std::move(method)), path_(std::move(path)), status_(status) {}

  int64_t declared_length() const { return body_->size() + fault_.extra_length; }

  bool Provide(int64_t offset, int64_t length, httplib::DataSink& sink) {
    if (fault_.close_after >= 0 && offset >= fault_.close_after) return false;
    if (offset >= body_->size()) return false;  // the promised extra bytes never come
    if (fault_.stall_after >= 0 && offset >= fault_.stall_after && !stalled_) {
      stalled_ = true;
      SleepSeconds(fault_.stall_s);
    }
    const int64_t n = ChunkAt(offset, length);
    if (fault_.rate > 0) {
      std::this_thread::sleep_until(start_ + std::chrono::duration_cast<SteadyClock::duration>(
                                                 std::chrono::duration<double>(offset / fault_.rate)));
    }
    buffer_.resize(static_cast<size_t>(n));
    if (!body_->Read(offset, buffer_.data(), n)) return false;
    if (!fault_.chunked && sent_ + n == declared_length()) Log(sent_ + n);
    if (!sink.write(buffer_.data(), buffer_.size())) return false;
    sent_ += n;
    return true;
  }

  // Chunked coding: the body's end is told by sink.done(), unless a fault cuts it first.
  bool ProvideChunked(int64_t offset, httplib::DataSink& sink) {
    if (offset < body_->size()) return Provide(offset, body_->size() - offset, sink);
    if (fault_.extra_length > 0) return false;
    Log(sent_);
    sink.done();
    return true;
  }

  void Finish() { Log(sent_); }

 private:
  void Log(int64_t bytes) {
    if (logged_) return;
    logged_ = true;
    log_->Line(site_, method_, path_, status_, bytes);
  }

  int64_t ChunkAt(int64_t offset, int64_t length) const {
    int64_t n = std::min({length, kChunk, body_->size() - offset});
    if (fault_.close_after >= 0) n = std::min(n, fault_.close_after - offset);
    if (fault_.stall_after > offset && !stalled_) n = std::min(n, fault_.stall_after - offset);
    if (fault_.rate > 0) n = std::min(n, std::max<int64_t>(1, static_cast<int64_t>(fault_.rate / 20)));
    return n;
  }

  std::unique_ptr<Body> body_;
  Fault fault_;
  RequestLog* log_;
  std::string site_, method_, path_;
  int status_;
  bool logged_ = false;
  SteadyClock::time_point start_ = SteadyClock::now();
  bool stalled_ = false;
  int64_t sent_ = 0;
  std::vector<char> buffer_;
};

// The file a request path names under root, or nullptr with the status to answer.
std::unique_ptr<Body> OpenFile(const std::filesystem::path& root, const std::string& path, int& status) {
  if (path.find("..") != std::string::npos) {
    status = 403;
    return nullptr;
  }
  const std::filesystem::path file = root / std::filesystem::path(path).relative_path();
  std::error_code ec;
  const int fd = std::filesystem::is_regular_file(file, ec) ? ::open(file.c_str(), O_RDONLY | O_CLOEXEC) : -1;
  if (fd < 0) {
    status = 404;
    return nullptr;
  }
  status = 200;
  return std::make_unique<Body>(fd, static_cast<int64_t>(std::filesystem::file_size(file, ec)));
}

}  // namespace

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

SiteServer::SiteServer(SiteConfig config, const Shared& shared) : config_(std::move(config)), shared_(shared) {
  if (config_.tls) {
    server_ = std::make_unique<httplib::SSLServer>(shared_.cert_path.c_str(), shared_.key_path.c_str());
  } else {
    server_ = std::make_unique<httplib::Server>();
  }
  Install();
}

SiteServer::~SiteServer() = default;

void SiteServer::Install() {
  auto handler = [this](const httplib::Request& req, httplib::Response& res) {
    const FaultLookup lookup = FindFault(ReadText(shared_.faults_path), config_.name, req.path);
    Fault fault = lookup.fault.value_or(Fault{});
    SleepSeconds(fault.delay_s);
    int status = 500;
    std::unique_ptr<Body> body;
    if (!lookup.error.empty()) {
      fault = Fault{};
      body = std::make_unique<Body>(lookup.error + "\n");
    } else if (fault.status != 0) {
      status = fault.status;
      if (!fault.redirect.empty()) res.set_header("Location", fault.redirect);
      body = std::make_unique<Body>("status " + std::to_string(status) + "\n");
    } else if (req.method != "GET" && req.method != "HEAD") {
      status = 405;
      body = std::make_unique<Body>("method not allowed\n");
    } else {
      body = OpenFile(config_.root, req.path, status);
      if (!body) body = std::make_unique<Body>(std::to_string(status) + "\n");
    }
    res.status = status;
    auto sender =
        std::make_shared<Sender>(std::move(body), fault, shared_.log, config_.name, req.method, req.path, status);
    auto finish = [sender](bool) { sender->Finish(); };
    if (fault.chunked) {
      res.set_chunked_content_provider(
          "application/octet-stream",
          [sender](size_t offset, httplib::DataSink& sink) {
            return sender->ProvideChunked(static_cast<int64_t>(offset), sink);
          },
          finish);
      return;
    }
    res.set_content_provider(
        static_cast<size_t>(sender->declared_length()), "application/octet-stream",
        [sender](size_t offset, size_t len, httplib::DataSink& sink) {
          return sender->Provide(static_cast<int64_t>(offset), static_cast<int64_t>(len), sink);
        },
        finish);
  };
  server_->Get(".*", handler);
  server_->Post(".*", handler);
  server_->Put(".*", handler);
  server_->Delete(".*", handler);
}

int SiteServer::Bind(const std::string& host) {
  if (!server_->is_valid()) return -1;
  if (config_.port == 0) return config_.port = server_->bind_to_any_port(host);
  return server_->bind_to_port(host, config_.port) ? config_.port : -1;
}

void SiteServer::Run() { server_->listen_after_bind(); }

void SiteServer::Stop() { server_->stop(); }

}  // namespace velmorin::test_server
