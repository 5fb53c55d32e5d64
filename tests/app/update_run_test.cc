// The whole run on fakes: which files are fetched in which order, where they land, what is
// started, and how each kind of failure ends the program.
#include "app/update_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/inicio_mr.h"
#include "app/updater.h"
#include "common/cp1252.h"
#include "common/run_report.h"
#include "support/fake_platform.h"
#include "support/temp_dir.h"

namespace velmorin {
namespace {

using test_support::FakePlatform;
using test_support::ProgramEnded;
using testing::Contains;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::Not;

const char* const kUpdate = "http://10.0.0.1:81";
const char* const kCouncil = "http://10.0.0.2:82";
const char* const kCoop = "http://10.0.0.3:83";

class UpdateRunTest : public testing::Test {
 protected:
  UpdateRunTest() {
    settings_ = {.update_server = kUpdate,
                 .council_site = kCouncil,
                 .coop_site = kCoop,
                 .update_domain = "10.0.0.1:81",
                 .update_address = "10.0.0.1:81",
                 .update_hostname = "actualizaciones.example"};
    p_.fs.AddFolder("F:\\");
    p_.fs.SetFile("C:\\i.bat", "@echo off\r\n:DATOS\r\n1\r\nF:\r\n");
    for (const char* folder :
         {"bases", "quorra", "maximos", "preferencia", "reparar", "AF", "sodrilax", "bdnet\\soft"}) {
      p_.fs.AddFolder(std::string("F:\\velmorin\\") + folder);
    }
    p_.fs.SetFile("F:\\velmorin\\bases\\dolvek.txt", "");
    p_.ui.log_progress = false;
  }

  void Region(const std::string& name) { p_.fs.SetFile("F:\\velmorin\\maximos\\ccaa", Ansi(name) + "\r\n"); }

  // Runs the program from its start-up form; returns the exit code.
  int RunProgram() {
    try {
      RunUpdater(p_.platform, settings_);
    } catch (const ProgramEnded& end) {
      return end.code;
    }
    return -1;
  }

  static std::string Update(const std::string& path) { return std::string(kUpdate) + path; }

  std::vector<std::string> ExpectedRequests(const std::string& suffix, bool cyl) {
    std::vector<std::string> r = {
        std::string("GET ") + kCoop + "/documentos/quenil.txt -> ",
        std::string("GET ") + kCouncil + "/serializacion.txt -> F:\\velmorin\\bases\\serializacion.txt",
        "GET " + Update("/datosprefmenor/SNOMED.txt") + " -> F:\\velmorin\\quorra\\SNOMED.txt",
        "GET " + Update("/datosprefmenor/VISADO75.txt") + " -> F:\\velmorin\\VISADO75.txt",
        "GET " + Update("/datosprefmenor/pvpnotificados.txt") + " -> F:\\velmorin\\quorra\\pvpnotificados.txt",
        "GET " + Update("/datosprefmenor/bioequiv.txt") + " -> F:\\velmorin\\quorra\\bioequiv"};
    if (cyl)
      r.push_back("GET " + Update("/datosprefmenor/Cyl_Menores.txt") + " -> F:\\velmorin\\maximos\\Cyl_Menores.txt");
    r.push_back("GET " + Update("/datosprefmenor/espec." + suffix) + " -> F:\\velmorin\\preferencia\\espec");
    r.push_back("GET " + Update("/datosprefmenor/conjunto." + suffix) + " -> F:\\velmorin\\preferencia\\conjunto");
    r.push_back("GET " + Update("/datosprefmenor/Trelvanos.exe") + " -> F:\\velmorin\\reparar\\Trelvanos.exe");
    r.push_back("GET " + Update("/datosprefmenor/NoSust.Gt") + " -> F:\\velmorin\\AF\\NoSust.Gt");
    r.push_back("GET " + Update("/datosprefmenor/Quimbaleta.exe") + " -> F:\\velmorin\\reparar\\Quimbaleta.exe");
    if (cyl)
      r.push_back("GET " + Update("/datosprefmenor/Sustituir.cyl") + " -> F:\\velmorin\\preferencia\\Sustituir.cyl");
    r.push_back("GET " + Update("/bdi/bases/euro/dolvek.arj") + " -> F:\\velmorin\\bdnet\\temp\\dolvek.arj");
    r.push_back("GET " + Update("/bdi/tarquinas.txt") + " -> F:\\velmorin\\sodrilax\\tarquinas.act");
    return r;
  }

  FakePlatform p_;
  Settings settings_;
};

struct RegionCase {
  const char* name;
  const char* suffix;
  bool cyl;
};

class UpdateRunRegions : public UpdateRunTest, public testing::WithParamInterface<RegionCase> {};

TEST_P(UpdateRunRegions, FetchesEveryFileInOrderAndEndsNormally) {
  Region(GetParam().name);
  EXPECT_EQ(RunProgram(), 0);
  EXPECT_THAT(p_.downloads.requests, ElementsAreArray(ExpectedRequests(GetParam().suffix, GetParam().cyl)));
}

INSTANTIATE_TEST_SUITE_P(Regions, UpdateRunRegions,
                         testing::Values(RegionCase{"Castilla y León", "NA", true},
                                         RegionCase{"Castilla-La Mancha", "CM", false},
                                         RegionCase{"Extremadura", "EX", false},
                                         RegionCase{"Comunidad de Madrid", "MA", false},
                                         RegionCase{"Andalucía", "NA", false}));

TEST_F(UpdateRunTest, StartsTheArchiverTheToolAndTheInstallerWithTheExactLines) {
  Region("Extremadura");
  EXPECT_EQ(RunProgram(), 0);
  EXPECT_THAT(p_.ui.Matching("start"),
              ElementsAre("start hidden cmd /c cd F:\\velmorin\\ &  arj e F:\\velmorin\\bdnet\\temp\\dolvek.arj "
                          "F:\\velmorin\\bases -y ",
                          "start hidden cmd /c cd F:\\velmorin\\ &  arj e F:\\velmorin\\bdnet\\temp\\dolvek.arj "
                          "F:\\velmorin\\bdnet -y ",
                          "start focused F:\\velmorin\\reparar\\quimbaleta.exe",
                          "start hidden cmd /c cd F:\\velmorin\\bdnet\\soft\\ & copy ovt-qe58.exe "
                          "F:\\velmorin\\bdnet\\*.* & cd F:\\velmorin\\bdnet & ovt-qe58.exe"));
  EXPECT_EQ(p_.fs.File("F:\\velmorin\\bdnet\\origen"), "VELMOR\xCDN\r\nDOLVEK\r\n\r\n");
  EXPECT_EQ(p_.ui.events.back(), "exit 0");
  EXPECT_THAT(p_.ui.events, Contains("unload InicioMR"));
}

// Both programs the run starts are checked; a refused one is reported and the run goes on.
TEST_F(UpdateRunTest, ARefusedInstallerIsNotStartedAndTheRunEndsNormally) {
  test_support::TempDir dir;
  RunReport report((dir.path() / "report.log").string());
  p_.platform.report = &report;
  p_.fs.SetFile("F:\\velmorin\\bdnet\\soft\\ovt-qe58.exe", "swapped installer");
  p_.trust.by_content["swapped installer"] = {.signature = platform::Signature::kBad, .reason = "cambiado"};
  Region("Extremadura");
  EXPECT_EQ(RunProgram(), 0);
  EXPECT_THAT(p_.ui.Matching("start"), ElementsAre(testing::_, testing::_, testing::HasSubstr("quimbaleta.exe")));
  EXPECT_THAT(test_support::ReadFileBytes(dir.path() / "report.log"),
              testing::AllOf(testing::HasSubstr("firma: F:\\velmorin\\reparar\\quimbaleta.exe: sin firma\r\n"),
                             testing::HasSubstr("programa rechazado: F:\\velmorin\\bdnet\\soft\\ovt-qe58.exe: "
                                                "firma no válida: cambiado; no se inicia\r\n")));
}

TEST_F(UpdateRunTest, EmptyPrefixCommandLines) {
  EXPECT_EQ(FirstExtractionCommand(""),
            "cmd /c cd \\velmorin\\ &  arj e \\velmorin\\bdnet\\temp\\dolvek.arj \\velmorin\\bases -y ");
  EXPECT_EQ(InstallerCommand(""),
            "cmd /c cd \\velmorin\\bdnet\\soft\\ & copy ovt-qe58.exe \\velmorin\\bdnet\\*.* & cd \\velmorin\\bdnet & "
            "ovt-qe58.exe");
}

TEST_F(UpdateRunTest, UpdateServerFailureEndsInsideTheDialogWithNoLaterRequest) {
  p_.downloads.script[Update("/datosprefmenor/NoSust.Gt")] = {.failed = true, .result = "Error HTTP 404"};
  EXPECT_EQ(RunProgram(), 1);
  EXPECT_EQ(p_.downloads.requests.back(),
            "GET " + Update("/datosprefmenor/NoSust.Gt") + " -> F:\\velmorin\\AF\\NoSust.Gt");
  // The URL's host is the update server's numeric address, so the box names the server.
  EXPECT_THAT(p_.ui.Matching("msgbox critical Error de actualizacion No puede descargar \n" +
                             Ansi("Ultima Versión de actualizaciones.example")),
              testing::SizeIs(1));
  EXPECT_TRUE(p_.ui.Matching("start").empty());
}

TEST_F(UpdateRunTest, CouncilFailureIsSilentAndTheOldListIsUsed) {
  p_.fs.SetFile("F:\\velmorin\\bases\\serializacion.txt", "old list");
  p_.downloads.script[std::string(kCouncil) + "/serializacion.txt"] = {.failed = true, .result = "Error HTTP 500"};
  EXPECT_EQ(RunProgram(), 0);
  EXPECT_TRUE(p_.ui.Matching("msgbox").empty());
  EXPECT_EQ(p_.fs.File("F:\\velmorin\\bases\\serializacion.txt"), "old list");
}

TEST_F(UpdateRunTest, EmptyNotifiedPriceListLeavesBasePUntouched) {
  p_.fs.SetFile("F:\\velmorin\\quorra\\BaseP", "old prices");
  p_.fs.SetFile("F:\\velmorin\\quorra\\pvpnotificados.txt", "stale list");
  EXPECT_EQ(RunProgram(), 0);
  EXPECT_EQ(p_.fs.File("F:\\velmorin\\quorra\\BaseP"), "old prices");
  EXPECT_EQ(p_.fs.File("F:\\velmorin\\quorra\\pvpnotificados.txt"), "");
}

TEST_F(UpdateRunTest, NotifiedPriceListIsLoadedWhenNotEmpty) {
  p_.downloads.script[Update("/datosprefmenor/pvpnotificados.txt")] = {.body = "123456 00012.5000010.00\r\n"};
  EXPECT_EQ(RunProgram(), 0);
  EXPECT_EQ(p_.fs.File("F:\\velmorin\\quorra\\BaseP").size(), 99999u * 64);
}

TEST_F(UpdateRunTest, MissingBatchFileIsARunTimeError) {
  p_.fs.RemoveFile("C:\\i.bat");
  EXPECT_EQ(RunProgram(), 2);
  EXPECT_THAT(p_.ui.events, Contains("error 53"));
  EXPECT_TRUE(p_.downloads.requests.empty());
}

TEST_F(UpdateRunTest, ProgressBarsDuringTheRun) {
  p_.ui.log_progress = true;
  EXPECT_EQ(RunProgram(), 0);
  const auto bars = p_.ui.Matching("set InicioMR.ProgressBar1 ");
  ASSERT_FALSE(bars.empty());
  // The conversions leave 99 in the bar and the installer's wait does not move it.
  EXPECT_EQ(bars.back(), "set InicioMR.ProgressBar1 99");
  EXPECT_THAT(p_.ui.events, Contains("set MenorRef.ProgressBar1 99"));
}

TEST_F(UpdateRunTest, CerrarBeforeTheRunEndsWithZero) {
  Channels channels(p_.fs);
  bool ran = false;
  InicioMR startup(p_.platform, channels, [&] { ran = true; });
  p_.ui.Load(startup.form());
  channels.OpenRecords(5, "F:\\velmorin\\quorra\\basey", 128);
  try {
    startup.form().on_click("Label2");
    FAIL() << "did not end";
  } catch (const ProgramEnded& end) {
    EXPECT_EQ(end.code, 0);
  }
  EXPECT_FALSE(ran);
  EXPECT_FALSE(channels.IsOpen(5));
  EXPECT_FALSE(startup.form().loaded());
}

TEST_F(UpdateRunTest, TheRunStartsOnlyOnce) {
  Channels channels(p_.fs);
  int runs = 0;
  InicioMR* self = nullptr;
  InicioMR startup(p_.platform, channels, [&] {
    ++runs;
    self->Timer1Tick();   // a tick that arrives while the run holds the thread
    self->Label2Click();  // and a click: neither does anything
  });
  self = &startup;
  p_.ui.Load(startup.form());
  try {
    startup.Timer1Tick();
  } catch (const ProgramEnded& end) {
    EXPECT_EQ(end.code, 0);
  }
  EXPECT_EQ(runs, 1);
}

}  // namespace
}  // namespace velmorin
