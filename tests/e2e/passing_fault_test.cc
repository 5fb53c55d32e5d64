// Whole runs through a network fault that passes: the update server cuts a body, answers 503
// twice, closes a connection unanswered, or changes the archive between two attempts. Each
// run ends normally with every record file right; a cut archive goes on from where it stopped.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "e2e/fault_run.h"

namespace velmorin::test_support {
namespace {

namespace fs = std::filesystem;

constexpr char kArchive[] = "/bdi/bases/euro/dolvek.arj";

struct Passing {
  const char* name;
  std::string rules;
  std::string path;                   // whose requests are checked
  std::vector<std::string> statuses;  // of its requests, in order
  bool change_archive = false;        // rewritten (same bytes, a new validator) after its first request
};

class PassingFault : public testing::TestWithParam<Passing> {};

TEST_P(PassingFault, TheRunEndsNormallyWithEveryRecordFileRight) {
  const Passing& p = GetParam();
  FaultRun run("Castilla y León");
  const DriveFiles pristine = ReadFiles(run.pharmacy().drives() / "F", RecordFilePaths());
  run.server().SetFaults(p.rules);
  std::atomic<bool> done{false};
  std::thread changer([&] {
    const fs::path archive = run.pharmacy().site("update") / (kArchive + 1);
    while (p.change_archive && !done) {
      const auto requests = run.server().Requests();
      if (std::any_of(requests.begin(), requests.end(), [](const auto& r) { return r.path == kArchive; })) {
        WriteFileBytes(archive, ReadFileBytes(archive));
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  const ProgramResult result = run.Run();
  done = true;
  changer.join();

  EXPECT_TRUE(LogLines(result, "msgbox").empty());
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_TRUE(run.TemporaryFiles().empty());
  EXPECT_TRUE(ReadFiles(run.pharmacy().drives() / "F", RecordFilePaths()) ==
              AfterRun(pristine, run.ServedInputs("NA")));
  std::vector<std::string> statuses;
  for (const auto& r : run.server().Requests()) {
    if (r.path == p.path) statuses.push_back(std::to_string(r.status));
  }
  EXPECT_EQ(statuses, p.statuses);
}

INSTANTIATE_TEST_SUITE_P(UpdateServer, PassingFault,
                         testing::Values(Passing{"CutArchive",
                                                 std::string("update ") + kArchive + " close-after 20 times 1\n",
                                                 kArchive,
                                                 {"200", "206"}},
                                         Passing{"Twice503",
                                                 "update /datosprefmenor/VISADO75.txt status 503 times 2\n",
                                                 "/datosprefmenor/VISADO75.txt",
                                                 {"503", "503", "200"}},
                                         Passing{"ClosedUnanswered",
                                                 "update /datosprefmenor/SNOMED.txt silence 0 times 1\n",
                                                 "/datosprefmenor/SNOMED.txt",
                                                 {"0", "200"}},
                                         Passing{"ArchiveChanged",
                                                 std::string("update ") + kArchive + " close-after 20 times 1\n",
                                                 kArchive,
                                                 {"200", "200"},
                                                 true}),
                         [](const testing::TestParamInfo<Passing>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace velmorin::test_support
