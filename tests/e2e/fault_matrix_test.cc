// The fault matrix of a whole run: every download of a run in the region "CYL" (all fifteen)
// failing in every way the test server can make it fail, and with its connection refused; the
// faults that only the control's deadlines end, on the downloads of each kind.
// Update server: the failure box, exit 1, nothing after it, nothing half-written. Council and
// cooperative sites: silence, and the run goes on with the file that was there.
// Every case runs as the update run in this process on the fakes; one case of each kind of
// fault also runs the real program against the loopback server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>

#include "e2e/fault_run.h"
#include "e2e/in_process_run.h"

namespace velmorin::test_support {
namespace {

namespace fs = std::filesystem;
using testing::ElementsAreArray;
using testing::IsEmpty;

struct Download {
  const char* site;
  const char* path;         // on the site
  const char* destination;  // on the data drive; none for the initial step
  const char* name;
};

const Download kDownloads[] = {
    {"coop", "/documentos/quenil.txt", "", "quenil.txt"},
    {"council", "/serializacion.txt", "velmorin/bases/serializacion.txt", "serializacion.txt"},
    {"update", "/datosprefmenor/SNOMED.txt", "velmorin/quorra/SNOMED.txt", "SNOMED.txt"},
    {"update", "/datosprefmenor/VISADO75.txt", "velmorin/VISADO75.txt", "VISADO75.txt"},
    {"update", "/datosprefmenor/pvpnotificados.txt", "velmorin/quorra/pvpnotificados.txt", "pvpnotificados.txt"},
    {"update", "/datosprefmenor/bioequiv.txt", "velmorin/quorra/bioequiv", "bioequiv.txt"},
    {"update", "/datosprefmenor/Cyl_Menores.txt", "velmorin/maximos/Cyl_Menores.txt", "Cyl_Menores.txt"},
    {"update", "/datosprefmenor/espec.NA", "velmorin/preferencia/espec", "espec.NA"},
    {"update", "/datosprefmenor/conjunto.NA", "velmorin/preferencia/conjunto", "conjunto.NA"},
    {"update", "/datosprefmenor/Trelvanos.exe", "velmorin/reparar/Trelvanos.exe", "Trelvanos.exe"},
    {"update", "/datosprefmenor/NoSust.Gt", "velmorin/AF/NoSust.Gt", "NoSust.Gt"},
    {"update", "/datosprefmenor/Quimbaleta.exe", "velmorin/reparar/Quimbaleta.exe", "Quimbaleta.exe"},
    {"update", "/datosprefmenor/Sustituir.cyl", "velmorin/preferencia/Sustituir.cyl", "Sustituir.cyl"},
    {"update", "/bdi/bases/euro/dolvek.arj", "velmorin/bdnet/temp/dolvek.arj", "dolvek.arj"},
    {"update", "/bdi/tarquinas.txt", "velmorin/sodrilax/tarquinas.act", "tarquinas.txt"},
};
constexpr int kDownloadCount = static_cast<int>(std::size(kDownloads));
constexpr int kCoop = 0;
constexpr int kCouncil = 1;
constexpr int kFirstOnUpdateServer = 2;
constexpr int kVisa = 3;
constexpr int kNotified = 4;
constexpr int kArchive = 13;

struct Fault {
  const char* name;
  const char* directive;  // in the faults file; none: the connection is refused; "": a redirect to itself
  const char* short_name;
  const char* logged_status;  // of the failing request in the server's log
  bool logged_late = false;   // after the requests that follow it: the server was still sending
};

const Fault kFaults[] = {
    {"HTTP 404", "status 404", "Http404", "404"},
    {"HTTP 500", "status 500", "Http500", "500"},
    // Without a validator, so that no later attempt can join the rest of a file of a few bytes.
    {"connection closed mid-body", "close-after 2 no-validator", "ClosedMidBody", "200"},
    {"body shorter than its Content-Length", "extra-length 10", "ShortBody", "200"},
    {"stall mid-body (3 s, limit 1 s)", "stall-after 2 3 no-validator", "Stall", "200", true},
    {"connection refused", nullptr, "Refused", "302"},
    // Ended by the deadlines alone (connect 2 s + stall 1 s to the first body byte).
    {"no answer after accepting (limit 3 s)", "silence 4", "Silence", "0", true},
    {"headers one byte a second (limit 3 s)", "header-rate 1", "SlowHeaders", "200", true},
    {"body one byte a second (limit 1 s)", "rate 1", "Trickle", "200", true},
    {"redirect to itself", "", "RedirectLoop", "302"},
};
constexpr int kFaultCount = static_cast<int>(std::size(kFaults));
constexpr int kFirstDeadlineFault = 6;
// The deadline faults are tried on a download of each kind: each site, the first and the
// largest file of the update server.
constexpr int kDeadlineDownloads[] = {kCoop, kCouncil, kFirstOnUpdateServer, kArchive};

bool IsDeadlineCase(int download) {
  return std::find(std::begin(kDeadlineDownloads), std::end(kDeadlineDownloads), download) !=
         std::end(kDeadlineDownloads);
}

std::string Subject(const Download& d) { return std::string(d.site) + " " + d.name; }

[[maybe_unused]] const bool kRegistered = [] {
  for (int d = 0; d < kDownloadCount; ++d) {
    for (int f = 0; f < kFaultCount; ++f) {
      if (f < kFirstDeadlineFault || IsDeadlineCase(d)) RegisterFaultCase(Subject(kDownloads[d]), kFaults[f].name);
    }
  }
  return true;
}();

std::string OldSerializationList() { return "2712345" + std::string(97, ' ') + "1999-01-02\r\n"; }

std::string Previous(const Download& d) {
  return std::string(d.name) == "serializacion.txt" ? OldSerializationList()
                                                    : "anterior " + std::string(d.name) + "\r\n";
}

std::string Backslashed(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

// The download, the fault, and whether the real program runs it.
using Case = std::tuple<int, int, bool>;

std::string CaseName(const testing::TestParamInfo<Case>& info) {
  std::string name;
  for (const char c : std::string(kDownloads[std::get<0>(info.param)].name)) name += std::isalnum(c) ? c : '_';
  return name + "_" + kFaults[std::get<1>(info.param)].short_name;
}

std::unique_ptr<MatrixRun> MakeRun(bool real) {
  if (real) return std::make_unique<ProgramRun>("Castilla y León");
  return std::make_unique<InProcessRun>("Castilla y León");
}

// The record files' states before and after are the same in every case: worked out once.
const DriveFiles& Memo(const std::string& key, const std::function<DriveFiles()>& make) {
  static std::map<std::string, DriveFiles> states;
  auto state = states.find(key);
  if (state == states.end()) state = states.emplace(key, make()).first;
  return state->second;
}

class FaultMatrix : public testing::TestWithParam<Case> {
 protected:
  FaultMatrix() : run_(MakeRun(std::get<2>(GetParam()))) {
    for (const Download& d : kDownloads) {
      if (*d.destination) run_->SetDataFile(d.destination, Previous(d));
    }
    pristine_ = &Memo("before the run", [this] { return Records(); });
  }

  const Download& download() const { return kDownloads[std::get<0>(GetParam())]; }
  int index() const { return std::get<0>(GetParam()); }
  const Fault& fault() const { return kFaults[std::get<1>(GetParam())]; }
  std::optional<std::string> F(const std::string& relative) { return run_->DataFile(relative); }
  DriveFiles Records() { return RecordFiles(*run_); }
  std::string Served(const Download& d) { return ReadFileBytes(run_->pharmacy().site(d.site) / (d.path + 1)); }

  // Injects the fault into this case's download and runs the program.
  ProgramResult RunWithFault() {
    const Download& d = download();
    const std::string rule = std::string(d.site) + " " + d.path;
    if (fault().directive != nullptr && *fault().directive == '\0') {
      run_->SetFault(rule + " redirect " + d.path);
    } else if (fault().directive != nullptr) {
      run_->SetFault(rule + " " + fault().directive);
    } else if (index() == kCoop || index() == kCouncil) {
      run_->RefuseSite(d.site);
    } else {
      // The other sites stay up: only this download's connection is refused, after a redirect.
      run_->SetFault(rule + " redirect " + run_->RefusedBase() + d.path);
    }
    return run_->RunProgram();
  }

  // The requests of the run up to `last` (excluded); then the failing one, when the site saw it.
  std::vector<std::string> ExpectedRequests(int last, bool failing_seen) {
    std::vector<std::string> lines;
    for (int i = 0; i < last; ++i)
      lines.push_back(std::string(kDownloads[i].site) + " GET " + kDownloads[i].path + " 200");
    // A redirect to itself is asked for once and followed five times; a transient fault is
    // tried three times.
    const int times = fault().directive != nullptr && *fault().directive == '\0' ? 6 : Attempts();
    for (int i = 0; failing_seen && i < times; ++i) {
      lines.push_back(std::string(download().site) + " GET " + download().path + " " + Logged(i));
    }
    return lines;
  }

  // A later attempt asks for the rest of a trickling body (206); past the end of a body
  // shorter than its length (416), and then for the whole file again.
  std::string Logged(int attempt) const {
    const std::string d = fault().directive != nullptr ? fault().directive : "";
    if (attempt > 0 && d.starts_with("extra-length")) return attempt == 1 ? "416" : "200";
    if (attempt > 0 && d.starts_with("rate")) return "206";
    return fault().logged_status;
  }
  int Attempts() const {
    return fault().directive != nullptr && (std::string(fault().directive) == "status 404" || !*fault().directive) ? 1
                                                                                                                   : 3;
  }

  std::unique_ptr<MatrixRun> run_;
  const DriveFiles* pristine_;
};

// What the failing download's destination holds after the run.
std::string DestinationState(const std::optional<std::string>& now, const std::string& previous,
                             const std::string& served) {
  if (!now) return "file absent";
  if (*now == previous) return "old file kept";
  if (now->empty()) return "file left empty";
  if (*now == served) return "new file stored";
  return "file changed";
}

using UpdateServerFault = FaultMatrix;

TEST_P(UpdateServerFault, ShowsTheBoxEndsAndLeavesEverythingAsTheLastStepLeftIt) {
  const int k = index();
  const ProgramResult result = RunWithFault();

  const std::string box =
      "msgbox\tcritical\tError de actualizacion\tNo puede descargar \\nF:\\" + Backslashed(download().destination) +
      "\\n\\nEl proceso de actualizacion se va a interrumpir\\nCompruebe si está conectado a internet";
  const auto boxes = LogLines(result, "msgbox");
  EXPECT_THAT(boxes, ElementsAreArray({box}));
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.ui_log.back(), "exit\t1");
  EXPECT_THAT(LogLines(result, "start"), IsEmpty());
  EXPECT_THAT(LogLines(result, "error"), IsEmpty());

  const auto expected_requests = ExpectedRequests(k, true);
  const auto requests = run_->RequestLines(expected_requests.size());
  EXPECT_THAT(requests, ElementsAreArray(expected_requests));
  const auto temporary = run_->TemporaryFiles();
  EXPECT_THAT(temporary, IsEmpty());

  // Earlier downloads are in place; this one and the later ones left what was there, except
  // that the notified-price list is emptied before its download and bdnet\temp at start.
  for (int i = 1; i < kDownloadCount; ++i) {
    const Download& d = kDownloads[i];
    const auto file = F(d.destination);
    const bool absent = i == kArchive;
    if (i < k) {
      EXPECT_EQ(file, Served(d)) << d.name;
    } else if (absent) {
      EXPECT_FALSE(file) << d.name;
    } else {
      EXPECT_EQ(file, i == k && i == kNotified ? "" : Previous(d)) << d.name;
    }
  }
  const auto now = F(download().destination);

  // The record files as the last step before the failure left them.
  const ConversionInputs in = ServedInputs(run_->pharmacy(), "NA");
  const DriveFiles& after_visa = Memo("visa", [&] { return AfterVisaImport(*pristine_, in.visa_list); });
  const DriveFiles& after_notified =
      Memo("notified", [&] { return AfterNotifiedPrices(after_visa, in.notified_list); });
  const DriveFiles records = Records();
  const std::string state = records == *pristine_       ? "records as before the run"
                            : records == after_visa     ? "records as after ImportVisadoList"
                            : records == after_notified ? "records as after the notified-price rebuild"
                                                        : "records changed otherwise";
  EXPECT_EQ(state, k <= kVisa       ? "records as before the run"
                   : k == kNotified ? "records as after ImportVisadoList"
                                    : "records as after the notified-price rebuild");

  const bool last = !requests.empty() && requests.size() == expected_requests.size() &&
                    requests.back().find(download().path) != std::string::npos;
  ExpectFaultRow(Subject(download()), fault().name,
                 std::string(boxes.size() == 1 && boxes[0] == box ? "failure box" : "no failure box") + ", exit " +
                     std::to_string(result.exit_code) + ", " + (last ? "no request after it" : "other requests") +
                     "; " + DestinationState(now, Previous(download()), Served(download())) + "; " + state + "; " +
                     (temporary.empty() ? "no temporary file" : "temporary file left"));
}

INSTANTIATE_TEST_SUITE_P(InProcess, UpdateServerFault,
                         testing::Combine(testing::Range(kFirstOnUpdateServer, kDownloadCount),
                                          testing::Range(0, kFirstDeadlineFault), testing::Values(false)),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(InProcessDeadlines, UpdateServerFault,
                         testing::Combine(testing::Values(kFirstOnUpdateServer, kArchive),
                                          testing::Range(kFirstDeadlineFault, kFaultCount), testing::Values(false)),
                         CaseName);
// The real program: an error status, a broken body, a stall after the first byte, a redirect
// loop.
INSTANTIATE_TEST_SUITE_P(RealProgram, UpdateServerFault,
                         testing::Values(Case{kFirstOnUpdateServer, 0, true}, Case{kNotified, 2, true},
                                         Case{kArchive, 8, true}, Case{kFirstOnUpdateServer, 9, true}),
                         CaseName);

using OtherSiteFault = FaultMatrix;

TEST_P(OtherSiteFault, IsSilentAndTheRunGoesOnWithTheFileThatWasThere) {
  const int k = index();
  const ProgramResult result = RunWithFault();

  EXPECT_THAT(LogLines(result, "msgbox"), IsEmpty());
  EXPECT_THAT(LogLines(result, "error"), IsEmpty());
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.ui_log.back(), "exit\t0");
  const bool completed = F("installer-ran").has_value();
  EXPECT_TRUE(completed);

  const bool seen = fault().directive != nullptr;
  std::vector<std::string> expected = ExpectedRequests(k, seen);
  for (int i = k + 1; i < kDownloadCount; ++i) {
    expected.push_back(std::string(kDownloads[i].site) + " GET " + kDownloads[i].path + " 200");
  }
  // The server logs a request when its answer ends, so one the program gave up on comes late
  // in the log.
  auto requests = run_->RequestLines(expected.size());
  for (int at = k; seen && fault().logged_late && at < k + Attempts(); ++at) {
    const auto stalled = std::find(requests.begin() + at, requests.end(), expected[static_cast<size_t>(at)]);
    if (stalled != requests.end()) std::rotate(requests.begin() + at, stalled, stalled + 1);
  }
  EXPECT_THAT(requests, ElementsAreArray(expected));
  const auto temporary = run_->TemporaryFiles();
  EXPECT_THAT(temporary, IsEmpty());

  // The council's list that was there is the one imported; the cooperative's file has no
  // destination at all.
  ConversionInputs in = ServedInputs(run_->pharmacy(), "NA");
  std::string used;
  if (k == kCouncil) {
    EXPECT_EQ(F(download().destination), OldSerializationList());
    in.serialization_list = OldSerializationList();
    used = F(download().destination) == OldSerializationList() ? "old serializacion.txt kept and imported"
                                                               : "serializacion.txt changed";
  } else {
    const bool written = run_->AnyPathContains("quenil");
    EXPECT_FALSE(written);
    used = written ? "a file written for it" : "nothing written for it";
  }
  const bool records_ok = Records() == Memo(k == kCouncil ? "run, old serialization list" : "run",
                                            [&] { return AfterRun(*pristine_, in); });
  EXPECT_TRUE(records_ok);

  ExpectFaultRow(Subject(download()), fault().name,
                 std::string(LogLines(result, "msgbox").empty() ? "no box" : "a box") + ", exit " +
                     std::to_string(result.exit_code) + ", " + (completed ? "run completed" : "run cut short") + "; " +
                     used + "; " + (records_ok ? "records converted" : "records differ") + "; " +
                     (temporary.empty() ? "no temporary file" : "temporary file left"));
}

INSTANTIATE_TEST_SUITE_P(InProcess, OtherSiteFault,
                         testing::Combine(testing::Values(kCoop, kCouncil), testing::Range(0, kFaultCount),
                                          testing::Values(false)),
                         CaseName);
// The real program: no answer, and a refused connection.
INSTANTIATE_TEST_SUITE_P(RealProgram, OtherSiteFault, testing::Values(Case{kCouncil, 6, true}, Case{kCoop, 5, true}),
                         CaseName);

}  // namespace
}  // namespace velmorin::test_support
