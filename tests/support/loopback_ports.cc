#include "support/loopback_ports.h"

#include <stdexcept>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace velmorin::test_support {
namespace {

#ifdef _WIN32
void CloseSocket(intptr_t s) { ::closesocket(static_cast<SOCKET>(s)); }
intptr_t NewSocket() {
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started ? static_cast<intptr_t>(::socket(AF_INET, SOCK_STREAM, 0)) : -1;
}
using Length = int;
#else
void CloseSocket(intptr_t s) { ::close(static_cast<int>(s)); }
intptr_t NewSocket() { return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); }
using Length = socklen_t;
#endif

sockaddr_in Loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

// A socket bound to a free loopback port; throws when there is none.
intptr_t BoundSocket(int& port) {
  const intptr_t s = NewSocket();
  sockaddr_in a = Loopback(0);
  Length length = sizeof a;
  if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&a), length) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
    if (s >= 0) CloseSocket(s);
    throw std::runtime_error("no free loopback port");
  }
  port = ntohs(a.sin_port);
  return s;
}

}  // namespace

ClosedPort::ClosedPort() : socket_(BoundSocket(port_)) {}

ClosedPort::~ClosedPort() { CloseSocket(socket_); }

// A queue of length 0 holds one connection that nobody accepts; every later SYN is dropped.
BlackHole::BlackHole() : listener_(BoundSocket(port_)) {
  ::listen(listener_, 0);
  filler_ = NewSocket();
  const sockaddr_in a = Loopback(port_);
  ::connect(filler_, reinterpret_cast<const sockaddr*>(&a), sizeof a);
}

BlackHole::~BlackHole() {
  CloseSocket(filler_);
  CloseSocket(listener_);
}

}  // namespace velmorin::test_support
