// Body, OpenFile and Sender.
#include "sender.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <thread>

#include <httplib.h>

namespace velmorin::test_server {
namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr int64_t kChunk = 256 * 1024;

void SleepSeconds(double seconds) {
  if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

bool SendAll(int socket, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(socket, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool SendText(int socket, const std::string& text) { return SendAll(socket, text.data(), text.size()); }

std::string Hex(int64_t n) {
  char text[24];
  std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(n));
  return text;
}

}  // namespace

Body::~Body() {
  if (fd_ >= 0) ::close(fd_);
}

bool Body::Read(int64_t offset, char* out, int64_t n) const {
  if (fd_ < 0) {
    std::copy_n(text_.data() + offset_ + offset, n, out);
    return true;
  }
  return ::pread(fd_, out, static_cast<size_t>(n), offset_ + offset) == n;
}

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
  struct stat s {};
  ::fstat(fd, &s);
  char etag[64];
  std::snprintf(etag, sizeof etag, "\"%llx-%llx\"", static_cast<unsigned long long>(s.st_size),
                static_cast<unsigned long long>(s.st_mtim.tv_sec) * 1000000000ull + s.st_mtim.tv_nsec);
  return std::make_unique<Body>(fd, static_cast<int64_t>(s.st_size), etag);
}

int64_t Sender::Next(int64_t offset, int64_t length) {
  if (fault_.close_after >= 0 && offset >= fault_.close_after) return -1;
  if (offset >= body_->size()) return -1;  // the promised extra bytes never come
  if (fault_.stall_after >= 0 && offset >= fault_.stall_after && !stalled_) {
    stalled_ = true;
    SleepSeconds(fault_.stall_s);
  }
  int64_t n = std::min({length, kChunk, body_->size() - offset});
  if (fault_.close_after >= 0) n = std::min(n, fault_.close_after - offset);
  if (fault_.stall_after > offset && !stalled_) n = std::min(n, fault_.stall_after - offset);
  if (fault_.rate > 0) {
    n = std::min(n, std::max<int64_t>(1, static_cast<int64_t>(fault_.rate / 20)));
    std::this_thread::sleep_until(start_ + std::chrono::duration_cast<SteadyClock::duration>(
                                               std::chrono::duration<double>(offset / fault_.rate)));
  }
  return n;
}

bool Sender::Provide(int64_t offset, int64_t length, httplib::DataSink& sink) {
  if (client_) return SendDirect();
  const int64_t n = Next(offset, length);
  if (n < 0 || !Read(offset, n)) return false;
  if (!fault_.chunked && sent_ + n == declared_length()) Log(sent_ + n);
  if (!sink.write(buffer_.data(), buffer_.size())) return false;
  sent_ += n;
  return true;
}

// Chunked coding: the body's end is told by sink.done(), unless a fault cuts it first.
bool Sender::ProvideChunked(int64_t offset, httplib::DataSink& sink) {
  if (client_) return SendDirect();
  if (offset < body_->size()) return Provide(offset, body_->size() - offset, sink);
  if (fault_.extra_length > 0) return false;
  Log(sent_);
  sink.done();
  return true;
}

bool Sender::SendDirect() {
  if (!client_->headers_delivered.Wait()) return false;
  int64_t offset = 0;
  for (int64_t n; (n = Next(offset, body_->size() - offset)) > 0; offset += n) {
    if (!Read(offset, n)) return false;
    if (!fault_.chunked && sent_ + n == declared_length()) Log(sent_ + n);
    if (!SendPiece()) return false;
    sent_ += n;
  }
  if (fault_.chunked && offset == body_->size() && fault_.extra_length == 0) {
    Log(sent_);
    SendText(client_->fd(), "0\r\n\r\n");
  }
  return false;
}

bool Sender::Read(int64_t offset, int64_t n) {
  buffer_.resize(static_cast<size_t>(n));
  return body_->Read(offset, buffer_.data(), n);
}

// From the buffer: a file is read and sent rather than given to sendfile, whose pages cost
// a client that writes them to a file more than the copy saves here.
bool Sender::SendPiece() const {
  const int socket = client_->fd();
  if (!fault_.chunked) return SendAll(socket, buffer_.data(), buffer_.size());
  return SendText(socket, Hex(static_cast<int64_t>(buffer_.size())) + "\r\n") &&
         SendAll(socket, buffer_.data(), buffer_.size()) && SendText(socket, "\r\n");
}

void Sender::Log(int64_t bytes) {
  if (logged_) return;
  logged_ = true;
  entry_.log->Line(entry_.site, entry_.method, entry_.path, entry_.status, bytes);
}

}  // namespace velmorin::test_server
