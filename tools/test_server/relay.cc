// FrontRelay: the listening socket and the accept loop.
#include "relay.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>
#include <thread>

#include "relay_connection.h"

namespace velmorin::test_server {
namespace {

constexpr int kBacklog = 128;

int ListenOn(const addrinfo& a) {
  const int fd = ::socket(a.ai_family, a.ai_socktype | SOCK_CLOEXEC, a.ai_protocol);
  if (fd < 0) return -1;
  const int yes = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (::bind(fd, a.ai_addr, a.ai_addrlen) == 0 && ::listen(fd, kBacklog) == 0) return fd;
  ::close(fd);
  return -1;
}

int BoundPort(int fd) {
  sockaddr_storage a{};
  socklen_t size = sizeof a;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) != 0) return -1;
  if (a.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&a)->sin6_port);
  return ntohs(reinterpret_cast<sockaddr_in*>(&a)->sin_port);
}

}  // namespace

FrontRelay::~FrontRelay() {
  if (listen_fd_ >= 0) ::close(listen_fd_);
}

int FrontRelay::Bind(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return -1;
  for (const addrinfo* a = found; a != nullptr && listen_fd_ < 0; a = a->ai_next) listen_fd_ = ListenOn(*a);
  ::freeaddrinfo(found);
  return listen_fd_ < 0 ? -1 : BoundPort(listen_fd_);
}

void FrontRelay::Run() {
  while (!stopping_) {
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
      Spawn(fd);
    } else if (errno != EINTR && errno != ECONNABORTED && !stopping_) {
      // Out of descriptors or memory: wait for connections to end rather than spin.
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  std::unique_lock<std::mutex> lock(mutex_);
  idle_.wait(lock, [this] { return active_ == 0; });
}

void FrontRelay::Stop() {
  stopping_ = true;
  if (listen_fd_ >= 0) ::shutdown(listen_fd_, SHUT_RDWR);
}

void FrontRelay::Spawn(int fd) {
  const int yes = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);  // paced header bytes go out one by one
  const timeval write_timeout{5, 0};  // httplib's: a client that takes nothing for so long is gone
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &write_timeout, sizeof write_timeout);
  auto client = std::make_shared<RelayedClient>(fd);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++active_;
  }
  try {
    std::thread([this, client] {
      ServeRelayedConnection(client, target_);
      Ended();
    }).detach();
  } catch (const std::system_error&) {
    Ended();
  }
}

void FrontRelay::Ended() {
  std::lock_guard<std::mutex> lock(mutex_);
  --active_;
  idle_.notify_all();
}

}  // namespace velmorin::test_server
