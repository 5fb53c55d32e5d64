// The libcurl download control against the loopback test server: the result rules, the
// progress reports, cancels in every state, and that a failure never touches the target.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "common/cp1252.h"
#include "platform/posix/posix_download_file.h"
#include "support/temp_dir.h"
#include "support/test_server.h"

namespace velmorin::platform {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::TestServer;
using SteadyClock = std::chrono::steady_clock;

constexpr char kTarget[] = "C:\\velmorin\\VISADO75.txt";
constexpr char kOld[] = "old content that must survive";

std::string Bytes(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 7919 + i / 251) & 0xff);
  return s;
}

double Since(SteadyClock::time_point t) { return std::chrono::duration<double>(SteadyClock::now() - t).count(); }

struct Report {
  TransferProgressArgs args;
  double at;  // seconds since the start
};

struct Result {
  bool failed = false;
  std::string text;
  std::vector<Report> reports;
  double seconds = 0;
  double cancel_to_end = -1;  // seconds from the cancel to the return of StartTransfer
};

// A loopback socket that accepts nothing: its queue is full, so a connect to it hangs.
class BlackHole {
 public:
  BlackHole() {
    listener_ = Listen(0);
    filler_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Address(port_);
    ::connect(filler_, reinterpret_cast<sockaddr*>(&a), sizeof a);
  }
  ~BlackHole() {
    ::close(filler_);
    ::close(listener_);
  }
  int port() const { return port_; }

  static sockaddr_in Address(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
  }

 private:
  int Listen(int backlog) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Address(0);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd, backlog);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    return fd;
  }
  int listener_ = -1, filler_ = -1, port_ = 0;
};

// Accepts one connection, reads the request and resets the connection.
class Resetter {
 public:
  Resetter() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = BlackHole::Address(0);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listener_, 4);
    socklen_t len = sizeof a;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] {
      const int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      char buffer[4096];
      [[maybe_unused]] const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      const linger hard{1, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
      ::close(fd);
    });
  }
  ~Resetter() {
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
  }
  int port() const { return port_; }

 private:
  int listener_ = -1, port_ = 0;
  std::thread thread_;
};

class CurlDownloadTest : public ::testing::Test {
 protected:
  CurlDownloadTest() : fs_(dir_.path() / "drives"), server_({{"update", dir_.path() / "site"}}) {
    fs::create_directories(dir_.path() / "drives" / "C" / "velmorin");
    fs::create_directories(dir_.path() / "site");
    options_.connect_timeout_s = 1;
    options_.stall_timeout_s = 1;
  }

  void Serve(const std::string& name, const std::string& bytes) { dir_.Write("site/" + name, bytes); }
  fs::path Folder() const { return dir_.path() / "drives" / "C" / "velmorin"; }
  void PutOldTarget() { testing::WriteFileBytes(Folder() / "VISADO75.txt", kOld); }
  std::string Target() const { return testing::ReadFileBytes(Folder() / "VISADO75.txt"); }
  std::vector<std::string> FolderEntries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Folder())) names.push_back(e.path().filename().string());
    return names;
  }

  // Runs one transfer; `cancel_when` decides from each report whether to cancel.
  Result Download(const std::string& url, const std::string& target = kTarget,
                  std::function<bool(const TransferProgressArgs&, double)> cancel_when = nullptr) {
    Result r;
    auto control = MakeCurlDownloadFile(fs_, options_);
    control->SourceUrl = url;
    control->TargetPath = target;
    const auto start = SteadyClock::now();
    SteadyClock::time_point cancelled_at{};
    control->TransferProgress = [&](TransferProgressArgs& args) {
      r.reports.push_back({args, Since(start)});
      if (cancel_when && cancelled_at == SteadyClock::time_point{} && cancel_when(args, Since(start))) {
        args.Cancel = true;
        cancelled_at = SteadyClock::now();
      }
    };
    control->StartTransfer();
    r.seconds = Since(start);
    if (cancelled_at != SteadyClock::time_point{}) r.cancel_to_end = Since(cancelled_at);
    r.failed = control->TransferFailed();
    r.text = Utf8FromCp1252(control->ResultText());
    return r;
  }

  TempDir dir_;
  PosixFileSystem fs_;
  TestServer server_;
  DownloadOptions options_;
};

TEST_F(CurlDownloadTest, SuccessReplacesTheTargetAndReportsInOrder) {
  const std::string body = Bytes(600 * 1024);
  Serve("VISADO75.txt", body);
  server_.SetFaults("/VISADO75.txt rate 2000000\n");
  PutOldTarget();
  const Result r = Download(server_.Url("update", "/VISADO75.txt"));
  EXPECT_FALSE(r.failed);
  EXPECT_EQ(r.text, "OK");
  EXPECT_EQ(Target(), body);
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"VISADO75.txt"});

  ASSERT_GE(r.reports.size(), 4u);
  EXPECT_EQ(r.reports.front().args.State, 1);
  EXPECT_EQ(r.reports.front().args.BytesReceived, 0);
  const TransferProgressArgs& last = r.reports.back().args;
  EXPECT_EQ(last.State, 3);
  EXPECT_EQ(last.Percent, 100);
  EXPECT_EQ(last.BytesReceived, static_cast<int32_t>(body.size()));
  EXPECT_EQ(last.ElapsedSeconds, static_cast<int32_t>(r.reports.back().at));
  int previous_state = 1;
  double previous_percent = 0;
  for (size_t i = 0; i + 1 < r.reports.size(); ++i) {
    const TransferProgressArgs& a = r.reports[i].args;
    EXPECT_TRUE(a.State == 1 || a.State == 2) << i;
    EXPECT_GE(a.State, previous_state);
    EXPECT_GE(a.Percent, previous_percent);
    EXPECT_DOUBLE_EQ(a.Percent, 100.0 * a.BytesReceived / static_cast<double>(body.size()));
    if (a.State == 1) {
      EXPECT_EQ(a.BytesReceived, 0);
    }
    previous_state = a.State;
    previous_percent = a.Percent;
  }
  EXPECT_EQ(r.reports[r.reports.size() - 2].args.State, 2);
  // At most about 20 reports a second.
  EXPECT_LE(r.reports.size(), static_cast<size_t>(r.seconds * 20) + 3);

  const auto requests = server_.WaitForRequests(1);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
}

TEST_F(CurlDownloadTest, WithoutALengthPercentStaysZeroUntilTheEnd) {
  const std::string body = Bytes(300 * 1024);
  Serve("VISADO75.txt", body);
  server_.SetFaults("/VISADO75.txt chunked rate 1000000\n");
  const Result r = Download(server_.Url("update", "/VISADO75.txt"));
  EXPECT_EQ(r.text, "OK");
  EXPECT_EQ(Target(), body);
  int receiving = 0;
  for (size_t i = 0; i + 1 < r.reports.size(); ++i) {
    EXPECT_EQ(r.reports[i].args.Percent, 0);
    receiving += r.reports[i].args.State == 2 && r.reports[i].args.BytesReceived > 0;
  }
  EXPECT_GT(receiving, 0);
  EXPECT_EQ(r.reports.back().args.Percent, 100);
}

TEST_F(CurlDownloadTest, EmptyTargetFetchesAndDiscardsTheBody) {
  Serve("quenil.txt", Bytes(100000));
  const Result r = Download(server_.Url("update", "/quenil.txt"), "");
  EXPECT_FALSE(r.failed);
  EXPECT_EQ(r.text, "OK");
  EXPECT_TRUE(FolderEntries().empty());
  const auto requests = server_.WaitForRequests(1);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].bytes, 100000);
}

TEST_F(CurlDownloadTest, AnEmptyBodyIsACompleteTransfer) {
  Serve("VISADO75.txt", "");
  PutOldTarget();
  const Result r = Download(server_.Url("update", "/VISADO75.txt"));
  EXPECT_EQ(r.text, "OK");
  EXPECT_EQ(Target(), "");
  EXPECT_EQ(r.reports.back().args.Percent, 100);
}

struct FaultCase {
  const char* name;
  const char* faults;
  std::vector<std::string> words;  // the result text names these
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class CurlFaultTest : public CurlDownloadTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(CurlFaultTest, FailsNamingTheCauseAndKeepsTheOldTarget) {
  Serve("VISADO75.txt", Bytes(5000));
  server_.SetFaults(GetParam().faults);
  PutOldTarget();
  const Result r = Download(server_.Url("update", "/VISADO75.txt"));
  EXPECT_TRUE(r.failed);
  for (const auto& word : GetParam().words) EXPECT_NE(r.text.find(word), std::string::npos) << r.text;
  EXPECT_EQ(Target(), kOld);
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"VISADO75.txt"});
  EXPECT_EQ(r.reports.back().args.State, 3);
  EXPECT_LT(r.reports.back().args.Percent, 100);
  EXPECT_EQ(server_.WaitForRequests(1).size(), 1u);  // no retry
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CurlFaultTest,
    ::testing::Values(
        FaultCase{"NotFound", "/VISADO75.txt status 404", {"404", "archivo no encontrado", "VISADO75.txt"}},
        FaultCase{"ServerError", "/VISADO75.txt status 503", {"503", "VISADO75.txt"}},
        FaultCase{"Forbidden", "/VISADO75.txt status 403", {"403"}},
        FaultCase{"ClosedEarly", "/VISADO75.txt close-after 1000", {"1000 de 5000 bytes", "VISADO75.txt"}},
        FaultCase{"LengthTooLarge", "/VISADO75.txt extra-length 100", {"5000 de 5100 bytes"}},
        FaultCase{"ChunkedCut", "/VISADO75.txt chunked close-after 1000", {"se cerró tras 1000 bytes"}},
        FaultCase{"StallBeforeBody", "/VISADO75.txt stall-after 0 1.5", {"se detuvo", "1 segundo."}},
        FaultCase{"StallMidBody", "/VISADO75.txt stall-after 2000 1.5", {"se detuvo"}},
        FaultCase{"StallBeforeHeaders", "/VISADO75.txt delay 1.5", {"se detuvo"}}),
    [](const ::testing::TestParamInfo<FaultCase>& param_info) { return std::string(param_info.param.name); });

TEST_F(CurlDownloadTest, AStallShorterThanTheTimeoutIsWaitedOut) {
  const std::string body = Bytes(5000);
  Serve("VISADO75.txt", body);
  server_.SetFaults("/VISADO75.txt stall-after 2000 0.5\n");
  const Result r = Download(server_.Url("update", "/VISADO75.txt"));
  EXPECT_EQ(r.text, "OK");
  EXPECT_EQ(Target(), body);
  // Reports go on while nothing arrives.
  for (size_t i = 1; i < r.reports.size(); ++i) EXPECT_LT(r.reports[i].at - r.reports[i - 1].at, 0.6);
}

TEST_F(CurlDownloadTest, RefusedConnectionNamesTheHost) {
  int port = 0;
  {
    BlackHole closed;  // a port that was free a moment ago
    port = closed.port();
  }
  PutOldTarget();
  const Result r = Download("http://127.0.0.1:" + std::to_string(port) + "/VISADO75.txt");
  EXPECT_TRUE(r.failed);
  EXPECT_NE(r.text.find("127.0.0.1:" + std::to_string(port)), std::string::npos) << r.text;
  EXPECT_NE(r.text.find("conexión rechazada"), std::string::npos) << r.text;
  EXPECT_EQ(Target(), kOld);
  EXPECT_EQ(FolderEntries().size(), 1u);
}

TEST_F(CurlDownloadTest, ResetConnectionIsAFailure) {
  Resetter resetter;
  PutOldTarget();
  const Result r = Download("http://127.0.0.1:" + std::to_string(resetter.port()) + "/VISADO75.txt");
  EXPECT_TRUE(r.failed);
  EXPECT_NE(r.text.find("restablecida"), std::string::npos) << r.text;
  EXPECT_EQ(Target(), kOld);
  EXPECT_EQ(FolderEntries().size(), 1u);
}

TEST_F(CurlDownloadTest, UnresolvableHostIsAFailure) {
  PutOldTarget();
  const Result r = Download("http://servidor-inexistente.invalid/VISADO75.txt");
  EXPECT_TRUE(r.failed);
  EXPECT_NE(r.text.find("servidor-inexistente.invalid"), std::string::npos) << r.text;
  EXPECT_EQ(Target(), kOld);
}

TEST_F(CurlDownloadTest, NoConnectionWithinTheTimeoutIsAFailure) {
  BlackHole hole;
  PutOldTarget();
  const Result r = Download("http://127.0.0.1:" + std::to_string(hole.port()) + "/VISADO75.txt");
  EXPECT_TRUE(r.failed);
  EXPECT_NE(r.text.find("no hubo respuesta en 1 segundo."), std::string::npos) << r.text;
  EXPECT_NEAR(r.seconds, 1.0, 0.5);
  EXPECT_EQ(Target(), kOld);
  for (const auto& report : r.reports) {
    if (report.args.State != 3) {
      EXPECT_EQ(report.args.State, 1);
    }
  }
}

TEST_F(CurlDownloadTest, ARedirectToADeadHostTimesOutAsAConnect) {
  BlackHole hole;
  options_.stall_timeout_s = 0.3;
  server_.SetFaults("/VISADO75.txt redirect http://127.0.0.1:" + std::to_string(hole.port()) + "/x\n");
  const Result r = Download(server_.Url("update", "/VISADO75.txt"));
  EXPECT_TRUE(r.failed);
  EXPECT_NE(r.text.find("No se pudo conectar con el servidor 127.0.0.1:" + std::to_string(hole.port())),
            std::string::npos)
      << r.text;
}

TEST_F(CurlDownloadTest, MissingDestinationFolderIsNamedAndNothingIsFetched) {
  Serve("VISADO75.txt", "data");
  const Result r = Download(server_.Url("update", "/VISADO75.txt"), "C:\\velmorin\\nada\\VISADO75.txt");
  EXPECT_TRUE(r.failed);
  EXPECT_EQ(r.text, "No existe la carpeta de destino C:\\velmorin\\nada.");
  EXPECT_FALSE(fs::exists(Folder() / "nada"));
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(CurlDownloadTest, OnlyHttpAndHttpsAreFetched) {
  PutOldTarget();
  const fs::path secret = dir_.Write("secret.txt", "local file");
  const Result r = Download("file://" + secret.string());
  EXPECT_TRUE(r.failed);
  EXPECT_NE(r.text.find("no es válida"), std::string::npos) << r.text;
  EXPECT_EQ(Target(), kOld);
}

TEST_F(CurlDownloadTest, ATargetThatIsAFolderFailsBeforeFetching) {
  Serve("VISADO75.txt", "data");
  const Result r = Download(server_.Url("update", "/VISADO75.txt"), "C:\\velmorin");
  EXPECT_TRUE(r.failed);
  EXPECT_NE(r.text.find("es una carpeta"), std::string::npos) << r.text;
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(CurlDownloadTest, FollowsFiveRedirectsButNotSix) {
  const std::string body = Bytes(3000);
  Serve("final.txt", body);
  server_.SetFaults(
      "/r1 redirect /r2\n/r2 redirect /r3\n/r3 redirect /r4\n/r4 redirect /r5\n"
      "/r5 redirect /r6\n/r6 redirect /final.txt\n");
  PutOldTarget();
  const Result five = Download(server_.Url("update", "/r2"));
  EXPECT_EQ(five.text, "OK");
  EXPECT_EQ(Target(), body);
  EXPECT_EQ(server_.WaitForRequests(6).size(), 6u);

  PutOldTarget();
  const Result six = Download(server_.Url("update", "/r1"));
  EXPECT_TRUE(six.failed);
  EXPECT_NE(six.text.find("Demasiadas redirecciones"), std::string::npos) << six.text;
  EXPECT_EQ(Target(), kOld);
  EXPECT_EQ(FolderEntries().size(), 1u);
  const auto requests = server_.WaitForRequests(12);
  ASSERT_EQ(requests.size(), 12u);  // r1..r6, and never final.txt
  EXPECT_EQ(requests.back().path, "/r6");
}

// Each cancel case: when to cancel, and what the server does meanwhile.
struct CancelCase {
  const char* name;
  const char* faults;
  std::function<bool(const TransferProgressArgs&, double)> when;
};

void PrintTo(const CancelCase& c, std::ostream* os) { *os << c.name; }

class CurlCancelTest : public CurlDownloadTest, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(CurlCancelTest, StopsWithinASecondAndKeepsTheOldTarget) {
  options_.stall_timeout_s = 30;
  options_.connect_timeout_s = 15;
  Serve("VISADO75.txt", Bytes(4 * 1024 * 1024));
  server_.SetFaults(GetParam().faults);
  PutOldTarget();
  const Result r = Download(server_.Url("update", "/VISADO75.txt"), kTarget, GetParam().when);
  EXPECT_FALSE(r.failed);
  EXPECT_EQ(r.text, "Descarga cancelada por el usuario.");
  ASSERT_GE(r.cancel_to_end, 0);
  EXPECT_LT(r.cancel_to_end, 1.0);
  EXPECT_EQ(Target(), kOld);
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"VISADO75.txt"});
}

INSTANTIATE_TEST_SUITE_P(
    Cancels, CurlCancelTest,
    ::testing::Values(
        CancelCase{"AtFirstReport", "", [](const TransferProgressArgs&, double) { return true; }},
        CancelCase{"WhileReceiving", "/VISADO75.txt rate 500000",
                   [](const TransferProgressArgs& a, double) { return a.BytesReceived > 100000; }},
        CancelCase{"WhileStalled", "/VISADO75.txt stall-after 1000 20",
                   [](const TransferProgressArgs& a, double at) { return a.BytesReceived == 1000 && at > 0.5; }},
        CancelCase{"BeforeHeaders", "/VISADO75.txt delay 20",
                   [](const TransferProgressArgs&, double at) { return at > 0.5; }}),
    [](const ::testing::TestParamInfo<CancelCase>& param_info) { return std::string(param_info.param.name); });

TEST_F(CurlDownloadTest, ACancelAtTheFirstReportSendsNoRequest) {
  Serve("VISADO75.txt", "data");
  const Result r = Download(server_.Url("update", "/VISADO75.txt"), kTarget,
                            [](const TransferProgressArgs&, double) { return true; });
  EXPECT_EQ(r.text, "Descarga cancelada por el usuario.");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(CurlDownloadTest, CancelWhileConnecting) {
  options_.connect_timeout_s = 15;
  BlackHole hole;
  const Result r = Download("http://127.0.0.1:" + std::to_string(hole.port()) + "/VISADO75.txt", kTarget,
                            [](const TransferProgressArgs&, double at) { return at > 0.3; });
  EXPECT_FALSE(r.failed);
  EXPECT_EQ(r.text, "Descarga cancelada por el usuario.");
  EXPECT_LT(r.cancel_to_end, 1.0);
  EXPECT_LT(r.seconds, 2.0);
  EXPECT_TRUE(FolderEntries().empty());
}

// HTTPS with a certificate made for the test: refused unless trusted, then fetched.
TEST_F(CurlDownloadTest, HttpsVerifiesTheCertificate) {
  const fs::path cert = dir_.path() / "cert.pem", key = dir_.path() / "key.pem";
  const std::string make_cert =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
      "-addext subjectAltName=IP:127.0.0.1 -keyout " + key.string() + " -out " + cert.string() + " 2>/dev/null";
  if (std::system(make_cert.c_str()) != 0) GTEST_SKIP() << "openssl cannot make a certificate here";
  TestServer tls({{"secure", dir_.path() / "site", true}}, cert.string(), key.string());
  const std::string body = Bytes(70000);
  Serve("VISADO75.txt", body);
  PutOldTarget();

  const Result untrusted = Download(tls.Url("secure", "/VISADO75.txt"));
  EXPECT_TRUE(untrusted.failed);
  EXPECT_NE(untrusted.text.find("certificado"), std::string::npos) << untrusted.text;
  EXPECT_EQ(Target(), kOld);

  options_.ca_file = cert.string();
  const Result trusted = Download(tls.Url("secure", "/VISADO75.txt"));
  EXPECT_EQ(trusted.text, "OK");
  EXPECT_EQ(Target(), body);
}

TEST_F(CurlDownloadTest, OneServerServesSeveralSitesWithTheirOwnFaults) {
  dir_.Write("coop/documentos/quenil.txt", "coop list");
  TestServer two({{"update", dir_.path() / "site"}, {"coop", dir_.path() / "coop"}});
  Serve("documentos/quenil.txt", "update list");
  two.SetFaults("coop /documentos/* status 404\n");
  EXPECT_NE(two.Port("update"), two.Port("coop"));
  EXPECT_EQ(Download(two.Url("update", "/documentos/quenil.txt")).text, "OK");
  EXPECT_EQ(Target(), "update list");
  EXPECT_TRUE(Download(two.Url("coop", "/documentos/quenil.txt")).failed);
  two.SetFaults("");
  EXPECT_EQ(Download(two.Url("coop", "/documentos/quenil.txt")).text, "OK");
  EXPECT_EQ(Target(), "coop list");
  const auto log = two.WaitForRequests(3);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].site + " " + std::to_string(log[0].status), "update 200");
  EXPECT_EQ(log[1].site + " " + std::to_string(log[1].status), "coop 404");
  EXPECT_EQ(log[2].site + " " + log[2].path + " " + std::to_string(log[2].bytes), "coop /documentos/quenil.txt 9");
}

TEST(DownloadOptionsTest, EnvironmentShortensTheTimeouts) {
  ::setenv("VELMORIN_CONNECT_TIMEOUT", "2.5", 1);
  ::setenv("VELMORIN_STALL_TIMEOUT", "abc", 1);
  const DownloadOptions options = DownloadOptionsFromEnvironment();
  ::unsetenv("VELMORIN_CONNECT_TIMEOUT");
  ::unsetenv("VELMORIN_STALL_TIMEOUT");
  EXPECT_EQ(options.connect_timeout_s, 2.5);
  EXPECT_EQ(options.stall_timeout_s, 30);  // not a number: the default stays
}

}  // namespace
}  // namespace velmorin::platform
