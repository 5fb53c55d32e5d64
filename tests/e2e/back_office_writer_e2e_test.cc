// A whole update run of the real program while another process, standing for the back-office
// program, keeps writing its own fields of the records the run changes. Only that process
// writes those bytes, so each round it must find there what it wrote the round before.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>

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
// Back-office bytes between and beside the fields the run writes, of records 101 to 103.
const Target kTargets[] = {{"velmorin/quorra/basey", 128, {75, 14}},
                           {"velmorin/quorra/basey", 128, {118, 4}},
                           {"velmorin/quorra/basea", 62, {6, 30}},
                           {"velmorin/quorra/basea", 62, {44, 1}},
                           {"velmorin/bases/LabGT", 17, {16, 1}}};

volatile std::sig_atomic_t stop = 0;

std::string Stamp(unsigned round, size_t width) {
  const std::string digits = std::string(width, '0') + std::to_string(round);
  return digits.substr(digits.size() - width);
}

// Rounds written and writes found lost, sent to `report` once stopped.
[[noreturn]] void WriteUntilStopped(const Pharmacy& pharmacy, int report) {
  std::signal(SIGTERM, [](int) { stop = 1; });
  unsigned counts[2] = {0, 0};
  while (!stop) {
    ++counts[0];
    for (const Target& t : kTargets) {
      const int fd = ::open(pharmacy.F(t.file).c_str(), O_RDWR);
      for (const off_t n : {101, 102, 103}) {
        const off_t at = (n - 1) * static_cast<off_t>(t.slot) + static_cast<off_t>(t.field.offset);
        std::string found(t.field.width, '\0');
        if (::pread(fd, found.data(), found.size(), at) != static_cast<ssize_t>(found.size())) _exit(2);
        counts[1] += counts[0] > 1 && found != Stamp(counts[0] - 1, found.size());
        const std::string stamp = Stamp(counts[0], found.size());
        if (::pwrite(fd, stamp.data(), stamp.size(), at) != static_cast<ssize_t>(stamp.size())) _exit(2);
      }
      ::close(fd);
    }
    ::usleep(100);
  }
  _exit(::write(report, counts, sizeof counts) == sizeof counts ? 0 : 3);
}

TEST(BackOfficeWriterE2E, ItsWritesDuringAWholeRunAllStay) {
  Pharmacy pharmacy("Extremadura");
  TestServer server(
      {{"update", pharmacy.site("update")}, {"council", pharmacy.site("council")}, {"coop", pharmacy.site("coop")}});
  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  const pid_t writer = ::fork();
  if (writer == 0) WriteUntilStopped(pharmacy, pipe_fds[1]);
  const ProgramResult result =
      RunProgram({{"VELMORIN_DRIVES", pharmacy.drives().string()},
                  {"VELMORIN_UPDATE_SERVER", server.BaseUrl("update")},
                  {"VELMORIN_COUNCIL_SITE", server.BaseUrl("council")},
                  {"VELMORIN_COOP_SITE", server.BaseUrl("coop")},
                  {"VELMORIN_REPORT", (pharmacy.ui_log().parent_path() / "report.log").string()}},
                 pharmacy.ui_log());
  ::kill(writer, SIGTERM);
  unsigned counts[2] = {0, 0};
  EXPECT_EQ(::read(pipe_fds[0], counts, sizeof counts), static_cast<ssize_t>(sizeof counts));
  ::waitpid(writer, nullptr, 0);
  ASSERT_EQ(result.exit_code, 0);
  EXPECT_GT(counts[0], 1000u);
  EXPECT_EQ(counts[1], 0u) << "writes lost";
  for (const Target& t : kTargets) {
    for (const int64_t n : {101, 102, 103})
      EXPECT_EQ(GetText(pharmacy.Record(t.file, t.slot, n), t.field), Stamp(counts[0], t.field.width)) << t.file;
  }
  using PR = ProductRecord;
  const std::string basey = pharmacy.Record("velmorin/quorra/basey", PR::kLength, 101);
  EXPECT_EQ(GetText(basey, PR::kAmountText) + GetText(basey, PR::kGenericMark) + GetText(basey, PR::kRegionFlag),
            "00012.50 EFGY");
  EXPECT_EQ(GetText(basey, PR::kEndMarkText), std::string(20, ' '));
  EXPECT_EQ(GetText(pharmacy.Record("velmorin/quorra/basey", PR::kLength, 102), PR::kVisadoMark), "7");
  EXPECT_EQ(pharmacy.Record("velmorin/quorra/basea", 62, 101).substr(36, 4), "LAB3");
  EXPECT_EQ(pharmacy.Record("velmorin/bases/LabGT", 17, 101).substr(6, 10), "LAB36LAB41");
}

}  // namespace
}  // namespace velmorin::test_support
