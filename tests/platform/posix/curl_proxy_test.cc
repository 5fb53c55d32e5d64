// libcurl behind a proxy that demands credentials before it opens a tunnel for https.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "platform/posix/curl_transport.h"

namespace velmorin::platform {
namespace {

struct Heads : TransportEvents {
  void OnConnected() override {}
  bool OnHeaders(const ResponseHead& head) override {
    statuses += std::to_string(head.status) + " ";
    return false;
  }
  bool OnBody(const char*, size_t) override { return false; }
  bool Stopped() const override { return false; }
  std::string statuses;
};

TEST(CurlProxy, ADemandForATunnelComesWithTheProxysStatus) {
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
  socklen_t size = sizeof a;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), size), 0);
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &size);
  ::listen(listener, 1);
  std::thread proxy([listener] {
    const int fd = ::accept(listener, nullptr, nullptr);
    std::string head(4096, '\0');
    for (size_t got = 0; head.find("\r\n\r\n") == std::string::npos;) {
      const ssize_t n = ::read(fd, head.data() + got, head.size() - got);
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    const std::string answer =
        "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"p\"\r\n"
        "Content-Length: 0\r\n\r\n";
    EXPECT_EQ(::write(fd, answer.data(), answer.size()), static_cast<ssize_t>(answer.size()));
    ::close(fd);
  });
  ::unsetenv("no_proxy");  // the proxy is on loopback, which such a list often names
  ::unsetenv("NO_PROXY");
  ::setenv("https_proxy", ("http://127.0.0.1:" + std::to_string(ntohs(a.sin_port))).c_str(), 1);
  Heads heads;
  const TransportResult result = MakeCurlTransport("")->Get({.url = "https://127.0.0.1:9/lista.txt"}, heads);
  ::unsetenv("https_proxy");
  proxy.join();
  ::close(listener);
  EXPECT_EQ(result.error, TransportError::kProxyAuth);
  EXPECT_EQ(heads.statuses, "407 ");
}

}  // namespace
}  // namespace velmorin::platform
