// A whole update run of the real program while another process, standing for the back-office
// program, keeps writing its own fields of the records the run changes: none of its writes
// may be lost, and the run's own fields come out as ever. Only that process writes those
// bytes, so each round it finds there what it wrote the round before, or a write was lost.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "convert/fields.h"
#include "convert/records.h"
#include "e2e/pharmacy.h"
#include "e2e/run_program.h"
#include "support/test_server.h"

namespace velmorin::test_support {
namespace {

struct Target {
  const char* file;
  size_t slot;
  TextField field;
};

// Back-office bytes lying between or beside the fields the run writes.
const Target kTargets[] = {
    {"velmorin/quorra/basey", ProductRecord::kLength, {75, 14}},
    {"velmorin/quorra/basey", ProductRecord::kLength, {118, 4}},
    {"velmorin/quorra/basey", ProductRecord::kLength, {124, 4}},
    {"velmorin/quorra/basea", ProductDetailRecord::kLength, {6, 30}},
    {"velmorin/quorra/basea", ProductDetailRecord::kLength, {44, 1}},
    {"velmorin/bases/LabGT", LabGtRecord::kSlotLength, {16, 1}},
};
constexpr int64_t kRecords[] = {101, 102, 103};

volatile std::sig_atomic_t stop = 0;

// Round `round` in a field of `width` bytes: its last digits.
std::string Stamp(unsigned round, size_t width) {
  std::string digits = std::string(width, '0') + std::to_string(round);
  return digits.substr(digits.size() - width);
}

struct Outcome {
  unsigned rounds = 0;
  unsigned lost = 0;
};

// Writes every target, round after round, until told to stop; then reports how it went.
[[noreturn]] void WriteUntilStopped(const Pharmacy& pharmacy, int report) {
  std::signal(SIGTERM, [](int) { stop = 1; });
  std::vector<int> fds;
  for (const Target& t : kTargets) fds.push_back(::open(pharmacy.F(t.file).c_str(), O_RDWR));
  Outcome outcome;
  while (!stop) {
    ++outcome.rounds;
    for (size_t i = 0; i < std::size(kTargets); ++i) {
      const size_t width = kTargets[i].field.width;
      const std::string bytes = Stamp(outcome.rounds, width);
      for (const int64_t n : kRecords) {
        const off_t at = static_cast<off_t>((n - 1) * kTargets[i].slot + kTargets[i].field.offset);
        std::string found(width, '\0');
        if (::pread(fds[i], found.data(), width, at) != static_cast<ssize_t>(width)) _exit(2);
        outcome.lost += outcome.rounds > 1 && found != Stamp(outcome.rounds - 1, width);
        if (::pwrite(fds[i], bytes.data(), width, at) != static_cast<ssize_t>(width)) _exit(2);
      }
    }
    ::usleep(100);
  }
  (void)!::write(report, &outcome, sizeof outcome);
  _exit(0);
}

TEST(BackOfficeWriterE2E, ItsWritesDuringAWholeRunAllStay) {
  Pharmacy pharmacy("Extremadura");
  TestServer server(
      {{"update", pharmacy.site("update")}, {"council", pharmacy.site("council")}, {"coop", pharmacy.site("coop")}});
  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  const pid_t writer = ::fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) WriteUntilStopped(pharmacy, pipe_fds[1]);
  ::close(pipe_fds[1]);
  const ProgramResult result =
      RunProgram({{"VELMORIN_DRIVES", pharmacy.drives().string()},
                  {"VELMORIN_UPDATE_SERVER", server.BaseUrl("update")},
                  {"VELMORIN_COUNCIL_SITE", server.BaseUrl("council")},
                  {"VELMORIN_COOP_SITE", server.BaseUrl("coop")},
                  {"VELMORIN_UPDATE_ADDRESS", "127.0.0.1:" + std::to_string(server.Port("update"))},
                  {"VELMORIN_UPDATE_HOSTNAME", "actualizaciones.velmorin.es"},
                  {"VELMORIN_REPORT", (pharmacy.ui_log().parent_path() / "report.log").string()}},
                 pharmacy.ui_log());
  ::kill(writer, SIGTERM);
  Outcome outcome;
  EXPECT_EQ(::read(pipe_fds[0], &outcome, sizeof outcome), static_cast<ssize_t>(sizeof outcome));
  int status = 0;
  ::waitpid(writer, &status, 0);
  ASSERT_EQ(result.exit_code, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_GT(outcome.rounds, 1000u);
  EXPECT_EQ(outcome.lost, 0u);
  for (const Target& t : kTargets) {
    for (const int64_t n : kRecords) {
      EXPECT_EQ(GetText(pharmacy.Record(t.file, t.slot, n), t.field), Stamp(outcome.rounds, t.field.width))
          << t.file << " " << n;
    }
  }
  using PR = ProductRecord;
  const std::string basey = pharmacy.Record("velmorin/quorra/basey", PR::kLength, 101);
  EXPECT_EQ(GetText(basey, PR::kAmountText), "00012.50 ");
  EXPECT_EQ(GetText(basey, PR::kGenericMark), "EFG");
  EXPECT_EQ(GetText(basey, PR::kRegionFlag), "Y");
  EXPECT_EQ(GetText(basey, PR::kEndMarkText), std::string(20, ' '));
  EXPECT_EQ(GetText(pharmacy.Record("velmorin/quorra/basey", PR::kLength, 102), PR::kVisadoMark), "7");
  using DR = ProductDetailRecord;
  EXPECT_EQ(GetText(pharmacy.Record("velmorin/quorra/basea", DR::kLength, 101), DR::kCol36Code), "LAB3");
  EXPECT_EQ(pharmacy.Record("velmorin/bases/LabGT", LabGtRecord::kSlotLength, 101).substr(6, 10), "LAB36LAB41");
}

}  // namespace
}  // namespace velmorin::test_support
