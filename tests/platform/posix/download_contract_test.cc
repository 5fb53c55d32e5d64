// The download control's contract on Linux: over the in-memory site, and with libcurl
// against the loopback test server.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "download/download_contract.h"
#include "download/fake_backend.h"
#include "platform/posix/curl_transport.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_download_files.h"
#include "support/loopback_ports.h"
#include "support/test_server.h"

namespace velmorin::test_support {
namespace {

namespace fs = std::filesystem;

class HeldFd : public HeldFile {
 public:
  explicit HeldFd(const fs::path& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~HeldFd() override { ::close(fd_); }
  std::string ReadAll() override {
    std::string bytes(1 << 20, '\0');
    const ssize_t n = ::pread(fd_, bytes.data(), bytes.size(), 0);
    bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return bytes;
  }

 private:
  int fd_;
};

// Drive C: of a pharmacy in a temporary folder.
class PosixDisk {
 public:
  // Linux lets a file in use be replaced: the holder keeps reading the old one.
  static constexpr bool kTargetsHeldOpenAreWrittenInPlace = false;

  PosixDisk() : fs_(dir_.path() / "drives"), files_(platform::MakePosixDownloadFiles(fs_)) {
    fs::create_directories(Folder());
    fs::create_directories(dir_.path() / "site");
  }
  std::string Target() const { return "C:\\velmorin\\VISADO75.txt"; }
  fs::path Folder() const { return dir_.path() / "drives" / "C" / "velmorin"; }
  platform::DownloadFiles& Files() { return *files_; }
  platform::Clock& Clock() { return *clock_; }
  std::unique_ptr<platform::DownloadFiles> OtherFiles() { return platform::MakePosixDownloadFiles(fs_); }
  std::unique_ptr<HeldFile> Hold(const fs::path& path) { return std::make_unique<HeldFd>(path); }

 protected:
  TempDir dir_;
  platform::PosixFileSystem fs_;
  std::unique_ptr<platform::DownloadFiles> files_;
  std::unique_ptr<platform::Clock> clock_ = platform::MakePosixClock();
};

// A certificate made on the spot for 127.0.0.1, in PEM files; empty when openssl cannot.
struct Certificate {
  std::string cert, key;
};

Certificate MakeCertificate(const TempDir& dir, const std::string& name) {
  const fs::path cert = dir.path() / (name + ".pem"), key = dir.path() / (name + ".key");
  const std::string command =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
      "-addext subjectAltName=IP:127.0.0.1 -keyout " +
      key.string() + " -out " + cert.string() + " 2>/dev/null";
  if (std::system(command.c_str()) != 0) return {};
  return {cert.string(), key.string()};
}

class CurlBackend : public PosixDisk {
 public:
  static constexpr bool kSeesACutChunkedBody = true;

  CurlBackend() : server_({{"update", dir_.path() / "site"}}) {}

  void Serve(const std::string& path, const std::string& bytes) { dir_.Write("site" + path, bytes); }
  void SetFaults(const std::string& rules) { server_.SetFaults(rules); }
  std::string Url(const std::string& path) const { return server_.Url("update", path); }
  std::string RefusedUrl(const std::string& path) const { return closed_.Url() + path; }
  std::string SilentUrl(const std::string& path) const { return hole_.Url() + path; }
  // Two servers of the same folder: one whose certificate the transport trusts, one not.
  std::string HttpsUrl(const std::string& path, bool trusted) {
    if (!tls_[0]) {
      const Certificate good = MakeCertificate(dir_, "trusted"), bad = MakeCertificate(dir_, "untrusted");
      if (good.cert.empty() || bad.cert.empty()) return "";
      ca_file_ = good.cert;
      tls_[0] = std::make_unique<TestServer>(std::vector<TestServer::Site>{{"secure", dir_.path() / "site", true}},
                                             good.cert, good.key);
      tls_[1] = std::make_unique<TestServer>(std::vector<TestServer::Site>{{"secure", dir_.path() / "site", true}},
                                             bad.cert, bad.key);
    }
    return tls_[trusted ? 0 : 1]->Url("secure", path);
  }
  std::vector<std::string> Requests(size_t count) const {
    std::vector<std::string> lines;
    for (const auto& r : count == 0 ? server_.Requests() : server_.WaitForRequests(count)) {
      lines.push_back(r.path + " " + std::to_string(r.status));
    }
    return lines;
  }
  TransportFactory Transports() {
    return [this] { return platform::MakeCurlTransport(ca_file_); };
  }

 private:
  TestServer server_;
  ClosedPort closed_;
  BlackHole hole_;
  std::unique_ptr<TestServer> tls_[2];
  std::string ca_file_;
};

using Fake = FakeBackend<PosixDisk>;
INSTANTIATE_TYPED_TEST_SUITE_P(Fake, DownloadContract, Fake);
INSTANTIATE_TYPED_TEST_SUITE_P(Curl, DownloadContract, CurlBackend);

TEST(TestServerSites, OneServerServesSeveralSitesWithTheirOwnFaults) {
  CurlBackend disk;
  TempDir dir;
  dir.Write("update/documentos/quenil.txt", "update list");
  dir.Write("coop/documentos/quenil.txt", "coop list");
  TestServer two({{"update", dir.path() / "update"}, {"coop", dir.path() / "coop"}});
  two.SetFaults("coop /documentos/* status 404\n");
  EXPECT_NE(two.Port("update"), two.Port("coop"));
  auto fetch = [&](const std::string& url) {
    auto control = MakeDownloadControl(disk.Transports(), disk.Files(), disk.Clock());
    control->SourceUrl = url;
    control->TargetPath = disk.Target();
    control->StartTransfer();
    return control->ResultText();
  };
  EXPECT_EQ(fetch(two.Url("update", "/documentos/quenil.txt")), "OK");
  EXPECT_EQ(ReadFileBytes(disk.Folder() / "VISADO75.txt"), "update list");
  EXPECT_NE(fetch(two.Url("coop", "/documentos/quenil.txt")), "OK");
  two.SetFaults("");
  EXPECT_EQ(fetch(two.Url("coop", "/documentos/quenil.txt")), "OK");
  EXPECT_EQ(ReadFileBytes(disk.Folder() / "VISADO75.txt"), "coop list");
  const auto log = two.WaitForRequests(3);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].site + " " + std::to_string(log[0].status), "update 200");
  EXPECT_EQ(log[1].site + " " + std::to_string(log[1].status), "coop 404");
  EXPECT_EQ(log[2].site + " " + log[2].path + " " + std::to_string(log[2].bytes), "coop /documentos/quenil.txt 9");
}

// The room on a real drive of 80 MiB (a tmpfs: mounting one needs root), by libcurl.
TEST(PosixRoom, A20MegabyteBodyFailsAtOnceOnADriveWith80) {
  CurlBackend disk;
  const fs::path small = disk.Folder() / "small";
  fs::create_directories(small);
  if (std::system(("mount -t tmpfs -o size=80m tmpfs " + small.string()).c_str()) != 0) GTEST_SKIP() << "no tmpfs";
  disk.Serve("/big.bin", std::string(20 << 20, 'x'));
  auto control = MakeDownloadControl(disk.Transports(), disk.Files(), disk.Clock());
  control->SourceUrl = disk.Url("/big.bin");
  control->TargetPath = "C:\\velmorin\\small\\big.bin";
  control->StartTransfer();
  EXPECT_EQ(control->ResultText(),
            "No se pudo guardar C:\\velmorin\\small\\big.bin: disco lleno; se necesitan 84 MB libres.");
  EXPECT_TRUE(fs::is_empty(small));
  EXPECT_EQ(std::system(("umount " + small.string()).c_str()), 0);
}

}  // namespace
}  // namespace velmorin::test_support
