// The WinINet download control against the loopback test server: success and every failure
// the Linux control knows, each leaving the old target intact and no temporary file behind.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <sstream>
#include <vector>

#include "common/cp1252.h"
#include "platform/win32/win32_download_file.h"
#include "platform/win32/win32_file_system_fixture.h"
#include "platform/win32/wine_test_env.h"
#include "support/temp_dir.h"

namespace velmorin {
namespace {

namespace fs = std::filesystem;
using platform::TransferProgressArgs;
using testing::ReadFileBytes;
using testing::WineTestEnv;

constexpr char kTarget[] = "C:\\velmorin\\target.txt";

struct Result {
  bool failed = false;
  std::string text;
  std::vector<TransferProgressArgs> reports;
  double seconds = 0;
};

std::string Body(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  return bytes;
}

// The request log's lines for one path.
int RequestsFor(const std::string& log, const std::string& path) {
  std::istringstream lines(log);
  int n = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.find("\tGET\t" + path + "\t") != std::string::npos) ++n;
  }
  return n;
}

class WinInetDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.SetFaults("");
    fs::create_directories("C:\\velmorin");
    testing::WriteFileBytes(kTarget, "old content");
  }

  // Runs one transfer; `cancel_when` decides from each report whether to cancel.
  Result Fetch(const std::string& url, const std::string& target,
               std::function<bool(const TransferProgressArgs&)> cancel_when = nullptr) {
    auto control = platform::MakeWinInetDownloadFile(options_);
    Result result;
    control->SourceUrl = url;
    control->TargetPath = target;
    control->TransferProgress = [&](TransferProgressArgs& args) {
      if (cancel_when && cancel_when(args)) args.Cancel = true;
      result.reports.push_back(args);
    };
    const auto start = std::chrono::steady_clock::now();
    control->StartTransfer();
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.failed = control->TransferFailed();
    result.text = control->ResultText();
    return result;
  }

  // The target kept its old content and no temporary file was left beside it.
  static void ExpectTargetUntouched() {
    EXPECT_EQ(ReadFileBytes(kTarget), "old content");
    ExpectNothingLeftBeside();
  }

  static void ExpectNothingLeftBeside() {
    for (const auto& entry : fs::directory_iterator("C:\\velmorin")) {
      EXPECT_EQ(entry.path().filename(), "target.txt") << "left behind";
    }
  }

  testing::Win32Fixture fixture_;
  const WineTestEnv& env_ = WineTestEnv::Get();
  platform::DownloadOptions options_{.connect_timeout_s = 3, .stall_timeout_s = 2};
};

TEST_F(WinInetDownloadTest, CompleteTransferReplacesTheTargetWithOneRequest) {
  const std::string body = Body(300000);
  env_.Serve("/files/VISADO75.txt", body);
  const Result r = Fetch(env_.Url("/files/VISADO75.txt"), kTarget);
  EXPECT_FALSE(r.failed);
  EXPECT_EQ(r.text, "OK");
  EXPECT_EQ(ReadFileBytes(kTarget), body);
  ExpectNothingLeftBeside();
  EXPECT_EQ(RequestsFor(env_.RequestLog(), "/files/VISADO75.txt"), 1);
}

TEST_F(WinInetDownloadTest, ReportsGoFromConnectingToReceivingToALastCompleteOne) {
  env_.Serve("/slow.bin", Body(150000));
  env_.SetFaults("/slow.bin rate 100000\n");
  const Result r = Fetch(env_.Url("/slow.bin"), kTarget);
  ASSERT_EQ(r.text, "OK");
  ASSERT_GE(r.reports.size(), 3u);
  EXPECT_EQ(r.reports.front().State, 1);
  EXPECT_EQ(r.reports.front().BytesReceived, 0);
  const TransferProgressArgs& last = r.reports.back();
  EXPECT_EQ(last.State, 3);
  EXPECT_EQ(last.Percent, 100);
  EXPECT_EQ(last.BytesReceived, 150000);
  EXPECT_GE(last.ElapsedSeconds, 1);
  bool partial = false;
  for (size_t i = 1; i < r.reports.size(); ++i) {
    const TransferProgressArgs& a = r.reports[i];
    EXPECT_GE(a.State, r.reports[i - 1].State);
    EXPECT_GE(a.BytesReceived, r.reports[i - 1].BytesReceived);
    EXPECT_NEAR(a.Percent, a.State == 3 ? 100 : 100.0 * a.BytesReceived / 150000, 1e-9);
    partial = partial || (a.State == 2 && a.Percent > 0 && a.Percent < 100);
  }
  EXPECT_TRUE(partial);
  EXPECT_LE(r.reports.size(), r.seconds * 20 + 5) << "at most about 20 reports a second";
}

struct FailureCase {
  const char* name;
  const char* faults;   // rule for /f.txt
  const char* expect;   // part of the result text
};

class WinInetFailureTest : public WinInetDownloadTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(WinInetFailureTest, FailsWithTheCauseAndKeepsTheOldTarget) {
  env_.Serve("/f.txt", Body(200000));
  env_.SetFaults(std::string("/f.txt ") + GetParam().faults + "\n");
  const Result r = Fetch(env_.Url("/f.txt"), kTarget);
  EXPECT_TRUE(r.failed);
  EXPECT_NE(r.text.find(Ansi(GetParam().expect)), std::string::npos) << Utf8FromCp1252(r.text);
  EXPECT_LT(r.seconds, 8);
  EXPECT_EQ(r.reports.back().State, 3);
  ExpectTargetUntouched();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, WinInetFailureTest,
    ::testing::Values(FailureCase{"NotFound", "status 404", "respondió 404 al pedir f.txt"},
                      FailureCase{"ServerError", "status 500", "respondió 500"},
                      FailureCase{"ClosedEarly", "close-after 70000", "f.txt"},
                      FailureCase{"ShortBody", "extra-length 5000", "llegaron 200000 de 205000 bytes"},
                      FailureCase{"Stall", "stall-after 70000 20", "no llegó ningún dato en 2 segundos"},
                      FailureCase{"NoHeaders", "delay 20", "no respondió en 2 segundos"},
                      FailureCase{"RedirectToNowhere", "redirect /missing.txt", "respondió 404"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(WinInetDownloadTest, RefusedConnectionNamesTheHost) {
  const Result r = Fetch(env_.DeadUrl("/f.txt"), kTarget);
  EXPECT_TRUE(r.failed);
  const std::string host = env_.DeadUrl("").substr(7);
  EXPECT_EQ(r.text.rfind(Ansi("No se pudo conectar con ") + host + ": ", 0), 0u) << Utf8FromCp1252(r.text);
  ExpectTargetUntouched();
}

TEST_F(WinInetDownloadTest, FollowsFiveRedirectsButNotSix) {
  env_.Serve("/final.txt", "final");
  std::string rules;
  for (int i = 1; i <= 6; ++i) {
    rules += "/r" + std::to_string(i) + " redirect /r" + std::to_string(i + 1) + "\n";
  }
  rules += "/r7 redirect " + env_.Url("/final.txt") + "\n";
  env_.SetFaults(rules);
  const Result five = Fetch(env_.Url("/r3"), kTarget);
  EXPECT_EQ(five.text, "OK");
  EXPECT_EQ(ReadFileBytes(kTarget), "final");
  testing::WriteFileBytes(kTarget, "old content");
  const Result six = Fetch(env_.Url("/r2"), kTarget);
  EXPECT_TRUE(six.failed);
  EXPECT_NE(six.text.find("redirecciones"), std::string::npos) << Utf8FromCp1252(six.text);
  ExpectTargetUntouched();
}

TEST_F(WinInetDownloadTest, CancelWhileReceivingStopsSoonAndKeepsTheOldTarget) {
  env_.Serve("/big.bin", Body(2000000));
  env_.SetFaults("/big.bin rate 200000\n");
  const Result r = Fetch(env_.Url("/big.bin"), kTarget, [](const auto& a) { return a.BytesReceived > 0; });
  EXPECT_FALSE(r.failed);
  EXPECT_EQ(r.text, Ansi("Descarga cancelada por el usuario."));
  EXPECT_LT(r.seconds, 3);
  ExpectTargetUntouched();
}

TEST_F(WinInetDownloadTest, ReportsKeepComingWhileNothingArrivesSoACancelLands) {
  env_.Serve("/late.txt", "late");
  env_.SetFaults("/late.txt delay 20\n");
  const Result r = Fetch(env_.Url("/late.txt"), kTarget, [](const auto& a) { return a.State == 1; });
  EXPECT_FALSE(r.failed);
  EXPECT_EQ(r.text, Ansi("Descarga cancelada por el usuario."));
  // Windows ends the blocked call when its handle closes; Wine only at the receive timeout.
  EXPECT_LT(r.seconds, options_.stall_timeout_s + 2);
  EXPECT_GE(r.reports.size(), 3u);
  ExpectTargetUntouched();
}

TEST_F(WinInetDownloadTest, MissingDestinationFolderFailsNamingIt) {
  env_.Serve("/f.txt", "x");
  const Result r = Fetch(env_.Url("/f.txt"), "C:\\velmorin\\nofolder\\f.txt");
  EXPECT_TRUE(r.failed);
  EXPECT_NE(r.text.find("C:\\velmorin\\nofolder"), std::string::npos) << Utf8FromCp1252(r.text);
  ExpectTargetUntouched();
}

TEST_F(WinInetDownloadTest, EmptyTargetFetchesAndDiscards) {
  env_.Serve("/documentos/quenil.txt", Body(1000));
  const Result r = Fetch(env_.Url("/documentos/quenil.txt"), "");
  EXPECT_EQ(r.text, "OK");
  EXPECT_EQ(RequestsFor(env_.RequestLog(), "/documentos/quenil.txt"), 1);
  ExpectTargetUntouched();
}

TEST_F(WinInetDownloadTest, TargetHeldOpenByAnotherProgramIsOverwrittenInPlace) {
  const std::string body = Body(100000);
  env_.Serve("/f.txt", body);
  // The back-office program's handle: read/write sharing but no delete sharing, so the
  // temporary file cannot be renamed over the target.
  const HANDLE other = ::CreateFileW(L"C:\\velmorin\\target.txt", GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  const Result r = Fetch(env_.Url("/f.txt"), kTarget);
  EXPECT_EQ(r.text, "OK");
  std::string seen(body.size() + 10, '\0');
  DWORD read = 0;
  ASSERT_TRUE(::ReadFile(other, seen.data(), static_cast<DWORD>(seen.size()), &read, nullptr));
  ::CloseHandle(other);
  EXPECT_EQ(seen.substr(0, read), body);
  ExpectNothingLeftBeside();
}

TEST_F(WinInetDownloadTest, InvalidAddressFailsWithoutARequest) {
  const Result r = Fetch("ftp://127.0.0.1/x", kTarget);
  EXPECT_TRUE(r.failed);
  EXPECT_NE(r.text.find("ftp://127.0.0.1/x"), std::string::npos);
  ExpectTargetUntouched();
}

}  // namespace
}  // namespace velmorin
