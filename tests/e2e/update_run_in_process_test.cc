// Update runs on the fakes whose outcome the run report, the box or the record files show:
// a failed update-server download, a report that cannot be written, a council site that
// fails, and a redirect whose own body stalls.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2e/in_process_run.h"

namespace velmorin::test_support {
namespace {

namespace fs = std::filesystem;
using testing::Contains;
using testing::ElementsAre;
using testing::MatchesRegex;

TEST(UpdateRunInProcess, UpdateServerFailureShowsTheBoxAndEndsWithOne) {
  InProcessRun run("Extremadura");
  // The update server's own address: the box names it by its hostname, not the destination.
  run.settings().update_address = "update.fake";
  run.SetFault("update /datosprefmenor/VISADO75.txt status 404");
  const ProgramResult result = run.RunProgram();
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_THAT(LogLines(result, "msgbox"),
              ElementsAre("msgbox\tcritical\tError de actualizacion\tNo puede descargar \\nUltima Versión de "
                          "actualizaciones.velmorin.es\\n\\nEl proceso de actualizacion se va a interrumpir\\n"
                          "Compruebe si está conectado a internet"));
  const auto requests = run.RequestLines(4);
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests.back(), "update GET /datosprefmenor/VISADO75.txt 404");
  EXPECT_FALSE(run.DataFile("velmorin/VISADO75.txt"));
  EXPECT_THAT(LogLines(result, "start"), testing::IsEmpty());
  EXPECT_EQ(result.ui_log.back(), "exit\t1");
  // The box says only "No puede descargar"; the report names the cause.
  const std::vector<std::string> report = ReportEvents(run.Report());
  EXPECT_THAT(report, Contains(MatchesRegex("descarga: http://.*/datosprefmenor/VISADO75.txt -> F:.*VISADO75.txt: "
                                            "fallo: .*404.*; HTTP 404; .*")));
  EXPECT_THAT(report, Contains(testing::StartsWith("mensaje: Error de actualizacion: No puede descargar  | ")));
  EXPECT_EQ(report.back(), "fin: código de salida 1");
}

TEST(UpdateRunInProcess, AReportThatCannotBeWrittenChangesNothing) {
  InProcessRun run("Extremadura");
  TempDir dir;
  run.SetReportPath((dir.path() / "no-such-folder" / "report.log").string());
  run.SetFault("update /datosprefmenor/VISADO75.txt status 404");
  const ProgramResult result = run.RunProgram();
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_THAT(LogLines(result, "msgbox"), testing::SizeIs(1));
  EXPECT_EQ(result.ui_log.back(), "exit\t1");
  EXPECT_FALSE(fs::exists(dir.path() / "no-such-folder"));
}

TEST(UpdateRunInProcess, CouncilFailureIsSilentAndTheOldListIsImported) {
  InProcessRun run("Extremadura");
  run.SetDataFile("velmorin/bases/serializacion.txt", "2712345" + std::string(97, ' ') + "1999-01-02\r\n");
  run.SetFault("council /serializacion.txt status 500");
  const ProgramResult result = run.RunProgram();
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_THAT(LogLines(result, "msgbox"), testing::IsEmpty());
  EXPECT_EQ(run.DataFile("velmorin/quorra/baseext").value_or("").substr(100 * 100 + 90, 9), "199901022");
  // Passed over in silence by the run, not by the report.
  EXPECT_THAT(ReportEvents(run.Report()),
              Contains(MatchesRegex(
                  "descarga: http://.*/serializacion.txt -> .*serializacion.txt: fallo: .*500.*; HTTP 500; .*")));
}

// The redirect's own body is never read: were it read, its stall would outlast the stall
// deadline and fail the download.
TEST(UpdateRunInProcess, ARedirectWhoseBodyStallsIsFollowedAtOnce) {
  InProcessRun run("Extremadura");
  run.ServeSiteFile("update", "/moved/SNOMED.txt", "moved list\r\n");
  run.SetFault("update /datosprefmenor/SNOMED.txt redirect /moved/SNOMED.txt extra-length 89 stall-after 10 60");
  const ProgramResult result = run.RunProgram();
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(run.DataFile("velmorin/quorra/SNOMED.txt"), "moved list\r\n");
}

}  // namespace
}  // namespace velmorin::test_support
