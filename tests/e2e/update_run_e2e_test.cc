// Whole update runs of the real program against three loopback sites, with Debian's arj and
// tool stand-ins, on a drive tree in a temporary folder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "convert/fields.h"
#include "convert/records.h"
#include "e2e/pharmacy.h"
#include "e2e/run_program.h"
#include "support/test_server.h"

namespace velmorin::test_support {
namespace {

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::IsEmpty;

const char* const kHostname = "actualizaciones.velmorin.es";

class UpdateRunE2E : public testing::Test {
 protected:
  void Start(const std::string& region_name) {
    pharmacy_ = std::make_unique<Pharmacy>(region_name);
    server_ = std::make_unique<TestServer>(std::vector<TestServer::Site>{{"update", pharmacy_->site("update")},
                                                                         {"council", pharmacy_->site("council")},
                                                                         {"coop", pharmacy_->site("coop")}});
  }

  // `time_limit_s`, `kill_when`: the program is killed then, as a user or a crash would end it.
  ProgramResult Run(double time_limit_s = 120, std::function<bool()> kill_when = {}) {
    const std::string update = server_->BaseUrl("update");
    return RunProgram({{"VELMORIN_DRIVES", pharmacy_->drives().string()},
                       {"VELMORIN_UPDATE_SERVER", update},
                       {"VELMORIN_COUNCIL_SITE", server_->BaseUrl("council")},
                       {"VELMORIN_COOP_SITE", server_->BaseUrl("coop")},
                       {"VELMORIN_UPDATE_ADDRESS", "127.0.0.1:" + std::to_string(server_->Port("update"))},
                       {"VELMORIN_UPDATE_HOSTNAME", kHostname},
                       {"VELMORIN_REPORT", ReportPath().string()}},
                      pharmacy_->ui_log(), {.time_limit_s = time_limit_s, .kill_when = std::move(kill_when)});
  }

  fs::path ReportPath() const { return pharmacy_->ui_log().parent_path() / "report.log"; }

  // The run report's events, without the byte-order mark and the time stamps.
  std::vector<std::string> Report() const { return ReportEvents(ReadFileBytes(ReportPath())); }

  std::vector<std::string> RequestLines() const {
    std::vector<std::string> lines;
    for (const auto& r : server_->Requests())
      lines.push_back(r.site + " " + r.method + " " + r.path + " " + std::to_string(r.status));
    return lines;
  }

  static std::vector<std::string> ExpectedRequests(const std::string& suffix, bool cyl) {
    std::vector<std::string> r = {"coop GET /documentos/quenil.txt 200",
                                  "council GET /serializacion.txt 200",
                                  "update GET /datosprefmenor/SNOMED.txt 200",
                                  "update GET /datosprefmenor/VISADO75.txt 200",
                                  "update GET /datosprefmenor/pvpnotificados.txt 200",
                                  "update GET /datosprefmenor/bioequiv.txt 200"};
    if (cyl) r.push_back("update GET /datosprefmenor/Cyl_Menores.txt 200");
    r.push_back("update GET /datosprefmenor/espec." + suffix + " 200");
    r.push_back("update GET /datosprefmenor/conjunto." + suffix + " 200");
    r.push_back("update GET /datosprefmenor/Trelvanos.exe 200");
    r.push_back("update GET /datosprefmenor/NoSust.Gt 200");
    r.push_back("update GET /datosprefmenor/Quimbaleta.exe 200");
    if (cyl) r.push_back("update GET /datosprefmenor/Sustituir.cyl 200");
    r.push_back("update GET /bdi/bases/euro/dolvek.arj 200");
    r.push_back("update GET /bdi/tarquinas.txt 200");
    return r;
  }

  std::string Text(const std::string& file, size_t length, int64_t n, TextField field) const {
    return GetText(pharmacy_->Record(file, length, n), field);
  }
  float Float(const std::string& file, size_t length, int64_t n, size_t offset) const {
    return GetFloat32(pharmacy_->Record(file, length, n), offset);
  }

  void ExpectFilesLanded(bool cyl) const {
    for (const char* path :
         {"velmorin/bases/serializacion.txt", "velmorin/quorra/SNOMED.txt", "velmorin/VISADO75.txt",
          "velmorin/quorra/pvpnotificados.txt", "velmorin/quorra/bioequiv", "velmorin/preferencia/espec",
          "velmorin/preferencia/conjunto", "velmorin/reparar/Trelvanos.exe", "velmorin/AF/NoSust.Gt",
          "velmorin/reparar/Quimbaleta.exe", "velmorin/bdnet/temp/dolvek.arj", "velmorin/sodrilax/tarquinas.act",
          "velmorin/bases/dolvek.txt", "velmorin/bdnet/dolvek.txt", "velmorin/bdnet/ovt-qe58.exe", "quimbaleta-ran",
          "installer-ran"}) {
      EXPECT_TRUE(fs::exists(pharmacy_->F(path))) << path;
    }
    EXPECT_FALSE(fs::exists(pharmacy_->F("velmorin/sodrilax/tarquinas.txt")));
    EXPECT_FALSE(fs::exists(pharmacy_->F("velmorin/bdnet/left-over.txt")));
    EXPECT_EQ(fs::exists(pharmacy_->F("velmorin/maximos/Cyl_Menores.txt")), cyl);
    EXPECT_EQ(fs::exists(pharmacy_->F("velmorin/preferencia/Sustituir.cyl")), cyl);
    EXPECT_EQ(ReadFileBytes(pharmacy_->F("velmorin/bdnet/origen")), "VELMOR\xCDN\r\nDOLVEK\r\n\r\n");
    EXPECT_EQ(ReadFileBytes(pharmacy_->F("installer-ran")), pharmacy_->F("velmorin/bdnet").string() + "\n");
  }

  void ExpectRecords(char region_flag) const {
    using PR = ProductRecord;
    const std::string basey = "velmorin/quorra/basey";
    EXPECT_EQ(Text(basey, PR::kLength, 101, PR::kAmountText), "00012.50 ");
    EXPECT_EQ(Text(basey, PR::kLength, 101, PR::kVisadoMark), "N");
    EXPECT_EQ(Text(basey, PR::kLength, 101, PR::kGenericMark), "EFG");
    EXPECT_EQ(Text(basey, PR::kLength, 101, PR::kCol17Code), "T17");
    EXPECT_EQ(Text(basey, PR::kLength, 101, PR::kRegionFlag), std::string(1, region_flag));
    EXPECT_EQ(Text(basey, PR::kLength, 102, PR::kVisadoMark), "7");
    for (int64_t n : {101, 102, 103}) EXPECT_EQ(Text(basey, PR::kLength, n, PR::kEndMarkText), std::string(20, ' '));
    using DR = ProductDetailRecord;
    EXPECT_EQ(Text("velmorin/quorra/basea", DR::kLength, 101, DR::kCol7Code), "AB");
    EXPECT_EQ(Text("velmorin/quorra/basea", DR::kLength, 101, DR::kCol36Code), "LAB3");
    const std::string lab = pharmacy_->Record("velmorin/bases/LabGT", LabGtRecord::kSlotLength, 101);
    EXPECT_EQ(lab.substr(6), "LAB36LAB41\x7F");
    EXPECT_EQ(Float("velmorin/quorra/BaseP", 64, 101, NotifiedPriceRecord::kFirstPrice), 10.0f);
    EXPECT_EQ(Float("velmorin/quorra/BaseP", 64, 101, NotifiedPriceRecord::kSecondPrice), 12.5f);
    EXPECT_EQ(fs::file_size(pharmacy_->F("velmorin/quorra/BaseP")), 99999u * 64);
    EXPECT_EQ(Float("velmorin/preferencia/precios", 17, 102, PreferencePriceRecord::kFirstValue), 1.5f);
    EXPECT_EQ(Float("velmorin/preferencia/precios", 17, 102, PreferencePriceRecord::kSecondValue), 12.5f);
    EXPECT_EQ(Float("velmorin/preferencia/precios", 17, 102, PreferencePriceRecord::kThirdValue), 3.0f);
    const std::string ext = pharmacy_->Record("velmorin/quorra/baseext", 100, 101);
    EXPECT_EQ(ext.substr(90, 9), "202403151");
    EXPECT_EQ(pharmacy_->Record("velmorin/quorra/baseext", 100, 102).substr(90, 9), "        0");
  }

  std::unique_ptr<Pharmacy> pharmacy_;
  std::unique_ptr<TestServer> server_;
};

struct RegionCase {
  const char* name;
  const char* suffix;
  bool cyl;
  char region_flag;
};

class UpdateRunRegionE2E : public UpdateRunE2E, public testing::WithParamInterface<RegionCase> {
 protected:
  void ExpectReportOfAWholeRun(const std::string& region) const {
    const std::vector<std::string> report = Report();
    ASSERT_FALSE(report.empty());
    EXPECT_THAT(report.front(), testing::StartsWith("inicio: velmorin-update 1.0.0 en el equipo "));
    EXPECT_THAT(report, testing::Contains(testing::StartsWith("datos: unidad 'F:', región '" + region + "' (")));
    EXPECT_THAT(LinesStarting(report, "descarga: "), testing::SizeIs(RequestLines().size()));
    EXPECT_THAT(LinesStarting(report, "descarga: "),
                testing::Each(testing::MatchesRegex(".* -> .*: OK; HTTP 200; [0-9]+ bytes; [0-9.]+ s(; [^;]*)?"
                                                    "(; archivo: [0-9]+ bytes, SHA-256 [0-9a-f]{64})?")));
    EXPECT_THAT(report, testing::Contains(testing::MatchesRegex(
                            "descarga: http://127.0.0.1:[0-9]+/datosprefmenor/VISADO75.txt -> "
                            "F:\\\\velmorin\\\\VISADO75.txt: OK; HTTP 200; [1-9][0-9]* bytes; .*")));
    std::vector<std::string> routines;
    for (const auto& line : LinesStarting(report, "conversión: "))
      routines.push_back(line.substr(13, line.find(':', 13) - 13));
    EXPECT_THAT(routines, ElementsAre("ImportVisadoList", "RebuildNotifiedPrices", "ClearEndMarks", "ImportProductFile",
                                      "BuildPreferencePrices", "ImportSerializationList"));
    EXPECT_THAT(report, testing::Contains(testing::MatchesRegex(
                            "conversión: ImportProductFile: [1-9][0-9]* registros en .*; [0-9.]+ s")));
    EXPECT_THAT(LinesStarting(report, "programa iniciado"), testing::SizeIs(4));
    EXPECT_EQ(report.back(), "fin: código de salida 0");
  }
};

TEST_P(UpdateRunRegionE2E, AWholeRunFetchesConvertsAndStartsTheInstaller) {
  Start(GetParam().name);
  const ProgramResult result = Run();
  ASSERT_EQ(result.exit_code, 0) << testing::PrintToString(result.ui_log);
  EXPECT_THAT(RequestLines(), ElementsAreArray(ExpectedRequests(GetParam().suffix, GetParam().cyl)));
  ExpectFilesLanded(GetParam().cyl);
  ExpectRecords(GetParam().region_flag);
  EXPECT_THAT(LinesStarting(result.ui_log, "start\t"),
              ElementsAre("start\thidden\tcmd /c cd F:\\velmorin\\ &  arj e F:\\velmorin\\bdnet\\temp\\dolvek.arj "
                          "F:\\velmorin\\bases -y ",
                          "start\thidden\tcmd /c cd F:\\velmorin\\ &  arj e F:\\velmorin\\bdnet\\temp\\dolvek.arj "
                          "F:\\velmorin\\bdnet -y ",
                          "start\tfocused\tF:\\velmorin\\reparar\\quimbaleta.exe",
                          "start\thidden\tcmd /c cd F:\\velmorin\\bdnet\\soft\\ & copy ovt-qe58.exe "
                          "F:\\velmorin\\bdnet\\*.* & cd F:\\velmorin\\bdnet & ovt-qe58.exe"));
  EXPECT_THAT(LinesStarting(result.ui_log, "msgbox"), IsEmpty());
  EXPECT_EQ(result.ui_log.back(), "exit\t0");
  EXPECT_GE(result.seconds, 20);  // two 5-second waits and the installer's 10 seconds
  ExpectReportOfAWholeRun(GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Regions, UpdateRunRegionE2E,
    testing::Values(RegionCase{"Castilla y León", "NA", true, 'X'}, RegionCase{"Castilla-La Mancha", "CM", false, 'R'},
                    RegionCase{"Extremadura", "EX", false, 'Y'}, RegionCase{"Comunidad de Madrid", "MA", false, 'Z'},
                    RegionCase{"Andalucía", "NA", false, 'X'}),
    [](const auto& test) {
      return std::string(test.param.suffix) + (test.param.cyl ? "_CYL" : "") + std::to_string(test.index);
    });

std::vector<std::string> TemporaryFilesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.find(".part-") != std::string::npos) names.push_back(name);
  }
  return names;
}

TEST_F(UpdateRunE2E, ARunKilledInADownloadLeavesATemporaryFileThatTheNextRunRemoves) {
  Start("Extremadura");
  pharmacy_->WriteSiteFile("update", "datosprefmenor/SNOMED.txt", std::string(100000, 's'));
  server_->SetFaults("update /datosprefmenor/SNOMED.txt rate 5000\n");
  const fs::path quorra = pharmacy_->F("velmorin/quorra");
  // Killed once the slow download has begun, however long a loaded machine takes to reach it.
  EXPECT_EQ(Run(60, [&] { return !TemporaryFilesIn(quorra).empty(); }).exit_code, -1);
  EXPECT_EQ(TemporaryFilesIn(quorra).size(), 1u);
  server_->SetFaults("");
  EXPECT_EQ(Run().exit_code, 0);
  EXPECT_THAT(TemporaryFilesIn(quorra), IsEmpty());
  EXPECT_EQ(ReadFileBytes(quorra / "SNOMED.txt"), std::string(100000, 's'));
}

}  // namespace
}  // namespace velmorin::test_support
