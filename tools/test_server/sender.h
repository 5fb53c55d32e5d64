// The body of one response: a file of the site or a short text, sent as the fault says.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "faults.h"
#include "handoff.h"
#include "request_log.h"

namespace httplib {
class DataSink;
}

namespace velmorin::test_server {

class Body {
 public:
  explicit Body(std::string text) : text_(std::move(text)), size_(static_cast<int64_t>(text_.size())) {}
  Body(int fd, int64_t size, std::string etag) : etag_(std::move(etag)), fd_(fd), size_(size) {}
  ~Body();
  Body(const Body&) = delete;
  Body& operator=(const Body&) = delete;

  int64_t size() const { return size_; }
  // The file's entity tag, from its size and the time it changed; "" for a text.
  const std::string& etag() const { return etag_; }
  // From here on only the file's bytes from `offset` are the body.
  void Skip(int64_t offset) {
    offset_ += offset;
    size_ -= offset;
  }
  bool Read(int64_t offset, char* out, int64_t n) const;

 private:
  std::string text_;
  std::string etag_;
  int64_t offset_ = 0;
  int fd_ = -1;
  int64_t size_ = 0;
};

// The file a request path names under root, or nullptr with the status to answer.
std::unique_ptr<Body> OpenFile(const std::filesystem::path& root, const std::string& path, int& status);

struct LogEntry {
  RequestLog* log = nullptr;
  std::string site, method, path;
  int status = 0;
};

// One response in flight: paces, stalls and cuts the body as the fault says, counts the
// bytes sent, and writes the log line. A complete body is logged just before its last bytes
// go out, so that a client's next request is always logged after it; a body cut short is
// logged when httplib releases the response.
//
// Behind the front relay the body goes from here to the client's socket once the relay has
// delivered the headers, rather than through httplib and the relay: that second loopback
// hop would cost the download benchmark a good part of its speed.
class Sender {
 public:
  Sender(std::unique_ptr<Body> body, Fault fault, LogEntry entry, std::shared_ptr<RelayedClient> client)
      : body_(std::move(body)), fault_(std::move(fault)), entry_(std::move(entry)), client_(std::move(client)) {}

  int64_t declared_length() const { return body_->size() + fault_.extra_length; }
  // httplib's content providers and releaser.
  bool Provide(int64_t offset, int64_t length, httplib::DataSink& sink);
  bool ProvideChunked(int64_t offset, httplib::DataSink& sink);
  void Finish() { Log(sent_); }

 private:
  // Waits, stalls and sizes the next piece from offset; -1 when the body ends or is cut here.
  int64_t Next(int64_t offset, int64_t length);
  // The whole body to the relayed client; always false, which ends httplib's part.
  bool SendDirect();
  bool Read(int64_t offset, int64_t n);  // into buffer_
  bool SendPiece() const;                // buffer_, to the relayed client
  void Log(int64_t bytes);

  std::unique_ptr<Body> body_;
  Fault fault_;
  LogEntry entry_;
  std::shared_ptr<RelayedClient> client_;
  bool logged_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  bool stalled_ = false;
  int64_t sent_ = 0;
  std::vector<char> buffer_;
};

}  // namespace velmorin::test_server
