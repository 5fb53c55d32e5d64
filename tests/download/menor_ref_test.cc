#include "download/menor_ref.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <zlib.h>

#include "common/cp1252.h"
#include "faults.h"
#include "support/fake_platform.h"

namespace velmorin {
namespace {

using test_support::FakePlatform;
using test_support::FakeTransfer;
using test_support::ProgramEnded;
using testing::Contains;
using testing::ElementsAre;
using testing::HasSubstr;
using Args = platform::TransferProgressArgs;
using platform::Signature;

std::string Gzip(const std::string& text) { return test_server::Deflate(text, 16 + MAX_WBITS); }

Args Report(int state, int bytes, double percent, int seconds) {
  Args a;
  a.State = state;
  a.BytesReceived = bytes;
  a.Percent = percent;
  a.ElapsedSeconds = seconds;
  return a;
}

class MenorRefTest : public testing::Test {
 protected:
  MenorRefTest() {
    settings_.coop_site = "http://coop.example";
    settings_.update_server = "http://10.1.2.3";
    settings_.update_domain = "10.1.2.3";
    settings_.update_address = "10.1.2.3";
    settings_.update_hostname = "actualizaciones.example";
    p_.fs.AddFolder("C:\\velmorin\\bases");
  }
  // Fetches url into target through a freshly loaded dialog; returns the exit code if the
  // program ended, -1 if the dialog returned.
  int Fetch(const std::string& url, const std::string& target) {
    try {
      dialog_.SetText1(url);
      dialog_.SetText2(target);
      dialog_.Show();
      return -1;
    } catch (const ProgramEnded& end) {
      return end.code;
    }
  }
  FakePlatform p_;
  Settings settings_;
  Channels channels_{p_.fs};
  MenorRef dialog_{p_.platform, channels_, settings_};
};

TEST_F(MenorRefTest, SuccessWritesTheTargetAndClosesTheDialog) {
  p_.downloads.script["http://site/dir/file.txt"] = {.body = "content"};
  channels_.OpenRecords(6, "\\velmorin\\bases\\x", 10);
  EXPECT_EQ(Fetch("http://site/dir/file.txt", "C:\\velmorin\\bases\\file.txt"), -1);
  EXPECT_EQ(p_.fs.File("C:\\velmorin\\bases\\file.txt"), "content");
  EXPECT_FALSE(channels_.IsOpen(6));  // every channel is closed before the transfer
  EXPECT_FALSE(dialog_.form().loaded());
  EXPECT_THAT(p_.ui.Matching("set MenorRef.Label10"), ElementsAre("set MenorRef.Label10 Descarga 'file.txt' de site"));
  EXPECT_EQ(dialog_.form().Text("Descarga"), "C:\\velmorin\\bases\\file.txt");
}

TEST_F(MenorRefTest, LoadSetsTheDefaultAddressAndAnEmptyDestination) {
  dialog_.Show();
  EXPECT_THAT(p_.downloads.requests, ElementsAre("GET http://coop.example/documentos/quenil.txt -> "));
  EXPECT_THAT(p_.ui.events, Contains("set MenorRef.Label7 "));
}

TEST_F(MenorRefTest, HostAndFileNameFromTheSlashes) {
  EXPECT_EQ(ScanUrl("http://h:81/a/b.txt").host, "h:81");
  EXPECT_EQ(ScanUrl("http://h:81/a/b.txt").file_name, "b.txt");
  EXPECT_EQ(ScanUrl("http://hostonly").file_name, "hostonly");  // two slashes: host and name agree
  EXPECT_EQ(ScanUrl("http://hostonly").host, "hostonly");
  EXPECT_EQ(ScanUrl("nohost").last_slash, 0);
  Fetch("nohost", "");
  EXPECT_TRUE(p_.ui.Matching("set MenorRef.Label10").empty());  // stays "+++"
  EXPECT_THAT(p_.downloads.requests, ElementsAre("GET nohost -> "));
}

TEST_F(MenorRefTest, UpdateServerFailureShowsTheCriticalBoxAndEnds) {
  p_.downloads.script["http://10.1.2.3/datosprefmenor/SNOMED.txt"] = {.failed = true, .result = "Error HTTP 404"};
  EXPECT_EQ(Fetch("http://10.1.2.3/datosprefmenor/SNOMED.txt", "C:\\velmorin\\quorra\\SNOMED.txt"), 1);
  EXPECT_THAT(p_.ui.events,
              Contains(Ansi("msgbox critical Error de actualizacion No puede descargar \nUltima Versión de "
                            "actualizaciones.example\n\nEl proceso de actualizacion se va a interrumpir\n"
                            "Compruebe si está conectado a internet")));
  EXPECT_EQ(p_.ui.events.back(), "exit 1");
  EXPECT_FALSE(dialog_.form().loaded());
}

TEST_F(MenorRefTest, UpdateServerByNameKeepsTheDestinationInTheBox) {
  settings_.update_domain = "velmorin.example";
  p_.downloads.script["http://www.velmorin.example/x.txt"] = {.failed = true};
  EXPECT_EQ(Fetch("http://www.velmorin.example/x.txt", "C:\\velmorin\\x.txt"), 1);
  EXPECT_THAT(p_.ui.Matching("msgbox"), ElementsAre(HasSubstr("No puede descargar \nC:\\velmorin\\x.txt\n\n")));
}

TEST_F(MenorRefTest, FailureElsewhereIsSilentEvenWithAResultText) {
  p_.downloads.script["http://council/serializacion.txt"] = {.failed = true, .result = "Error HTTP 500"};
  EXPECT_EQ(Fetch("http://council/serializacion.txt", "C:\\velmorin\\bases\\serializacion.txt"), -1);
  EXPECT_TRUE(p_.ui.Matching("msgbox").empty());
  EXPECT_FALSE(dialog_.form().loaded());
}

TEST_F(MenorRefTest, AnyResultButOkEndsWithTheInformationBox) {
  p_.downloads.script["http://council/a.txt"] = {.result = "ok"};
  EXPECT_EQ(Fetch("http://council/a.txt", "C:\\velmorin\\bases\\a.txt"), 1);
  EXPECT_THAT(p_.ui.Matching("msgbox"), ElementsAre("msgbox information  ok"));
}

TEST_F(MenorRefTest, ProgressReportsFillPercentSpeedAndBar) {
  p_.downloads.script["http://council/a.txt"] = {
      .reports = {Report(1, 0, 0, 0), Report(2, 100, 0, 0), Report(2, 262144, 99.6, 2), Report(2, 500000, 99.6, 2),
                  Report(2, 510000, 100.0 * 29849999 / 30000000, 2), Report(2, 524288, 2.5, 3)}};
  p_.ui.log_progress = true;
  Fetch("http://council/a.txt", "C:\\velmorin\\bases\\a.txt");
  EXPECT_THAT(p_.ui.Matching("set MenorRef.Label1 "), ElementsAre("set MenorRef.Label1 %", "set MenorRef.Label1 100%",
                                                                  "set MenorRef.Label1 99%", "set MenorRef.Label1 3%"));
  EXPECT_THAT(p_.ui.Matching("set MenorRef.Label7 "),
              ElementsAre("set MenorRef.Label7 ", "set MenorRef.Label7 1024 kb", "set MenorRef.Label7 1365 kb"));
  EXPECT_THAT(
      p_.ui.Matching("set MenorRef.ProgressBar1 "),
      // Rounded before single precision: 99.49999... -> 99; 2.5 -> 2.
      ElementsAre("set MenorRef.ProgressBar1 100", "set MenorRef.ProgressBar1 99", "set MenorRef.ProgressBar1 2"));
}

TEST_F(MenorRefTest, StateOneChangesNothingButHandsOverACancel) {
  int pumps = 0;
  p_.ui.on_do_events = [&] { ++pumps; };
  dialog_.Command2Click();
  Args a = Report(1, 0, 50, 1);
  dialog_.SetText1("x");
  dialog_.TransferProgress(a);
  EXPECT_TRUE(a.Cancel);
  EXPECT_FALSE(dialog_.CancelRequested());
  EXPECT_EQ(pumps, 1);
  EXPECT_TRUE(p_.ui.Matching("set MenorRef.Label1 ").empty());
  EXPECT_EQ(dialog_.form().Value("ProgressBar1"), 0);
}

TEST_F(MenorRefTest, EscBeforeALoadCancelsTheNextTransferAtItsFirstReport) {
  dialog_.KeyPress(27);
  EXPECT_FALSE(dialog_.form().loaded());
  p_.downloads.script["http://10.1.2.3/a.txt"] = {.reports = {Report(1, 0, 0, 0), Report(2, 10, 1, 0)}};
  EXPECT_EQ(Fetch("http://10.1.2.3/a.txt", "C:\\velmorin\\bases\\a.txt"), 1);
  EXPECT_THAT(p_.ui.Matching("msgbox"), ElementsAre(Ansi("msgbox information  Descarga cancelada por el usuario.")));
  EXPECT_FALSE(p_.fs.FileExists("C:\\velmorin\\bases\\a.txt"));
}

TEST_F(MenorRefTest, EscDuringATransferIsHandedOverAtTheNextReport) {
  bool pressed = false;
  p_.ui.on_do_events = [&] {
    if (!pressed) dialog_.form().on_key_press(27);
    pressed = true;
  };
  p_.downloads.script["http://council/a.txt"] = {.reports = {Report(2, 10, 1, 0), Report(2, 20, 2, 0)}};
  EXPECT_EQ(Fetch("http://council/a.txt", "C:\\velmorin\\bases\\a.txt"), 1);
  EXPECT_FALSE(dialog_.CancelRequested());
}

TEST_F(MenorRefTest, TickBeforeShowDoesNothing) {
  dialog_.SetText1("http://council/a.txt");
  dialog_.Timer1Tick();
  EXPECT_TRUE(dialog_.form().TimerEnabled("Timer1"));
  EXPECT_TRUE(p_.downloads.requests.empty());
}

TEST_F(MenorRefTest, LoadingResetsTheElapsedSecondsButNotACancel) {
  p_.downloads.script["http://council/a.txt"] = {.reports = {Report(2, 262144, 50, 2)}};
  Fetch("http://council/a.txt", "C:\\velmorin\\bases\\a.txt");
  EXPECT_EQ(dialog_.LastElapsedSeconds(), 2.0f);
  dialog_.Command2Click();
  dialog_.SetText1("again");
  EXPECT_EQ(dialog_.LastElapsedSeconds(), 0.0f);
  EXPECT_TRUE(dialog_.CancelRequested());
}

TEST_F(MenorRefTest, CompressedDownloadIsExpandedAndStarted) {
  p_.downloads.script["http://council/tool.exe.f_c"] = {.body = Gzip("tool")};
  EXPECT_EQ(Fetch("http://council/tool.exe.f_c", "C:\\velmorin\\bases\\tool.exe.f_c"), -1);
  EXPECT_EQ(p_.fs.File("C:\\velmorin\\bases\\tool.exe"), "tool");
  EXPECT_THAT(p_.ui.events, Contains("start focused C:\\velmorin\\bases\\tool.exe"));
}

TEST_F(MenorRefTest, CorruptCompressedDownloadStartsNothing) {
  p_.fs.SetFile("C:\\velmorin\\bases\\tool.exe", "older program");
  p_.downloads.script["http://council/tool.exe.F_C"] = {.body = "not gzip"};
  EXPECT_EQ(Fetch("http://council/tool.exe.F_C", "C:\\velmorin\\bases\\tool.exe.F_C"), -1);
  EXPECT_TRUE(p_.ui.Matching("start").empty());
  EXPECT_EQ(p_.fs.File("C:\\velmorin\\bases\\tool.exe"), "older program");
}

// A signature that does not hold: the transfer fails, the old copy stays.
TEST_F(MenorRefTest, ARefusedProgramFailsTheTransferAndKeepsTheOldCopy) {
  const std::string url = "http://10.1.2.3/datosprefmenor/Quimbaleta.exe", target = "C:\\velmorin\\bases\\Q.exe";
  p_.fs.SetFile(target, "old program");
  p_.trust.by_content["changed"] = {.signature = Signature::kBad, .reason = "no corresponde"};
  p_.downloads.script[url] = {.body = "changed"};
  EXPECT_EQ(Fetch(url, target), 1);
  EXPECT_THAT(p_.ui.Matching("msgbox"), ElementsAre(HasSubstr("msgbox critical Error de actualizacion No puede")));
  EXPECT_EQ(p_.fs.File(target), "old program");
  EXPECT_THAT(p_.trust.checked, ElementsAre(target + ".part-fake"));
}

TEST_F(MenorRefTest, ARefusedCompressedProgramIsNeitherPutInPlaceNorStarted) {
  const std::string tool = "C:\\velmorin\\bases\\tool.exe";
  p_.fs.SetFile(tool, "older program");
  p_.trust.by_content["tampered"] = {.signature = Signature::kBad, .reason = "no corresponde"};
  p_.downloads.script["http://council/tool.exe.F_C"] = {.body = Gzip("tampered")};
  EXPECT_EQ(Fetch("http://council/tool.exe.F_C", tool + ".F_C"), -1);  // another site: in silence
  p_.downloads.script["http://10.1.2.3/tool.exe.F_C"] = {.body = Gzip("tampered")};
  EXPECT_EQ(Fetch("http://10.1.2.3/tool.exe.F_C", tool + ".F_C"), 1);
  EXPECT_THAT(p_.ui.Matching("msgbox"), ElementsAre(HasSubstr("msgbox critical")));
  EXPECT_TRUE(p_.ui.Matching("start").empty());
  EXPECT_EQ(p_.fs.File(tool), "older program");
  EXPECT_FALSE(p_.fs.FileExists(tool + ".nuevo~"));
}

}  // namespace
}  // namespace velmorin
