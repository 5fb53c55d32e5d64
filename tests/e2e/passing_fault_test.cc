// Update runs on the fakes through a network fault that passes: the update server cuts a body,
// answers 503 twice, closes a connection unanswered, or changes the archive between two
// attempts. Each run ends normally with every record file right; a cut archive goes on from
// where it stopped.
#include <gtest/gtest.h>

#include "e2e/in_process_run.h"

namespace velmorin::test_support {
namespace {

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
  InProcessRun run("Castilla y León");
  const DriveFiles pristine = RecordFiles(run);
  run.SetFault(std::string("update ") + p.rules);
  const std::string archive = ReadFileBytes(run.pharmacy().site("update") / (kArchive + 1));
  bool changed = false;
  run.OnAnswered([&](const std::string& line) {
    if (p.change_archive && !changed && line.find(kArchive) != std::string::npos) {
      changed = true;
      run.ServeSiteFile("update", kArchive, archive);
    }
  });
  const ProgramResult result = run.RunProgram();

  EXPECT_TRUE(LogLines(result, "msgbox").empty());
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_TRUE(run.TemporaryFiles().empty());
  EXPECT_TRUE(RecordFiles(run) == AfterRun(pristine, ServedInputs(run.pharmacy(), "NA")));
  std::vector<std::string> statuses;
  for (const std::string& line : run.RequestLines(0)) {
    if (line.starts_with("update GET " + p.path + " ")) statuses.push_back(line.substr(line.rfind(' ') + 1));
  }
  EXPECT_EQ(statuses, p.statuses);
}

INSTANTIATE_TEST_SUITE_P(
    UpdateServer, PassingFault,
    testing::Values(
        Passing{"CutArchive", kArchive + std::string(" close-after 20 times 1"), kArchive, {"200", "206"}},
        Passing{"Twice503",
                "/datosprefmenor/VISADO75.txt status 503 times 2",
                "/datosprefmenor/VISADO75.txt",
                {"503", "503", "200"}},
        Passing{"ClosedUnanswered",
                "/datosprefmenor/SNOMED.txt silence 0 times 1",
                "/datosprefmenor/SNOMED.txt",
                {"0", "200"}},
        Passing{"ArchiveChanged", kArchive + std::string(" close-after 20 times 1"), kArchive, {"200", "200"}, true}),
    [](const testing::TestParamInfo<Passing>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace velmorin::test_support
