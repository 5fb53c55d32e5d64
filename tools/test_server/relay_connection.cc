// ServeRelayedConnection: reads the request head, then either stays silent as the faults say
// or forwards the request with "Connection: close" (so that the next request comes on a new
// connection and gets its own lookup) and relays the answer's header block, paced as the
// faults say; the body's sender writes the body to the client itself.
#include "relay_connection.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <string_view>
#include <vector>

#include <httplib.h>

namespace velmorin::test_server {
namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr size_t kMaxHead = 64 * 1024;
constexpr int kHeadWaitMs = 5000;  // as httplib waits for a request
constexpr size_t kBuffer = 256 * 1024;

SteadyClock::time_point After(SteadyClock::time_point t, double seconds) {
  seconds = std::min(seconds, 1e7);  // forever, for a test, without overflowing the clock
  return t + std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(seconds));
}

bool SendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Waits until `until`; false as soon as the client hangs up. What it sends meanwhile is
// dropped, so that the close that follows is a plain FIN.
bool WaitWatchingClient(int client, SteadyClock::time_point until) {
  char scratch[4096];
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - SteadyClock::now()).count();
    if (left <= 0) return true;
    pollfd p{client, POLLIN | POLLRDHUP, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(left, INT_MAX)));
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    if ((p.revents & (POLLERR | POLLHUP | POLLRDHUP)) != 0) return false;
    if (::recv(client, scratch, sizeof scratch, 0) <= 0) return false;
  }
}

struct RequestHead {
  std::string text;  // through the blank line
  std::string rest;  // read after it
  std::string method, path;
};

// A line that is no request line leaves the path empty: httplib answers it as before.
void ParseRequestLine(RequestHead& head) {
  const std::string_view line = std::string_view(head.text).substr(0, head.text.find("\r\n"));
  const size_t space = line.find(' ');
  if (space == std::string_view::npos) return;
  const std::string_view target = line.substr(space + 1, line.find(' ', space + 1) - space - 1);
  head.method = line.substr(0, space);
  // Decoded as httplib decodes it, so that both sides look the same path up.
  head.path = httplib::detail::decode_url(std::string(target.substr(0, target.find('?'))), false);
}

// False when the client leaves, keeps quiet for long, or sends no end of the head.
bool ReadHead(int client, RequestHead& head) {
  std::string data;
  char buffer[4096];
  size_t end = std::string::npos;
  while (end == std::string::npos && data.size() < kMaxHead) {
    pollfd p{client, POLLIN, 0};
    const int ready = ::poll(&p, 1, kHeadWaitMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    const size_t from = data.size() < 3 ? 0 : data.size() - 3;
    data.append(buffer, static_cast<size_t>(n));
    end = data.find("\r\n\r\n", from);
  }
  if (end == std::string::npos) return false;
  head.text = data.substr(0, end + 4);
  head.rest = data.substr(end + 4);
  ParseRequestLine(head);
  return true;
}

bool IsHeader(std::string_view line, std::string_view name) {
  if (line.size() <= name.size() || line[name.size()] != ':') return false;
  return std::equal(name.begin(), name.end(), line.begin(),
                    [](char a, char b) { return a == (b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b); });
}

std::string ForwardedHead(std::string_view head) {
  std::string out;
  for (size_t at = 0; at + 2 < head.size();) {  // up to the blank line that ends it
    const size_t end = head.find("\r\n", at);
    const std::string_view line = head.substr(at, end - at);
    if (at == 0 || !(IsHeader(line, "connection") || IsHeader(line, "keep-alive") || IsHeader(line, "range") ||
                     IsHeader(line, "if-range"))) {
      out.append(line).append("\r\n");
    }
    at = end + 2;
  }
  return out + "Connection: close\r\n\r\n";
}

// The value of header `name` (lower case) in a request head, "" when absent.
std::string HeaderValue(std::string_view head, std::string_view name) {
  for (size_t at = head.find("\r\n"); at != std::string_view::npos && at + 2 < head.size();) {
    const size_t end = head.find("\r\n", at + 2);
    const std::string_view line = head.substr(at + 2, end - at - 2);
    if (IsHeader(line, name)) {
      const std::string_view value = line.substr(name.size() + 1);
      const size_t first = value.find_first_not_of(' ');
      return first == std::string_view::npos ? "" : std::string(value.substr(first));
    }
    at = end;
  }
  return "";
}

// Sends the answer's status line and headers, no faster than `rate` bytes a second from the
// first byte on when rate is not 0, then tells the body's sender to go on.
class HeaderPacer {
 public:
  HeaderPacer(double rate, HeaderGate& delivered) : rate_(rate), delivered_(delivered) {}

  bool Send(int client, const char* data, size_t size) {
    if (done_) return SendAll(client, data, size);
    if (sent_ == 0) start_ = SteadyClock::now();
    const size_t head = HeadBytes(data, size);
    if (!SendHead(client, data, head)) return false;
    if (done_) delivered_.Open(true);
    return SendAll(client, data + head, size - head);
  }

 private:
  bool SendHead(int client, const char* data, size_t size) {
    if (rate_ <= 0) return SendAll(client, data, size);
    const size_t slice = std::max<size_t>(1, static_cast<size_t>(rate_ / 20));
    for (size_t at = 0; at < size; at += slice) {
      if (!WaitWatchingClient(client, After(start_, static_cast<double>(sent_) / rate_))) return false;
      const size_t n = std::min(slice, size - at);
      if (!SendAll(client, data + at, n)) return false;
      sent_ += n;
    }
    return true;
  }

  // How many of these bytes belong to the header block; sets done_ when it ends among them.
  // A "100 Continue" block is not the one: the answer's own follows it.
  size_t HeadBytes(const char* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
      if (block_.size() < 10) block_ += data[i];
      if (data[i] == '\r')
        matched_ = matched_ == 2 ? 3 : 1;
      else if (data[i] == '\n' && (matched_ == 1 || matched_ == 3))
        ++matched_;
      else
        matched_ = 0;
      if (matched_ < 4) continue;
      matched_ = 0;
      if (block_.size() == 10 && block_.compare(0, 5, "HTTP/") == 0 && block_[9] == '1') {
        block_.clear();
        continue;
      }
      done_ = true;
      return i + 1;
    }
    return size;
  }

  double rate_;
  HeaderGate& delivered_;
  bool done_ = false;
  std::string block_;  // the start of the current header block
  int matched_ = 0;    // how much of "\r\n\r\n" the bytes so far end with
  size_t sent_ = 0;
  SteadyClock::time_point start_;
};

// Copies the answer to the client until the internal server closes it or the client hangs
// up; closing the internal connection then tells httplib the response was abandoned, as a
// direct client would have.
void Relay(int client, int upstream, HeaderPacer& pacer) {
  std::vector<char> buffer(kBuffer);
  pollfd fds[2] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}};
  for (;;) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents != 0) {
      const ssize_t n = ::recv(client, buffer.data(), buffer.size(), 0);
      if (n <= 0 || !SendAll(upstream, buffer.data(), static_cast<size_t>(n))) return;
    }
    if (fds[1].revents != 0) {
      const ssize_t n = ::recv(upstream, buffer.data(), buffer.size(), 0);
      if (n <= 0 || !pacer.Send(client, buffer.data(), static_cast<size_t>(n))) return;
    }
  }
}

int ConnectLoopback(int port, int& local_port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof a;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) != 0) {
    ::close(fd);
    return -1;
  }
  local_port = ntohs(a.sin_port);
  return fd;
}

void Forward(const std::shared_ptr<RelayedClient>& client, const RelayTarget& target, const RequestHead& head,
             const FaultLookup& lookup) {
  int local_port = 0;
  const int upstream = ConnectLoopback(target.internal_port, local_port);
  if (upstream < 0) return;
  target.handoff->Put(local_port,
                      {lookup, client, HeaderValue(head.text, "range"), HeaderValue(head.text, "if-range")});
  HeaderPacer pacer(lookup.fault ? lookup.fault->header_rate : 0, client->headers_delivered);
  const std::string request = ForwardedHead(head.text) + head.rest;
  if (SendAll(upstream, request.data(), request.size())) Relay(client->fd(), upstream, pacer);
  client->headers_delivered.Open(false);
  target.handoff->Take(local_port);  // httplib may never have asked for it (a bad request)
  ::close(upstream);
}

}  // namespace

void ServeRelayedConnection(const std::shared_ptr<RelayedClient>& client, const RelayTarget& target) {
  RequestHead head;
  if (!ReadHead(client->fd(), head)) return;
  const FaultLookup lookup = FindFaultInFile(target.faults_path, target.site, head.path);
  if (lookup.fault && lookup.fault->silence_s >= 0) {
    WaitWatchingClient(client->fd(), After(SteadyClock::now(), lookup.fault->silence_s));
    target.log->Line(target.site, head.method, head.path, 0, 0);
    return;
  }
  Forward(client, target, head, lookup);
}

}  // namespace velmorin::test_server
