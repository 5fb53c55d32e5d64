// The download control's contract, one suite for every transport (the in-memory fake,
// libcurl, WinINet under Wine): results and their texts, progress reports, every deadline,
// cancels in every phase, retries and resumes, and how the target is replaced. Each
// instantiation supplies a Backend: a site (Serve, SetFaults, Url, RefusedUrl, SilentUrl,
// HttpsUrl, Requests, Transports), its clock (Clock: a fake one for the in-memory site, where
// no test waits in real time) and a disk (Target, Folder, Files, OtherFiles, Hold).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/cp1252.h"
#include "download/download_control.h"
#include "support/temp_dir.h"

namespace velmorin::test_support {

inline constexpr char kOldContent[] = "old content that must survive";

inline std::string Bytes(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  return s;
}

struct TimedReport {
  platform::TransferProgressArgs args;
  double at;  // seconds since the start
};

struct Fetched {
  bool failed = false;
  std::string text;  // UTF-8
  std::vector<TimedReport> reports;
  std::vector<std::string> report_lines;  // UTF-8
  double seconds = 0;
  double cancel_to_end = -1;  // from the cancel to the return of StartTransfer
};

// A file held open by another program (the back-office program, a scanner), as a disk's
// Hold gives it.
class HeldFile {
 public:
  virtual ~HeldFile() = default;
  // What that program reads through its own handle.
  virtual std::string ReadAll() = 0;
};

// Decides from each report (and the seconds since the start) whether to cancel.
using CancelWhen = std::function<bool(const platform::TransferProgressArgs&, double)>;

template <class Backend>
class DownloadContract : public testing::Test {
 protected:
  DownloadContract() {
    options_.connect_timeout_s = 1;
    options_.stall_timeout_s = 1;
    options_.attempts = 1;  // the retry cases ask for more
    backend_.SetFaults("");
  }

  Fetched Fetch(const std::string& url, const std::string& target, CancelWhen cancel_when = nullptr,
                std::function<void(const platform::TransferProgressArgs&)> also = nullptr) {
    Fetched r;
    platform::Clock& clock = backend_.Clock();
    auto control = MakeDownloadControl(backend_.Transports(), backend_.Files(), clock, options_);
    control->SourceUrl = url;
    control->TargetPath = target;
    control->CheckDownload = check_;
    const double start = clock.SteadySeconds();
    double cancelled_at = -1;
    control->TransferProgress = [&](platform::TransferProgressArgs& args) {
      r.reports.push_back({args, clock.SteadySeconds() - start});
      if (also) also(args);
      if (cancel_when && cancelled_at < 0 && cancel_when(args, r.reports.back().at)) {
        args.Cancel = true;
        cancelled_at = clock.SteadySeconds();
      }
    };
    control->ReportLine = [&](const std::string& line) { r.report_lines.push_back(Utf8FromCp1252(line)); };
    control->StartTransfer();
    r.seconds = clock.SteadySeconds() - start;
    if (cancelled_at >= 0) r.cancel_to_end = clock.SteadySeconds() - cancelled_at;
    r.failed = control->TransferFailed();
    r.text = Utf8FromCp1252(control->ResultText());
    return r;
  }
  Fetched Fetch(const std::string& url, CancelWhen cancel_when = nullptr) {
    return Fetch(url, backend_.Target(), std::move(cancel_when));
  }

  std::filesystem::path TargetFile() { return backend_.Folder() / "VISADO75.txt"; }
  void PutOldTarget() { WriteFileBytes(TargetFile(), kOldContent); }
  std::string TargetBytes() { return ReadFileBytes(TargetFile()); }
  std::vector<std::string> Entries() {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(backend_.Folder())) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  // The old target is intact and nothing was left beside it.
  void ExpectOldTargetAlone() {
    EXPECT_EQ(TargetBytes(), kOldContent);
    EXPECT_EQ(Entries(), std::vector<std::string>{"VISADO75.txt"});
  }
  // A failure ended within `bound` seconds of the start, with `text`, and a last report.
  void ExpectFailure(const Fetched& r, const std::string& text, double bound) {
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(r.text, text);
    EXPECT_LT(r.seconds, bound);
    ASSERT_FALSE(r.reports.empty());
    EXPECT_EQ(r.reports.back().args.State, 3);
    EXPECT_LT(r.reports.back().args.Percent, 100);
    ExpectOldTargetAlone();
  }
  void ExpectCancelled(const Fetched& r) {
    EXPECT_FALSE(r.failed);
    EXPECT_EQ(r.text, "Descarga cancelada por el usuario.");
    ASSERT_GE(r.cancel_to_end, 0);
    EXPECT_LT(r.cancel_to_end, 1.0);
    ExpectOldTargetAlone();
  }
  // Host and port of the site, as the texts name it.
  std::string Host() { return backend_.Url("").substr(backend_.Url("").find("://") + 3); }
  double FirstByteBound() const { return options_.connect_timeout_s + options_.stall_timeout_s; }
  // Three attempts, with waits between them short enough for a real server: the waits' own
  // edges are the fake clock's cases.
  void ShortRetryWaits() {
    options_.attempts = 3;
    options_.first_retry_wait_s = 0.25;
    options_.second_retry_wait_s = 0.5;
  }

  Backend backend_;
  DownloadOptions options_;
  std::function<std::optional<std::string>(const std::string&)> check_;  // the caller's check, if any
};

TYPED_TEST_SUITE_P(DownloadContract);

TYPED_TEST_P(DownloadContract, SuccessReplacesTheTargetWithOneRequestAndReportsInOrder) {
  const std::string body = Bytes(600 * 1024);
  this->backend_.Serve("/VISADO75.txt", body);
  this->backend_.SetFaults("/VISADO75.txt rate 2000000\n");
  this->PutOldTarget();
  const Fetched r = this->Fetch(this->backend_.Url("/VISADO75.txt"));
  EXPECT_FALSE(r.failed);
  EXPECT_EQ(r.text, "OK");
  EXPECT_EQ(this->TargetBytes(), body);
  EXPECT_EQ(this->Entries(), std::vector<std::string>{"VISADO75.txt"});
  EXPECT_EQ(this->backend_.Requests(1), std::vector<std::string>{"/VISADO75.txt 200"});

  ASSERT_GE(r.reports.size(), 4u);
  EXPECT_EQ(r.reports.front().args.State, 1);
  EXPECT_EQ(r.reports.front().args.BytesReceived, 0);
  const auto& last = r.reports.back().args;
  EXPECT_EQ(last.State, 3);
  EXPECT_EQ(last.Percent, 100);
  EXPECT_EQ(last.BytesReceived, static_cast<int32_t>(body.size()));
  EXPECT_EQ(last.ElapsedSeconds, static_cast<int32_t>(r.reports.back().at));
  bool partial = false;
  for (size_t i = 1; i + 1 < r.reports.size(); ++i) {
    const auto& a = r.reports[i].args;
    EXPECT_TRUE(a.State == 1 || a.State == 2) << i;
    EXPECT_GE(a.State, r.reports[i - 1].args.State);
    EXPECT_GE(a.BytesReceived, r.reports[i - 1].args.BytesReceived);
    EXPECT_DOUBLE_EQ(a.Percent, 100.0 * a.BytesReceived / static_cast<double>(body.size()));
    if (a.State == 1) {
      EXPECT_EQ(a.BytesReceived, 0);
    }
    partial = partial || (a.Percent > 0 && a.Percent < 100);
  }
  EXPECT_TRUE(partial);
  EXPECT_LE(r.reports.size(), static_cast<size_t>(r.seconds * 20) + 4) << "about 20 reports a second at most";
}

TYPED_TEST_P(DownloadContract, BodiesWithoutALengthEmptyOrDiscarded) {
  const std::string body = Bytes(300 * 1024);
  this->backend_.Serve("/VISADO75.txt", body);
  this->backend_.SetFaults("/VISADO75.txt chunked rate 1000000\n");
  const Fetched chunked = this->Fetch(this->backend_.Url("/VISADO75.txt"));
  EXPECT_EQ(chunked.text, "OK");
  EXPECT_EQ(this->TargetBytes(), body);
  for (size_t i = 0; i + 1 < chunked.reports.size(); ++i) EXPECT_EQ(chunked.reports[i].args.Percent, 0);
  EXPECT_EQ(chunked.reports.back().args.Percent, 100);

  this->backend_.SetFaults("");
  this->backend_.Serve("/empty.txt", "");
  EXPECT_EQ(this->Fetch(this->backend_.Url("/empty.txt")).text, "OK");
  EXPECT_EQ(this->TargetBytes(), "");

  // No destination: fetched whole, kept nowhere.
  this->backend_.Serve("/quenil.txt", Bytes(100000));
  EXPECT_EQ(this->Fetch(this->backend_.Url("/quenil.txt"), "").text, "OK");
  EXPECT_EQ(this->Entries(), std::vector<std::string>{"VISADO75.txt"});
  EXPECT_EQ(this->backend_.Requests(3).back(), "/quenil.txt 200");
}

TYPED_TEST_P(DownloadContract, ServerFailuresNameTheirCauseAndKeepTheOldTarget) {
  struct Case {
    const char* rule;
    std::string text;
  };
  const std::string file = "'VISADO75.txt'";
  const Case cases[] = {
      {"status 404", "El servidor no pudo entregar " + file + ": respuesta HTTP 404 (archivo no encontrado)."},
      {"status 503", "El servidor no pudo entregar " + file + ": respuesta HTTP 503 (servicio no disponible)."},
      {"status 418", "El servidor no pudo entregar " + file + ": respuesta HTTP 418."},
      {"status 407",
       "El servidor proxy pide usuario y contraseña (respuesta HTTP 407): revise la configuración de acceso a "
       "internet de este equipo."},
      {"close-after 1000", "La descarga de " + file + " quedó incompleta: se recibieron 1000 de 5000 bytes."},
      {"extra-length 100", "La descarga de " + file + " quedó incompleta: se recibieron 5000 de 5100 bytes."},
  };
  this->backend_.Serve("/VISADO75.txt", Bytes(5000));
  size_t requests = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    this->backend_.SetFaults(std::string("/VISADO75.txt ") + c.rule + "\n");
    this->PutOldTarget();
    this->ExpectFailure(this->Fetch(this->backend_.Url("/VISADO75.txt")), c.text, 3);
    EXPECT_EQ(this->backend_.Requests(++requests).size(), requests) << "one request, no retry";
  }
  if (!TypeParam::kSeesACutChunkedBody) return;
  this->backend_.SetFaults("/VISADO75.txt chunked close-after 1000\n");
  this->ExpectFailure(
      this->Fetch(this->backend_.Url("/VISADO75.txt")),
      "Se perdió la conexión con el servidor " + this->Host() + " tras recibir 1000 bytes de " + file + ".", 3);
}

TYPED_TEST_P(DownloadContract, ConnectionFailuresNameTheHost) {
  this->PutOldTarget();
  const std::string refused = this->backend_.RefusedUrl("/VISADO75.txt");
  const std::string refused_host = refused.substr(7, refused.find('/', 7) - 7);
  this->ExpectFailure(this->Fetch(refused),
                      "No se pudo conectar con el servidor " + refused_host + ": conexión rechazada.", 3);
  // The host named is the one that failed, after a redirect too.
  this->backend_.SetFaults("/VISADO75.txt redirect " + refused + "\n");
  this->ExpectFailure(this->Fetch(this->backend_.Url("/VISADO75.txt")),
                      "No se pudo conectar con el servidor " + refused_host + ": conexión rechazada.", 3);
  this->ExpectFailure(this->Fetch("http://servidor-inexistente.invalid/VISADO75.txt"),
                      "No se encontró el servidor servidor-inexistente.invalid: el nombre no existe o no hay acceso "
                      "a internet.",
                      this->FirstByteBound() + 1);
}

TYPED_TEST_P(DownloadContract, NoConnectionEndsAtTheFirstByteDeadline) {
  this->PutOldTarget();
  const std::string url = this->backend_.SilentUrl("/VISADO75.txt");
  const Fetched r = this->Fetch(url);
  const std::string host = url.substr(7, url.find('/', 7) - 7);
  this->ExpectFailure(r, "No se pudo conectar con el servidor " + host + ": no hubo respuesta en 2 segundos.", 3);
  EXPECT_GT(r.seconds, this->FirstByteBound() - 0.1);
  for (size_t i = 0; i + 1 < r.reports.size(); ++i) EXPECT_EQ(r.reports[i].args.State, 1);
}

// A connected server that sends nothing, or its headers too slowly, or late.
TYPED_TEST_P(DownloadContract, ASilentOrSlowServerEndsAtTheFirstByteDeadline) {
  this->backend_.Serve("/VISADO75.txt", Bytes(5000));
  for (const char* rule : {"silence 20", "header-rate 1", "delay 20", "stall-after 0 20"}) {
    SCOPED_TRACE(rule);
    this->backend_.SetFaults(std::string("/VISADO75.txt ") + rule + "\n");
    this->PutOldTarget();
    const Fetched r = this->Fetch(this->backend_.Url("/VISADO75.txt"));
    this->ExpectFailure(
        r,
        "La descarga de 'VISADO75.txt' se detuvo: no llegaron datos del servidor " + this->Host() + " en 2 segundos.",
        this->FirstByteBound() + 1);
    EXPECT_GT(r.seconds, this->FirstByteBound() - 0.1);
  }
}

TYPED_TEST_P(DownloadContract, RedirectsAreFollowedFiveTimesButNotSixNorInALoop) {
  const std::string body = Bytes(3000);
  this->backend_.Serve("/final.txt", body);
  std::string rules;
  for (int i = 1; i <= 5; ++i) rules += "/r" + std::to_string(i) + " redirect /r" + std::to_string(i + 1) + "\n";
  rules += "/r6 redirect " + this->backend_.Url("/final.txt") + "\n";
  rules += "/loop redirect /loop\n";
  // A redirect whose own body stalls: its body is never read.
  rules += "/stuck redirect /final.txt extra-length 90 stall-after 5 60\n";
  this->backend_.SetFaults(rules);
  this->PutOldTarget();
  EXPECT_EQ(this->Fetch(this->backend_.Url("/r2")).text, "OK");
  EXPECT_EQ(this->TargetBytes(), body);
  EXPECT_EQ(this->backend_.Requests(6).size(), 6u);

  this->PutOldTarget();
  this->ExpectFailure(this->Fetch(this->backend_.Url("/r1")), "Demasiadas redirecciones al pedir 'r1' (más de 5).", 3);
  this->ExpectFailure(this->Fetch(this->backend_.Url("/loop")), "Demasiadas redirecciones al pedir 'loop' (más de 5).",
                      3);
  const auto requests = this->backend_.Requests(18);
  ASSERT_EQ(requests.size(), 18u);
  EXPECT_EQ(requests[11], "/r6 302") << "r1 to r6, and never final.txt";
  EXPECT_EQ(requests[17], "/loop 302");

  const Fetched stuck = this->Fetch(this->backend_.Url("/stuck"));
  EXPECT_EQ(stuck.text, "OK");
  EXPECT_LT(stuck.seconds, this->FirstByteBound());
  EXPECT_EQ(this->TargetBytes(), body);
}

// "rate 2000" brings more than 1,024 bytes a window, but less than 4,096 a second on average.
TYPED_TEST_P(DownloadContract, ABodyThatTricklesOrStopsIsAStall) {
  this->backend_.Serve("/VISADO75.txt", Bytes(12000));
  for (const char* rule : {"rate 1", "rate 500", "stall-after 2000 20", "rate 2000"}) {
    SCOPED_TRACE(rule);
    this->backend_.SetFaults(std::string("/VISADO75.txt ") + rule + "\n");
    this->PutOldTarget();
    const Fetched r = this->Fetch(this->backend_.Url("/VISADO75.txt"));
    this->ExpectFailure(
        r, "La descarga de 'VISADO75.txt' se detuvo: no llegaron datos del servidor " + this->Host() + " en 1 segundo.",
        2 * this->options_.stall_timeout_s + 1);
    EXPECT_GT(r.seconds, this->options_.stall_timeout_s - 0.1);
  }
}

TYPED_TEST_P(DownloadContract, AShortPauseOrASteadySlowBodyIsWaitedOut) {
  const std::string body = Bytes(6000);
  this->backend_.Serve("/VISADO75.txt", body);
  this->backend_.SetFaults("/VISADO75.txt stall-after 2000 0.5\n");
  const Fetched paused = this->Fetch(this->backend_.Url("/VISADO75.txt"));
  EXPECT_EQ(paused.text, "OK");
  EXPECT_EQ(this->TargetBytes(), body);
  for (size_t i = 1; i < paused.reports.size(); ++i) {
    EXPECT_LT(paused.reports[i].at - paused.reports[i - 1].at, 0.5) << "reports go on while nothing arrives";
  }
  // 6,000 bytes a second for longer than two windows: above the least average rate.
  const std::string longer = Bytes(13000);
  this->backend_.Serve("/VISADO75.txt", longer);
  this->backend_.SetFaults("/VISADO75.txt rate 6000\n");
  EXPECT_EQ(this->Fetch(this->backend_.Url("/VISADO75.txt")).text, "OK");
  EXPECT_EQ(this->TargetBytes(), longer);
}

// A cancel lands within a second in every phase, and the old target stays.
TYPED_TEST_P(DownloadContract, ACancelEndsEveryPhaseWithinASecond) {
  this->options_.connect_timeout_s = 15;
  this->options_.stall_timeout_s = 30;
  this->backend_.Serve("/VISADO75.txt", Bytes(4 * 1024 * 1024));
  struct Case {
    const char* name;
    std::string url;
    const char* rule;
    CancelWhen when;
  };
  const auto after = [](double s) { return [s](const platform::TransferProgressArgs&, double at) { return at > s; }; };
  const Case cases[] = {
      {"connecting", this->backend_.SilentUrl("/VISADO75.txt"), "", after(0.3)},
      {"silence", this->backend_.Url("/VISADO75.txt"), "silence 20", after(0.3)},
      {"slow headers", this->backend_.Url("/VISADO75.txt"), "header-rate 1", after(0.3)},
      {"receiving", this->backend_.Url("/VISADO75.txt"), "rate 500000",
       [](const platform::TransferProgressArgs& a, double) { return a.BytesReceived > 100000; }},
      {"stalled", this->backend_.Url("/VISADO75.txt"), "stall-after 1000 20",
       [](const platform::TransferProgressArgs& a, double at) { return a.BytesReceived == 1000 && at > 0.5; }},
      {"last report", this->backend_.Url("/VISADO75.txt"), "",
       [](const platform::TransferProgressArgs& a, double) { return a.State == 3; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    this->backend_.SetFaults(std::string("/VISADO75.txt ") + c.rule + "\n");
    this->PutOldTarget();
    this->ExpectCancelled(this->Fetch(c.url, c.when));
  }
}

TYPED_TEST_P(DownloadContract, ACancelPendingAtTheFirstReportSendsNoRequest) {
  this->backend_.Serve("/VISADO75.txt", "data");
  this->PutOldTarget();
  this->ExpectCancelled(this->Fetch(this->backend_.Url("/VISADO75.txt"), [](const auto&, double) { return true; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(this->backend_.Requests(0).empty());
}

TYPED_TEST_P(DownloadContract, ABadDestinationOrAddressFailsBeforeAnyRequest) {
  this->backend_.Serve("/VISADO75.txt", "data");
  this->PutOldTarget();
  const std::string target = this->backend_.Target();
  const std::string folder = target.substr(0, target.rfind('\\'));
  const Fetched missing = this->Fetch(this->backend_.Url("/VISADO75.txt"), folder + "\\nada\\VISADO75.txt");
  EXPECT_TRUE(missing.failed);
  EXPECT_EQ(missing.text, "No existe la carpeta de destino " + folder + "\\nada.");
  const Fetched folder_target = this->Fetch(this->backend_.Url("/VISADO75.txt"), folder);
  EXPECT_TRUE(folder_target.failed);
  EXPECT_EQ(folder_target.text, "No se pudo guardar " + folder + ": es una carpeta.");
  this->ExpectFailure(this->Fetch("file:///etc/passwd"), "La dirección de descarga no es válida: file:///etc/passwd",
                      1);
  this->ExpectFailure(this->Fetch("ftp://127.0.0.1/x"), "La dirección de descarga no es válida: ftp://127.0.0.1/x", 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(this->backend_.Requests(0).empty());
}

// A temporary file that no live transfer holds goes; one another workstation is writing stays.
TYPED_TEST_P(DownloadContract, StaleTemporaryFilesGoLiveOnesStay) {
  const std::string body = Bytes(2000);
  this->backend_.Serve("/VISADO75.txt", body);
  this->PutOldTarget();
  WriteFileBytes(this->backend_.Folder() / "VISADO75.txt.part-dead01", "left by a killed run");
  auto other = this->backend_.OtherFiles();
  platform::FileResult error;
  auto live = other->CreateTemporary(this->backend_.Target(), error);
  ASSERT_TRUE(live) << static_cast<int>(error.error);
  const Fetched r = this->Fetch(this->backend_.Url("/VISADO75.txt"));
  EXPECT_EQ(r.text, "OK");
  EXPECT_EQ(this->TargetBytes(), body);
  const auto entries = this->Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0], "VISADO75.txt");
  EXPECT_TRUE(entries[1].starts_with("VISADO75.txt.part-")) << entries[1];
  live.reset();
  EXPECT_EQ(this->Entries(), std::vector<std::string>{"VISADO75.txt"});
}

// Where a program holds the target open so that it cannot be replaced (Windows), the new
// content goes into it; elsewhere the rename replaces it. Either way the path reads new.
TYPED_TEST_P(DownloadContract, ATargetHeldOpenByAnotherProgramGetsTheNewContent) {
  const std::string body = Bytes(100000);
  this->backend_.Serve("/VISADO75.txt", body);
  this->PutOldTarget();
  auto holder = this->backend_.Hold(this->TargetFile());
  EXPECT_EQ(this->Fetch(this->backend_.Url("/VISADO75.txt")).text, "OK");
  if (TypeParam::kTargetsHeldOpenAreWrittenInPlace) {
    EXPECT_EQ(holder->ReadAll(), body);
  }
  holder.reset();
  EXPECT_EQ(this->TargetBytes(), body);
  EXPECT_EQ(this->Entries(), std::vector<std::string>{"VISADO75.txt"});
}

// A scanner holding the new file for a moment: the rename is tried again.
TYPED_TEST_P(DownloadContract, ATemporaryFileHeldForAMomentIsRenamedOnceFree) {
  const std::string body = Bytes(100000);
  this->backend_.Serve("/VISADO75.txt", body);
  this->PutOldTarget();
  decltype(this->backend_.Hold(this->TargetFile())) scanner;
  std::thread release;
  const Fetched r = this->Fetch(this->backend_.Url("/VISADO75.txt"), this->backend_.Target(), nullptr,
                                [&](const platform::TransferProgressArgs& a) {
                                  if (a.State != 3) return;
                                  for (const auto& name : this->Entries()) {
                                    if (name.starts_with("VISADO75.txt.part-")) {
                                      scanner = this->backend_.Hold(this->backend_.Folder() / name);
                                    }
                                  }
                                  release = std::thread([&] {
                                    std::this_thread::sleep_for(std::chrono::milliseconds(500));
                                    scanner.reset();
                                  });
                                });
  release.join();
  EXPECT_EQ(r.text, "OK");
  EXPECT_EQ(this->TargetBytes(), body);
  EXPECT_EQ(this->Entries(), std::vector<std::string>{"VISADO75.txt"});
}

TYPED_TEST_P(DownloadContract, HttpsIsFetchedOnlyFromATrustedServer) {
  this->options_.connect_timeout_s = 5;  // a handshake under Wine on a busy machine takes seconds
  const std::string trusted = this->backend_.HttpsUrl("/VISADO75.txt", true);
  if (trusted.empty()) GTEST_SKIP() << "no https on this backend";
  const std::string body = Bytes(70000);
  this->backend_.Serve("/VISADO75.txt", body);
  this->PutOldTarget();
  const std::string untrusted = this->backend_.HttpsUrl("/VISADO75.txt", false);
  const std::string host = untrusted.substr(8, untrusted.find('/', 8) - 8);
  this->ExpectFailure(this->Fetch(untrusted),
                      "El certificado del servidor " + host + " no es válido: la conexión segura no es de confianza.",
                      this->FirstByteBound());
  EXPECT_EQ(this->Fetch(trusted).text, "OK");
  EXPECT_EQ(this->TargetBytes(), body);
}

// A program is checked where it lies beside the target, whole, before it replaces the target.
TYPED_TEST_P(DownloadContract, ADownloadRefusedByItsCheckLeavesTheOldTarget) {
  const std::string body = Bytes(50000);
  this->backend_.Serve("/VISADO75.txt", body);
  this->PutOldTarget();
  // Its size only: the temporary file is held open for its rename, which Windows' sharing
  // rules keep a plain reader out of (the signature check opens it sharing everything).
  uintmax_t seen = 0;
  this->check_ = [&](const std::string& path) -> std::optional<std::string> {
    seen = std::filesystem::file_size(this->backend_.Folder() / path.substr(path.find_last_of('\\') + 1));
    return "firma no v\xE1lida";
  };
  const Fetched refused = this->Fetch(this->backend_.Url("/VISADO75.txt"));
  EXPECT_TRUE(refused.failed);
  EXPECT_EQ(refused.text,
            "Se rechaza el programa descargado 'VISADO75.txt' (firma no válida): se conserva la copia anterior.");
  EXPECT_EQ(seen, body.size());
  this->ExpectOldTargetAlone();
}

// A body cut off is fetched again after a second: only the rest where the server vouches for
// the version (206), from the start where it cannot or ignores the range. The reports count
// the whole file throughout.
TYPED_TEST_P(DownloadContract, ACutBodyIsResumedWhereTheServerAllowsElseFetchedAgain) {
  this->options_.attempts = 3;
  const std::string body = Bytes(100000);
  this->backend_.Serve("/VISADO75.txt", body);
  const std::pair<const char*, bool> cases[] = {
      {"/VISADO75.txt close-after 60000 times 1\n", true},
      {"/VISADO75.txt close-after 60000 no-validator times 1\n", false},
      {"/VISADO75.txt close-after 60000 times 1\n/VISADO75.txt ignore-range\n", false},
  };
  for (const auto& [rules, resumed] : cases) {
    SCOPED_TRACE(rules);
    this->backend_.SetFaults(rules);
    this->PutOldTarget();
    const Fetched r = this->Fetch(this->backend_.Url("/VISADO75.txt"));
    EXPECT_EQ(r.text, "OK");
    EXPECT_EQ(this->TargetBytes(), body);
    EXPECT_EQ(this->Entries(), std::vector<std::string>{"VISADO75.txt"});
    EXPECT_GE(r.seconds, this->options_.first_retry_wait_s - 1e-6);
    ASSERT_FALSE(r.report_lines.empty());
    EXPECT_EQ(r.report_lines[0],
              "reintento 2 de 3 tras: La descarga de 'VISADO75.txt' quedó incompleta: se recibieron 60000 de 100000 "
              "bytes.; espera 1.0 s");
    EXPECT_EQ(r.report_lines.size(), resumed ? 2u : 1u);
    if (resumed) {
      EXPECT_EQ(r.report_lines[1], "reintento 2 sigue desde el byte 60000");
    }
    bool waited = false;
    for (size_t i = 1; i < r.reports.size(); ++i) {
      const auto& a = r.reports[i].args;
      if (a.State == 1 && a.BytesReceived == 60000) waited = true;
      if (a.State == 2) {
        EXPECT_DOUBLE_EQ(a.Percent, a.BytesReceived / 1000.0);
      }
      if (resumed) {
        EXPECT_GE(a.BytesReceived, r.reports[i - 1].args.BytesReceived);
      }
    }
    EXPECT_TRUE(waited) << "State 1 while it waits and connects again";
  }
}

// The file changes between two attempts: whether the server sees it (If-Range) or not, the
// target never joins the start of one version to the rest of another.
TYPED_TEST_P(DownloadContract, AFileThatChangesBetweenAttemptsIsNeverSpliced) {
  this->ShortRetryWaits();
  const std::string old_body = Bytes(100000);
  std::string new_body = old_body;
  std::reverse(new_body.begin(), new_body.end());
  // The part of the new version is asked for with the old validator: answered whole (If-Range),
  // or as a part that does not fit and is refused, after which the file starts again.
  const std::pair<const char*, size_t> cases[] = {
      {"/VISADO75.txt close-after 60000 times 1\n", 1},
      {"/VISADO75.txt close-after 60000 times 1\n/VISADO75.txt ignore-if-range\n", 2},
  };
  for (const auto& [rules, retries] : cases) {
    SCOPED_TRACE(rules);
    this->backend_.Serve("/VISADO75.txt", old_body);
    this->backend_.SetFaults(rules);
    bool changed = false;
    const Fetched r = this->Fetch(this->backend_.Url("/VISADO75.txt"), this->backend_.Target(), nullptr,
                                  [&](const platform::TransferProgressArgs& a) {
                                    if (changed || a.State != 1 || a.BytesReceived == 0) return;
                                    changed = true;
                                    this->backend_.Serve("/VISADO75.txt", new_body);
                                  });
    EXPECT_EQ(r.text, "OK");
    EXPECT_TRUE(this->TargetBytes() == new_body) << "spliced or old";
    EXPECT_EQ(r.report_lines.size(), retries);
  }
}

// 5xx, 408 and 429 are tried again, after the server's Retry-After when it asks for longer;
// a status that names a fault of the request is not; after the last attempt the dialog sees
// that attempt's failure.
TYPED_TEST_P(DownloadContract, ServerTroubleIsTriedAgainAFaultOfTheRequestIsNot) {
  this->ShortRetryWaits();
  this->backend_.Serve("/VISADO75.txt", Bytes(5000));
  this->PutOldTarget();
  this->backend_.SetFaults("/VISADO75.txt status 404\n");
  this->ExpectFailure(this->Fetch(this->backend_.Url("/VISADO75.txt")),
                      "El servidor no pudo entregar 'VISADO75.txt': respuesta HTTP 404 (archivo no encontrado).", 1);
  EXPECT_EQ(this->backend_.Requests(1).size(), 1u);

  this->backend_.SetFaults("/VISADO75.txt status 503 retry-after 1 times 1\n");
  const Fetched later = this->Fetch(this->backend_.Url("/VISADO75.txt"));
  EXPECT_EQ(later.text, "OK");
  EXPECT_GE(later.seconds, 1 - 1e-6);
  EXPECT_LT(later.seconds, 1 + 2);
  EXPECT_EQ(later.report_lines.size(), 1u);

  this->backend_.SetFaults("/VISADO75.txt status 429 retry-after-date 1 times 1\n");
  EXPECT_EQ(this->Fetch(this->backend_.Url("/VISADO75.txt")).text, "OK");

  this->PutOldTarget();
  this->backend_.SetFaults("/VISADO75.txt status 503\n");
  const Fetched failed = this->Fetch(this->backend_.Url("/VISADO75.txt"));
  this->ExpectFailure(failed,
                      "El servidor no pudo entregar 'VISADO75.txt': respuesta HTTP 503 (servicio no disponible).",
                      this->options_.first_retry_wait_s + this->options_.second_retry_wait_s + 2);
  EXPECT_GE(failed.seconds, this->options_.first_retry_wait_s + this->options_.second_retry_wait_s - 1e-6);
  ASSERT_EQ(failed.report_lines.size(), 2u);
  EXPECT_TRUE(failed.report_lines[1].starts_with("reintento 3 de 3 tras: El servidor no pudo entregar"))
      << failed.report_lines[1];
}

TYPED_TEST_P(DownloadContract, ACancelDuringTheWaitEndsItAndNoAttemptFollows) {
  this->options_.attempts = 3;
  this->backend_.Serve("/VISADO75.txt", Bytes(5000));
  this->backend_.SetFaults("/VISADO75.txt status 503\n");
  this->PutOldTarget();
  // Not before the first answer: on a loaded machine it may come later than half a second.
  const Fetched r =
      this->Fetch(this->backend_.Url("/VISADO75.txt"), [this](const platform::TransferProgressArgs&, double at) {
        return at > 0.5 && !this->backend_.Requests(0).empty();
      });
  this->ExpectCancelled(r);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(this->backend_.Requests(0).size(), 1u);
}

// A file that never gets its first byte ends within the bound: each attempt's own deadline
// and the waits between them.
TYPED_TEST_P(DownloadContract, AFileThatKeepsFailingEndsWithinTheBound) {
  this->ShortRetryWaits();
  this->backend_.Serve("/VISADO75.txt", Bytes(5000));
  this->backend_.SetFaults("/VISADO75.txt silence 60\n");
  this->PutOldTarget();
  const Fetched r = this->Fetch(this->backend_.Url("/VISADO75.txt"));
  const double waits = this->options_.first_retry_wait_s + this->options_.second_retry_wait_s;
  this->ExpectFailure(
      r, "La descarga de 'VISADO75.txt' se detuvo: no llegaron datos del servidor " + this->Host() + " en 2 segundos.",
      3 * this->FirstByteBound() + 15);
  EXPECT_GE(r.seconds, 3 * this->FirstByteBound() + waits - 0.1);
  EXPECT_LT(r.seconds, 3 * this->FirstByteBound() + waits + 2);
  EXPECT_EQ(r.report_lines.size(), 2u);
}

// A body coded unasked is stored decoded; the progress counts what came over the wire.
TYPED_TEST_P(DownloadContract, ACodedBodyIsStoredDecodedAndCountedAsSent) {
  const std::string body = Bytes(300 * 1024);
  this->backend_.Serve("/VISADO75.txt", body);
  for (const char* coding : {"gzip", "x-gzip", "deflate", "raw-deflate"}) {
    SCOPED_TRACE(coding);
    this->backend_.SetFaults(std::string("/VISADO75.txt coding ") + coding + "\n");
    this->PutOldTarget();
    const Fetched r = this->Fetch(this->backend_.Url("/VISADO75.txt"));
    EXPECT_EQ(r.text, "OK");
    EXPECT_EQ(this->TargetBytes(), body);
    EXPECT_LT(r.reports.back().args.BytesReceived, static_cast<int32_t>(body.size() / 10));
  }
}

// A coding this program cannot undo, or a coded stream damaged or cut short, is no file.
TYPED_TEST_P(DownloadContract, AnUnknownOrDamagedCodingFails) {
  const std::string body = Bytes(50000);
  const std::string unknown =
      "El servidor " + this->Host() + " envió 'VISADO75.txt' comprimido de una forma que este programa no sabe leer ";
  const std::string damaged =
      "Los datos comprimidos de 'VISADO75.txt' que envió el servidor " + this->Host() + " están dañados o incompletos.";
  const std::string gzip_header("\x1f\x8b\x08\0\0\0\0\0\0\x03", 10), empty_zlib("\x78\x9c\x03\0\0\0\0\x01", 8);
  const std::string cases[][3] = {
      {"coding br", body, unknown + "(br)."},
      {"coding gzip,br", body, unknown + "(gzip,br)."},
      {"label gzip", gzip_header, damaged},
      {"label deflate chunked", empty_zlib + "trailing", damaged},
  };
  for (const auto& [rule, served, text] : cases) {
    SCOPED_TRACE(rule);
    this->backend_.Serve("/VISADO75.txt", served);
    this->backend_.SetFaults("/VISADO75.txt " + rule + "\n");
    this->PutOldTarget();
    const Fetched r = this->Fetch(this->backend_.Url("/VISADO75.txt"));
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(r.text, text);  // all the bytes may have come: the last report may say 100
    this->ExpectOldTargetAlone();
  }
}

// A web filter's page fails; a list merely labelled text/html, or a page asked for, is stored.
TYPED_TEST_P(DownloadContract, AWebPageInAFilesPlaceFails) {
  const std::string body = Bytes(5000);
  this->backend_.Serve("/VISADO75.txt", body);
  for (const char* rule : {"block-page", "block-page coding gzip", "block-page chunked"}) {
    SCOPED_TRACE(rule);
    this->backend_.SetFaults(std::string("/VISADO75.txt ") + rule + "\n");
    this->PutOldTarget();
    this->ExpectFailure(this->Fetch(this->backend_.Url("/VISADO75.txt")),
                        "El servidor entregó una página web en lugar de 'VISADO75.txt'; puede que un filtro de la red "
                        "la haya bloqueado.",
                        3);
  }
  this->backend_.SetFaults("/VISADO75.txt type text/html\n");
  EXPECT_EQ(this->Fetch(this->backend_.Url("/VISADO75.txt")).text, "OK");
  EXPECT_EQ(this->TargetBytes(), body);
  this->backend_.SetFaults("/VISADO75.txt block-page\n");
  const std::string page = this->backend_.Target().substr(0, this->backend_.Target().rfind('\\')) + "\\aviso.HTML";
  EXPECT_EQ(this->Fetch(this->backend_.Url("/VISADO75.txt"), page).text, "OK");
}

REGISTER_TYPED_TEST_SUITE_P(DownloadContract, SuccessReplacesTheTargetWithOneRequestAndReportsInOrder,
                            BodiesWithoutALengthEmptyOrDiscarded, ServerFailuresNameTheirCauseAndKeepTheOldTarget,
                            ConnectionFailuresNameTheHost, NoConnectionEndsAtTheFirstByteDeadline,
                            ASilentOrSlowServerEndsAtTheFirstByteDeadline,
                            RedirectsAreFollowedFiveTimesButNotSixNorInALoop, ABodyThatTricklesOrStopsIsAStall,
                            AShortPauseOrASteadySlowBodyIsWaitedOut, ACancelEndsEveryPhaseWithinASecond,
                            ACancelPendingAtTheFirstReportSendsNoRequest, ABadDestinationOrAddressFailsBeforeAnyRequest,
                            StaleTemporaryFilesGoLiveOnesStay, ATargetHeldOpenByAnotherProgramGetsTheNewContent,
                            ATemporaryFileHeldForAMomentIsRenamedOnceFree, HttpsIsFetchedOnlyFromATrustedServer,
                            ACutBodyIsResumedWhereTheServerAllowsElseFetchedAgain,
                            AFileThatChangesBetweenAttemptsIsNeverSpliced,
                            ServerTroubleIsTriedAgainAFaultOfTheRequestIsNot,
                            ACancelDuringTheWaitEndsItAndNoAttemptFollows, AFileThatKeepsFailingEndsWithinTheBound,
                            ADownloadRefusedByItsCheckLeavesTheOldTarget, ACodedBodyIsStoredDecodedAndCountedAsSent,
                            AnUnknownOrDamagedCodingFails, AWebPageInAFilesPlaceFails);

}  // namespace velmorin::test_support
