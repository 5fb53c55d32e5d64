// Whole runs where an answer is not the maker's file as it is: for the visa list the box and
// nothing imported; for files coded unasked the run as usual.
#include <gtest/gtest.h>

#include "e2e/fault_run.h"

namespace velmorin::test_support {
namespace {

const std::string kVisa = "/datosprefmenor/VISADO75.txt";
const char* const kFailures[] = {"web filter's page (HTTP 200, text/html)", "proxy asks for credentials (HTTP 407)",
                                 "untrusted certificate (https)"};

[[maybe_unused]] const bool kRegistered = [] {
  for (const char* fault : kFailures) RegisterFaultCase("update VISADO75.txt", fault);
  return RegisterFaultCase("update every file", "coded gzip, unasked");
}();

class ForeignAnswer : public testing::TestWithParam<int> {
 protected:
  ForeignAnswer() { WriteFileBytes(Visa(), "anterior\r\n"); }
  std::filesystem::path Visa() { return run_.pharmacy().F("velmorin/VISADO75.txt"); }
  DriveFiles Records() { return ReadFiles(run_.pharmacy().drives() / "F", RecordFilePaths()); }

  // An https site of the update folder whose certificate, made here, nobody trusts.
  std::string UntrustedUrl() {
    const std::string cert = (dir_.path() / "c.pem").string(), key = (dir_.path() / "c.key").string();
    if (std::system(("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -addext subjectAltName="
                     "IP:127.0.0.1 -keyout " +
                     key + " -out " + cert + " 2>/dev/null")
                        .c_str()) != 0) {
      return "";
    }
    tls_ = std::make_unique<TestServer>(std::vector<TestServer::Site>{{"s", run_.pharmacy().site("update"), true}},
                                        cert, key);
    return tls_->Url("s", kVisa);
  }

  TempDir dir_;
  FaultRun run_{"Castilla y León"};
  const DriveFiles pristine_ = Records();
  std::unique_ptr<TestServer> tls_;
};

TEST_P(ForeignAnswer, IsAFailedTransferThatLeavesEverythingAsItWas) {
  const std::string rule = GetParam() == 0   ? "block-page"
                           : GetParam() == 1 ? "status 407"
                                             : "redirect " + UntrustedUrl();
  if (rule == "redirect ") GTEST_SKIP() << "no openssl to make a certificate";
  run_.server().SetFaults("update " + kVisa + " " + rule + "\n");
  const ProgramResult result = run_.Run();

  const auto boxes = LogLines(result, "msgbox");
  const auto requests = run_.RequestLines(4);
  const bool box = boxes.size() == 1 && boxes[0].starts_with(
                                            "msgbox\tcritical\tError de actualizacion\tNo puede "
                                            "descargar \\nF:\\velmorin\\VISADO75.txt\\n");
  const bool last = requests.size() == 4 && requests[3].starts_with("update GET " + kVisa);
  ExpectFaultRow("update VISADO75.txt", kFailures[GetParam()],
                 std::string(box ? "failure box" : "no failure box") + ", exit " + std::to_string(result.exit_code) +
                     (last ? ", no request after it; " : ", other requests; ") +
                     (ReadFileBytes(Visa()) == "anterior\r\n" ? "old file kept; " : "file changed; ") +
                     (Records() == pristine_ ? "records as before the run; " : "records changed; ") +
                     (run_.TemporaryFiles().empty() ? "no temporary file" : "temporary file left"));
}

INSTANTIATE_TEST_SUITE_P(VisaList, ForeignAnswer, testing::Range(0, 3));

TEST_F(ForeignAnswer, FilesCodedUnaskedAreStoredDecodedAndTheRunGoesOn) {
  run_.server().SetFaults("update /* coding gzip\n");
  const ProgramResult result = run_.Run();
  ExpectFaultRow(
      "update every file", "coded gzip, unasked",
      std::string(LogLines(result, "msgbox").empty() ? "no box" : "a box") + ", exit " +
          std::to_string(result.exit_code) +
          (std::filesystem::exists(run_.pharmacy().F("installer-ran")) ? ", run completed; " : ", run cut short; ") +
          (ReadFileBytes(Visa()) == ReadFileBytes(run_.pharmacy().site("update") / kVisa.substr(1))
               ? "lists stored decoded; "
               : "lists differ; ") +
          (Records() == AfterRun(pristine_, run_.ServedInputs("NA")) ? "records converted" : "records differ"));
}

}  // namespace
}  // namespace velmorin::test_support
