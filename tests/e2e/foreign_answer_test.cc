// Whole runs where an answer is not the maker's file as it is. A web filter's page, a proxy
// that asks for credentials and an untrusted certificate for the visa list: the box, and
// nothing imported. An update server that codes every file unasked: the run as usual.
#include <gtest/gtest.h>

#include "e2e/fault_run.h"

namespace velmorin::test_support {
namespace {

const char kVisa[] = "/datosprefmenor/VISADO75.txt";
const char kOld[] = "anterior VISADO75.txt\r\n";
const char* const kFailures[] = {"web filter's page (HTTP 200, text/html)", "proxy asks for credentials (HTTP 407)",
                                 "untrusted certificate (https)"};

[[maybe_unused]] const bool kRegistered = [] {
  for (const char* fault : kFailures) RegisterFaultCase("update VISADO75.txt", fault);
  return RegisterFaultCase("update every file", "coded gzip, unasked");
}();

class ForeignAnswer : public testing::TestWithParam<int> {
 protected:
  ForeignAnswer() : run_("Castilla y León") { WriteFileBytes(F("velmorin/VISADO75.txt"), kOld); }
  std::filesystem::path F(const std::string& relative) { return run_.pharmacy().F(relative); }
  DriveFiles Records() { return ReadFiles(run_.pharmacy().drives() / "F", RecordFilePaths()); }

  // An https site for the update folder whose certificate, made here, nobody trusts.
  std::string UntrustedUrl() {
    const std::string cert = (dir_.path() / "c.pem").string(), key = (dir_.path() / "c.key").string();
    const std::string make =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 "
        "-keyout " +
        key + " -out " + cert + " 2>/dev/null";
    if (std::system(make.c_str()) != 0) return "";
    tls_ = std::make_unique<TestServer>(std::vector<TestServer::Site>{{"s", run_.pharmacy().site("update"), true}},
                                        cert, key);
    return tls_->Url("s", kVisa);
  }

  TempDir dir_;
  FaultRun run_;
  const DriveFiles pristine_ = Records();
  std::unique_ptr<TestServer> tls_;
};

TEST_P(ForeignAnswer, IsAFailedTransferThatLeavesEverythingAsItWas) {
  const std::string rule = GetParam() == 0   ? "block-page"
                           : GetParam() == 1 ? "status 407"
                                             : "redirect " + UntrustedUrl();
  if (rule == "redirect ") GTEST_SKIP() << "no openssl to make a certificate";
  run_.server().SetFaults(std::string("update ") + kVisa + " " + rule + "\n");
  const ProgramResult result = run_.Run();

  const auto boxes = LogLines(result, "msgbox");
  const bool box = boxes.size() == 1 && boxes[0].starts_with(
                                            "msgbox\tcritical\tError de actualizacion\tNo puede "
                                            "descargar \\nF:\\velmorin\\VISADO75.txt\\n");
  const auto requests = run_.RequestLines(4);
  const bool last = requests.size() == 4 && requests.back().starts_with(std::string("update GET ") + kVisa);
  ExpectFaultRow("update VISADO75.txt", kFailures[GetParam()],
                 std::string(box ? "failure box" : "no failure box") + ", exit " + std::to_string(result.exit_code) +
                     ", " + (last ? "no request after it" : "other requests") + "; " +
                     (ReadFileBytes(F("velmorin/VISADO75.txt")) == kOld ? "old file kept" : "file changed") + "; " +
                     (Records() == pristine_ ? "records as before the run" : "records changed") + "; " +
                     (run_.TemporaryFiles().empty() ? "no temporary file" : "temporary file left"));
}

INSTANTIATE_TEST_SUITE_P(VisaList, ForeignAnswer, testing::Range(0, 3));

TEST_F(ForeignAnswer, FilesCodedUnaskedAreStoredDecodedAndTheRunGoesOn) {
  run_.server().SetFaults("update /* coding gzip\n");
  const ProgramResult result = run_.Run();

  const auto served = [&](const char* path) { return ReadFileBytes(run_.pharmacy().site("update") / path); };
  const bool stored = ReadFileBytes(F("velmorin/VISADO75.txt")) == served("datosprefmenor/VISADO75.txt") &&
                      ReadFileBytes(F("velmorin/preferencia/espec")) == served("datosprefmenor/espec.NA");
  ExpectFaultRow(
      "update every file", "coded gzip, unasked",
      std::string(LogLines(result, "msgbox").empty() ? "no box" : "a box") + ", exit " +
          std::to_string(result.exit_code) + ", " +
          (std::filesystem::exists(F("installer-ran")) ? "run completed" : "run cut short") + "; " +
          (stored ? "lists stored decoded" : "lists differ") + "; " +
          (Records() == AfterRun(pristine_, run_.ServedInputs("NA")) ? "records converted" : "records differ"));
}

}  // namespace
}  // namespace velmorin::test_support
