// The download control's contract on Windows, under Wine: over the in-memory site, and with
// WinINet against the loopback test server that tools/wine/run-test.sh starts.
#include <windows.h>

#include <sstream>

#include "download/download_contract.h"
#include "download/fake_backend.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_download_files.h"
#include "platform/win32/wine_test_env.h"
#include "platform/win32/wininet_transport.h"
#include "support/loopback_ports.h"

namespace velmorin::test_support {
namespace {

namespace fs = std::filesystem;

// A handle as the back-office program or a scanner holds one: read and write shared, delete not.
class HeldHandle : public HeldFile {
 public:
  explicit HeldHandle(const fs::path& path)
      : handle_(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr)) {}
  ~HeldHandle() override {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
  }
  std::string ReadAll() override {
    std::string bytes(1 << 20, '\0');
    DWORD got = 0;
    ::SetFilePointer(handle_, 0, nullptr, FILE_BEGIN);
    if (!::ReadFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) got = 0;
    bytes.resize(got);
    return bytes;
  }

 private:
  HANDLE handle_;
};

// The scratch drive F: of run-test.sh.
class Win32Disk {
 public:
  // Windows refuses to replace a file another program holds open: it is written in place.
  static constexpr bool kTargetsHeldOpenAreWrittenInPlace = true;

  Win32Disk() : files_(platform::MakeWin32DownloadFiles()) {
    WineTestEnv::Get();
    fs::remove_all(Folder());
    fs::create_directories(Folder());
  }
  std::string Target() const { return "F:\\velmorin\\VISADO75.txt"; }
  fs::path Folder() const { return "F:\\velmorin"; }
  platform::DownloadFiles& Files() { return *files_; }
  platform::Clock& Clock() { return *clock_; }
  std::unique_ptr<platform::DownloadFiles> OtherFiles() { return platform::MakeWin32DownloadFiles(); }
  std::unique_ptr<HeldFile> Hold(const fs::path& path) { return std::make_unique<HeldHandle>(path); }

 private:
  std::unique_ptr<platform::DownloadFiles> files_;
  std::unique_ptr<platform::Clock> clock_ = platform::MakeWin32Clock();
};

class WinInetBackend : public Win32Disk {
 public:
  // Wine's WinINet takes a chunked body cut before its last chunk for a complete one.
  static constexpr bool kSeesACutChunkedBody = false;

  WinInetBackend() : earlier_requests_(Log().size()) {}
  void Serve(const std::string& path, const std::string& bytes) const { env_.Serve(path, bytes); }
  void SetFaults(const std::string& rules) const { env_.SetFaults(rules); }
  std::string Url(const std::string& path) const { return env_.Url(path); }
  std::string RefusedUrl(const std::string& path) const { return closed_.Url() + path; }
  std::string SilentUrl(const std::string& path) const { return hole_.Url() + path; }
  std::string HttpsUrl(const std::string& path, bool trusted) const { return env_.HttpsUrl(path, trusted); }
  // This test's "PATH STATUS" pairs in the request log, once there are `count` (or after a
  // few seconds): the log is the whole program's.
  std::vector<std::string> Requests(size_t count) const {
    std::vector<std::string> lines = Log();
    for (int i = 0; i < 500 && lines.size() < earlier_requests_ + count; ++i) {
      ::Sleep(10);
      lines = Log();
    }
    return {lines.begin() + static_cast<std::ptrdiff_t>(std::min(earlier_requests_, lines.size())), lines.end()};
  }
  TransportFactory Transports() {
    return [] { return platform::MakeWinInetTransport(5); };
  }

 private:
  std::vector<std::string> Log() const {
    std::vector<std::string> lines;
    std::istringstream log(env_.RequestLog());
    for (std::string site, method, path, status, bytes; log >> site >> method >> path >> status >> bytes;) {
      lines.push_back(path + " " + status);
    }
    return lines;
  }

  const WineTestEnv& env_ = WineTestEnv::Get();
  size_t earlier_requests_;
  ClosedPort closed_;
  BlackHole hole_;
};

using Fake = FakeBackend<Win32Disk>;
INSTANTIATE_TYPED_TEST_SUITE_P(Fake, DownloadContract, Fake);
INSTANTIATE_TYPED_TEST_SUITE_P(WinInet, DownloadContract, WinInetBackend);

}  // namespace
}  // namespace velmorin::test_support
