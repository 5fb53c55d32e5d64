// The faults the test server's front relay applies, seen from a raw socket: headers sent
// byte by byte, and a request that gets no answer at all.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "support/temp_dir.h"
#include "support/test_server.h"

namespace velmorin::test_support {
namespace {

using SteadyClock = std::chrono::steady_clock;

// One GET on a fresh connection, with the times (seconds from the request) its answer came.
class RawGet {
 public:
  RawGet(int port, const std::string& path) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    EXPECT_EQ(::send(fd_, request.data(), request.size(), 0), static_cast<ssize_t>(request.size()));
  }
  ~RawGet() { ::close(fd_); }

  // Reads until the server closes (true) or `seconds` from the request have passed.
  bool ReadFor(double seconds) {
    char buffer[65536];
    for (double now = Since(); now < seconds; now = Since()) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>((seconds - now) * 1000) + 1) <= 0) continue;
      const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) {
        closed_at = Since();
        return true;
      }
      if (first_byte_at < 0) first_byte_at = Since();
      answer.append(buffer, static_cast<size_t>(n));
      if (headers_end_at < 0 && answer.find("\r\n\r\n") != std::string::npos) headers_end_at = Since();
    }
    return false;
  }

  std::string answer;
  double first_byte_at = -1, headers_end_at = -1, closed_at = -1;

 private:
  double Since() const { return std::chrono::duration<double>(SteadyClock::now() - start_).count(); }

  int fd_;
  SteadyClock::time_point start_ = SteadyClock::now();
};

class RelayTest : public testing::Test {
 protected:
  RelayTest() : body_(100000, 'x'), server_({{"web", root_.path()}}) { root_.Write("file.bin", body_); }
  int port() const { return server_.Port("web"); }

  TempDir root_;
  std::string body_;
  TestServer server_;
};

TEST_F(RelayTest, HeaderRatePacesOnlyTheHeaders) {
  root_.Write("gone.bin", body_);
  server_.SetFaults("/file.bin header-rate 200\n/gone.bin header-rate 10\n");
  RawGet get(port(), "/file.bin");
  ASSERT_TRUE(get.ReadFor(5));
  const size_t header_bytes = get.answer.find("\r\n\r\n") + 4;
  EXPECT_EQ(get.answer.substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_EQ(get.answer.substr(header_bytes), body_);
  EXPECT_LT(get.first_byte_at, 0.2);
  EXPECT_GT(get.headers_end_at, 0.9 * static_cast<double>(header_bytes - 1) / 200);
  EXPECT_LT(get.closed_at - get.headers_end_at, 0.5);
  // Whoever leaves during the headers has had no body, and the log says so.
  {
    RawGet gone(port(), "/gone.bin");
    EXPECT_FALSE(gone.ReadFor(0.3));
    EXPECT_LT(gone.answer.size(), 5u);
  }
  const auto requests = server_.WaitForRequests(2);
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].bytes, static_cast<int64_t>(body_.size()));
  EXPECT_EQ(requests[1].path, "/gone.bin");
  EXPECT_EQ(requests[1].bytes, 0);
}

TEST_F(RelayTest, SilenceAnswersNothingThenCloses) {
  server_.SetFaults("/file.bin silence 0.6\n/long.bin silence 30\n");
  RawGet get(port(), "/file.bin");
  ASSERT_TRUE(get.ReadFor(5));
  EXPECT_EQ(get.answer, "");
  EXPECT_GT(get.closed_at, 0.55);
  ASSERT_EQ(server_.Requests().size(), 1u);
  EXPECT_EQ(server_.Requests()[0].status, 0);
  EXPECT_EQ(server_.Requests()[0].bytes, 0);
  // A client that gives up ends the silence, and its line is not left for later.
  { RawGet(port(), "/long.bin").ReadFor(0.2); }
  const auto requests = server_.WaitForRequests(2, 2);
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].path, "/long.bin");
  EXPECT_EQ(requests[1].status, 0);
}

}  // namespace
}  // namespace velmorin::test_support
