// Where an answer is not the maker's file as it is: for the visa list the box and nothing
// imported; for files coded unasked the run as usual. An untrusted certificate needs the real
// transport, so that case is a whole run of the program; the others are update runs on the fakes.
#include <gtest/gtest.h>

#include "e2e/in_process_run.h"

namespace velmorin::test_support {
namespace {

const std::string kVisa = "/datosprefmenor/VISADO75.txt";
const char* const kFailures[] = {"web filter's page (HTTP 200, text/html)", "proxy asks for credentials (HTTP 407)",
                                 "untrusted certificate (https)"};

[[maybe_unused]] const bool kRegistered = [] {
  for (const char* fault : kFailures) RegisterFaultCase("update VISADO75.txt", fault);
  return RegisterFaultCase("update every file", "coded gzip, unasked");
}();

// Runs with the visa list's download failing as `rule` makes it fail, and checks the row.
void ExpectVisaFailureRow(MatrixRun& run, const std::string& rule, const char* fault) {
  run.SetDataFile("velmorin/VISADO75.txt", "anterior\r\n");
  const DriveFiles pristine = RecordFiles(run);
  run.SetFault("update " + kVisa + " " + rule);
  const ProgramResult result = run.RunProgram();

  const auto boxes = LogLines(result, "msgbox");
  const auto requests = run.RequestLines(4);
  const bool box = boxes.size() == 1 && boxes[0].starts_with(
                                            "msgbox\tcritical\tError de actualizacion\tNo puede "
                                            "descargar \\nF:\\velmorin\\VISADO75.txt\\n");
  const bool last = requests.size() == 4 && requests[3].starts_with("update GET " + kVisa);
  ExpectFaultRow("update VISADO75.txt", fault,
                 std::string(box ? "failure box" : "no failure box") + ", exit " + std::to_string(result.exit_code) +
                     (last ? ", no request after it; " : ", other requests; ") +
                     (run.DataFile("velmorin/VISADO75.txt") == "anterior\r\n" ? "old file kept; " : "file changed; ") +
                     (RecordFiles(run) == pristine ? "records as before the run; " : "records changed; ") +
                     (run.TemporaryFiles().empty() ? "no temporary file" : "temporary file left"));
}

TEST(ForeignAnswer, AWebFiltersPageIsAFailedTransferThatLeavesEverythingAsItWas) {
  InProcessRun run("Castilla y León");
  ExpectVisaFailureRow(run, "block-page", kFailures[0]);
}

TEST(ForeignAnswer, AProxyAskingForCredentialsIsAFailedTransferThatLeavesEverythingAsItWas) {
  InProcessRun run("Castilla y León");
  ExpectVisaFailureRow(run, "status 407", kFailures[1]);
}

// The real program, redirected to an https site of the update folder whose certificate, made
// here, nobody trusts.
TEST(ForeignAnswer, AnUntrustedCertificateIsAFailedTransferThatLeavesEverythingAsItWas) {
  ProgramRun run("Castilla y León");
  TempDir dir;
  const std::string cert = (dir.path() / "c.pem").string(), key = (dir.path() / "c.key").string();
  if (std::system(("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -addext subjectAltName="
                   "IP:127.0.0.1 -keyout " +
                   key + " -out " + cert + " 2>/dev/null")
                      .c_str()) != 0) {
    GTEST_SKIP() << "no openssl to make a certificate";
  }
  TestServer tls({{"s", run.pharmacy().site("update"), true}}, cert, key);
  ExpectVisaFailureRow(run, "redirect " + tls.Url("s", kVisa), kFailures[2]);
}

TEST(ForeignAnswer, FilesCodedUnaskedAreStoredDecodedAndTheRunGoesOn) {
  InProcessRun run("Castilla y León");
  run.SetDataFile("velmorin/VISADO75.txt", "anterior\r\n");
  const DriveFiles pristine = RecordFiles(run);
  run.SetFault("update /* coding gzip");
  const ProgramResult result = run.RunProgram();
  ExpectFaultRow(
      "update every file", "coded gzip, unasked",
      std::string(LogLines(result, "msgbox").empty() ? "no box" : "a box") + ", exit " +
          std::to_string(result.exit_code) +
          (run.DataFile("installer-ran") ? ", run completed; " : ", run cut short; ") +
          (run.DataFile("velmorin/VISADO75.txt") == ReadFileBytes(run.pharmacy().site("update") / kVisa.substr(1))
               ? "lists stored decoded; "
               : "lists differ; ") +
          (RecordFiles(run) == AfterRun(pristine, ServedInputs(run.pharmacy(), "NA")) ? "records converted"
                                                                                      : "records differ"));
}

}  // namespace
}  // namespace velmorin::test_support
