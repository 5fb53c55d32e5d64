// Bad local state: C:\i.bat, ccaa, record files, destination folders and the product file in
// states another program or a failing disk may leave them in. Whole runs of the real program
// where the run shows the outcome; the start-up code and ImportProductFile on the in-memory
// file system where a field-by-field check says more.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/start_up.h"
#include "convert/import_product_file.h"
#include "convert/records.h"
#include "e2e/fault_run.h"
#include "support/memory_file_system.h"

namespace velmorin::test_support {
namespace {

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::IsEmpty;

const char* const kCases[][2] = {
    {"C:\\i.bat", "missing"},
    {"C:\\i.bat", "empty"},
    {"C:\\i.bat", "binary, no \":DATOS\""},
    {"C:\\i.bat", "\":DATOS\" as its last line"},
    {"C:\\i.bat", "\":DATOS\" followed by one line"},
    {"ccaa", "missing"},
    {"ccaa", "binary"},
    {"record files", "basey, basea, coste, LabGT cut in the middle of a record"},
    {"record files", "all missing"},
    {"record files", "basey read-only"},
    {"record files", "baseext read-only"},
    {"destination folder", "\\velmorin\\AF missing (update server)"},
    {"destination folder", "\\velmorin\\bases missing (council site)"},
    {"dolvek.txt", "NUL bytes, a 100,000-character line, CR-only line ends"},
};

[[maybe_unused]] const bool kRegistered = [] {
  for (const auto& c : kCases) RegisterFaultCase(c[0], c[1]);
  return true;
}();

// How a run ended, from its UI log: the run-time error report or the box, and the exit code.
std::string Ending(const ProgramResult& result) {
  std::string ending;
  for (const auto& line : LogLines(result, "error\t")) {
    const size_t tab = line.find('\t', 6);
    ending += "run-time error " + line.substr(6, tab - 6) + " (" + line.substr(tab + 1) + "), ";
  }
  const std::string failure = "msgbox\tcritical\tError de actualizacion\tNo puede descargar \\n";
  for (const auto& line : LogLines(result, "msgbox")) {
    ending += line.rfind(failure, 0) == 0
                  ? "failure box for " + line.substr(failure.size(), line.find("\\n\\n") - failure.size())
                  : "box: " + line;
    ending += ", ";
  }
  if (ending.empty()) ending = "no box, ";
  return ending + "exit " + std::to_string(result.exit_code);
}

class BadLocalState : public testing::Test {
 protected:
  void Start(const std::string& region_name = "Extremadura") {
    run_ = std::make_unique<FaultRun>(region_name);
    pristine_ = Records();
  }

  fs::path F(const std::string& relative) { return run_->pharmacy().F(relative); }
  fs::path C(const std::string& relative) { return run_->pharmacy().drives() / "C" / relative; }
  DriveFiles Records(const std::string& drive = "F") {
    return ReadFiles(run_->pharmacy().drives() / drive, RecordFilePaths());
  }
  void WriteBatch(const std::string& bytes) { WriteFileBytes(C("i.bat"), bytes); }
  bool Completed() { return fs::exists(F("installer-ran")); }

  // "N requests, the last <path>" once at least `count` are logged.
  std::string Requests(size_t count) {
    const auto lines = run_->RequestLines(count);
    if (lines.empty()) return "no request";
    const std::string& last = lines.back();
    const size_t path = last.find(" GET ") + 5;
    return std::to_string(lines.size()) + (lines.size() == 1 ? " request" : " requests") + ", the last " +
           last.substr(path, last.rfind(' ') - path);
  }

  std::string RecordState(const DriveFiles& expected, const std::string& name) {
    const bool same = Records() == expected;
    EXPECT_TRUE(same) << "records are not " << name;
    return same ? "records " + name : "records changed otherwise";
  }

  void Row(const std::string& subject, const std::string& fault, const std::string& outcome) {
    EXPECT_THAT(run_->TemporaryFiles(), IsEmpty());
    ExpectFaultRow(subject, fault, outcome);
  }

  std::unique_ptr<FaultRun> run_;
  DriveFiles pristine_;
};

TEST_F(BadLocalState, BatchFileMissingIsError53BeforeAnything) {
  Start();
  fs::remove(C("i.bat"));
  const fs::path report = run_->pharmacy().drives() / "report.log";
  run_->environment()["VELMORIN_REPORT"] = report.string();
  const ProgramResult result = run_->Run();
  EXPECT_EQ(result.exit_code, 2);
  EXPECT_THAT(LogLines(result, "error"), ElementsAre("error\t53\tNo se ha encontrado el archivo"));
  const std::string requests = Requests(0);
  EXPECT_EQ(requests, "no request");
  Row("C:\\i.bat", "missing", Ending(result) + "; " + requests + "; " + RecordState(pristine_, "as before the run"));
  const std::vector<std::string> events = ReportEvents(ReadFileBytes(report));
  EXPECT_THAT(events, testing::Contains("error en tiempo de ejecución: 53: No se ha encontrado el archivo"));
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back(), "fin: código de salida 2");
}

// Without a label the prefix is empty and the run works on drive C:, where this pharmacy has no
// \velmorin: the council download and then SNOMED.txt find no folder.
class BatchWithoutLabel : public BadLocalState,
                          public testing::WithParamInterface<std::pair<const char*, std::string>> {};

TEST_P(BatchWithoutLabel, LeavesThePrefixEmptySoTheRunWorksOnDriveC) {
  Start();
  WriteBatch(GetParam().second);
  const ProgramResult result = run_->Run();
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_THAT(LogLines(result, "msgbox"),
              ElementsAre(testing::HasSubstr("No puede descargar \\n\\velmorin\\quorra\\SNOMED.txt\\n")));
  const std::string requests = Requests(1);
  EXPECT_EQ(requests, "1 request, the last /documentos/quenil.txt");
  EXPECT_THAT(ReadFiles(run_->pharmacy().drives() / "C", {"i.bat"}),
              ElementsAre(testing::Pair("i.bat", GetParam().second)));
  Row("C:\\i.bat", GetParam().first,
      Ending(result) + "; " + requests + "; " + RecordState(pristine_, "on F: as before the run"));
}

INSTANTIATE_TEST_SUITE_P(
    Batches, BatchWithoutLabel,
    testing::Values(std::pair<const char*, std::string>{"empty", ""},
                    std::pair<const char*, std::string>{
                        "binary, no \":DATOS\"", std::string("MZ\x90\0\3\0\r\n\xff\xfe\0\x1a\rDATOS:\n\x80", 21)}),
    [](const auto& param_info) { return param_info.index == 0 ? std::string("Empty") : std::string("Binary"); });

TEST_F(BadLocalState, LabelAsLastLineLeavesThePrefixEmptyAndTheRunGoesOnOnDriveC) {
  Start();
  fs::copy(run_->pharmacy().drives() / "F", run_->pharmacy().drives() / "C", fs::copy_options::recursive);
  WriteBatch("@echo off\r\n:DATOS\r\n");
  const DriveFiles on_c = Records("C");
  const ProgramResult result = run_->Run();
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_THAT(
      LogLines(result, "start\thidden\tcmd /c cd \\velmorin\\ &  arj e"),
      ElementsAre(
          "start\thidden\tcmd /c cd \\velmorin\\ &  arj e \\velmorin\\bdnet\\temp\\dolvek.arj \\velmorin\\bases -y ",
          "start\thidden\tcmd /c cd \\velmorin\\ &  arj e \\velmorin\\bdnet\\temp\\dolvek.arj \\velmorin\\bdnet -y "));
  EXPECT_TRUE(fs::exists(C("velmorin/bdnet/origen")));
  const bool c_converted = Records("C") == AfterRun(on_c, run_->ServedInputs("EX"));
  EXPECT_TRUE(c_converted);
  Row("C:\\i.bat", "\":DATOS\" as its last line",
      Ending(result) + ", " + (Completed() ? "run completed" : "run cut short") + "; " +
          (c_converted ? "records on C: converted" : "records on C: differ") + "; " +
          RecordState(pristine_, "on F: as before the run"));
}

TEST_F(BadLocalState, LabelFollowedByOneLineIsError62BeforeAnything) {
  Start();
  WriteBatch("@echo off\r\n:DATOS\r\n1\r\n");
  const ProgramResult result = run_->Run();
  EXPECT_EQ(result.exit_code, 2);
  EXPECT_THAT(LogLines(result, "error"), ElementsAre("error\t62\tLa entrada pasa del final del archivo"));
  const std::string requests = Requests(0);
  EXPECT_EQ(requests, "no request");
  Row("C:\\i.bat", "\":DATOS\" followed by one line",
      Ending(result) + "; " + requests + "; " + RecordState(pristine_, "as before the run"));
}

TEST_F(BadLocalState, RegionFileMissingMeansRegionNA) {
  Start("");
  const ProgramResult result = run_->Run();
  EXPECT_EQ(result.exit_code, 0);
  const auto requests = run_->RequestLines(13);
  EXPECT_THAT(requests, testing::Contains("update GET /datosprefmenor/espec.NA 200"));
  EXPECT_THAT(requests, testing::Contains("update GET /datosprefmenor/conjunto.NA 200"));
  EXPECT_THAT(requests, testing::Not(testing::Contains(testing::HasSubstr("Cyl_Menores"))));
  EXPECT_EQ(requests.size(), 13u);
  Row("ccaa", "missing",
      Ending(result) + ", " + (Completed() ? "run completed" : "run cut short") + " as region NA (" +
          std::to_string(requests.size()) + " requests, espec.NA, no Cyl_Menores.txt); " +
          RecordState(AfterRun(pristine_, run_->ServedInputs("NA")), "converted"));
}

// The start-up code on the in-memory file system: a region file of binary bytes names no region.
TEST(BadRegionFile, BinaryBytesGiveRegionNA) {
  MemoryFileSystem fs;
  fs.SetFile("F:\\velmorin\\maximos\\ccaa", std::string("\0\x01\xff\xfeMZ\r\n\x80\x81", 10));
  Channels channels(fs);
  const Region region = DetectRegion(channels, "F:");
  EXPECT_EQ(region.code, "NA");
  EXPECT_EQ(region.suffix, "NA");
  EXPECT_FALSE(channels.IsOpen(1));
  ExpectFaultRow("ccaa", "binary",
                 "region code " + region.code + ", suffix " + region.suffix +
                     ", no error (start-up code on the in-memory file system)");
}

// basey is cut in its last record (an index record nothing writes); basea and LabGT in the
// record of 712345, which the product file updates; coste in its last record.
TEST_F(BadLocalState, RecordFilesCutInARecordAreReadAsZerosAndCompletedOnlyWhereWritten) {
  Start();
  const struct {
    const char* path;
    size_t size;
  } cuts[] = {{"velmorin/quorra/basey", 71233 * 128 + 64},
              {"velmorin/quorra/basea", 100 * 62 + 31},
              {"velmorin/bases/coste", 102 * 136 + 68},
              {"velmorin/bases/LabGT", 100 * 17 + 8}};
  for (const auto& c : cuts) fs::resize_file(F(c.path), c.size);
  pristine_ = Records();
  const ProgramResult result = run_->Run();
  EXPECT_EQ(result.exit_code, 0);
  std::string lengths;
  for (const auto& c : cuts) {
    const size_t now = Records().at(c.path)->size();
    lengths += fs::path(c.path).filename().string() +
               (now == c.size ? " kept its length" : " grew to " + std::to_string(now)) + ", ";
  }
  Row("record files", "basey, basea, coste, LabGT cut in the middle of a record",
      Ending(result) + ", " + (Completed() ? "run completed" : "run cut short") + "; " + lengths +
          RecordState(AfterRun(pristine_, run_->ServedInputs("EX")), "converted"));
}

TEST_F(BadLocalState, MissingRecordFilesAreCreatedAndTheRunGoesOn) {
  Start();
  for (const auto& path : RecordFilePaths()) fs::remove(F(path));
  pristine_ = Records();
  const ProgramResult result = run_->Run();
  EXPECT_EQ(result.exit_code, 0);
  std::string sizes;
  for (const auto& [path, bytes] : Records()) {
    sizes += fs::path(path).filename().string() + " " +
             (bytes ? std::to_string(bytes->size()) : std::string("absent")) + ", ";
  }
  Row("record files", "all missing",
      Ending(result) + ", " + (Completed() ? "run completed" : "run cut short") + "; created with " +
          sizes.substr(0, sizes.size() - 2) + " bytes; " +
          RecordState(AfterRun(pristine_, run_->ServedInputs("EX")), "converted"));
}

// Root writes any file, so these runs are made as the user nobody.
class ReadOnlyRecordFile : public BadLocalState {
 protected:
  ProgramResult RunWithReadOnly(const std::string& path) {
    if (!fs::exists(F(path))) WriteFileBytes(F(path), "");
    pristine_ = Records();
    run_->ShareWithEveryone();
    fs::permissions(F(path), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    return run_->Run(true);
  }
};

TEST_F(ReadOnlyRecordFile, BaseyStopsTheRunAtTheVisaImportWithError75) {
  Start();
  const ProgramResult result = RunWithReadOnly("velmorin/quorra/basey");
  EXPECT_EQ(result.exit_code, 2);
  EXPECT_THAT(LogLines(result, "error"), ElementsAre("error\t75\tError de acceso a la ruta o el archivo"));
  const std::string requests = Requests(4);
  EXPECT_EQ(requests, "4 requests, the last /datosprefmenor/VISADO75.txt");
  Row("record files", "basey read-only",
      Ending(result) + "; " + requests + "; " + RecordState(pristine_, "as before the run"));
}

TEST_F(ReadOnlyRecordFile, BaseextStopsTheRunAtTheLastConversionWithError75) {
  Start();
  const ProgramResult result = RunWithReadOnly("velmorin/quorra/baseext");
  EXPECT_EQ(result.exit_code, 2);
  EXPECT_THAT(LogLines(result, "error"), ElementsAre("error\t75\tError de acceso a la ruta o el archivo"));
  EXPECT_FALSE(Completed());
  const std::string requests = Requests(13);
  EXPECT_EQ(requests, "13 requests, the last /bdi/tarquinas.txt");
  Row("record files", "baseext read-only",
      Ending(result) + "; " + requests + "; " +
          RecordState(AfterRun(pristine_, run_->ServedInputs("EX"), Step::kPreferencePrices),
                      "as after BuildPreferencePrices"));
}

TEST_F(BadLocalState, MissingUpdateServerDestinationIsAFailedTransfer) {
  Start();
  fs::remove_all(F("velmorin/AF"));
  const ProgramResult result = run_->Run();
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_THAT(LogLines(result, "msgbox"),
              ElementsAre(testing::HasSubstr("No puede descargar \\nF:\\velmorin\\AF\\NoSust.Gt\\n")));
  // The control looks for the folder before it asks the server.
  const std::string requests = Requests(9);
  EXPECT_EQ(requests, "9 requests, the last /datosprefmenor/Trelvanos.exe");
  const ConversionInputs in = run_->ServedInputs("EX");
  Row("destination folder", "\\velmorin\\AF missing (update server)",
      Ending(result) + "; " + requests + "; " +
          RecordState(AfterRun(pristine_, in, Step::kNotifiedPrices), "as after the notified-price rebuild"));
}

TEST_F(BadLocalState, MissingCouncilDestinationIsSilentUntilTheRecordFilesThereAreNeeded) {
  Start();
  fs::remove_all(F("velmorin/bases"));
  pristine_ = Records();
  const ProgramResult result = run_->Run();
  EXPECT_EQ(result.exit_code, 2);
  EXPECT_THAT(LogLines(result, "msgbox"), IsEmpty());
  EXPECT_THAT(LogLines(result, "error"), ElementsAre("error\t76\tNo se ha encontrado la ruta de acceso"));
  const auto requests = run_->RequestLines(12);
  EXPECT_THAT(requests, testing::Not(testing::Contains(testing::HasSubstr("serializacion"))));
  Row("destination folder", "\\velmorin\\bases missing (council site)",
      Ending(result) + "; council download passed over in silence (" + std::to_string(requests.size()) +
          " requests); " +
          RecordState(AfterRun(pristine_, run_->ServedInputs("EX"), Step::kEndMarks), "as after ClearEndMarks"));
}

// A product text file with NUL bytes, a 100,000-character line and CR-only line ends.
std::string OddProductFile() {
  std::string first = ProductLine();
  first[6] = '\0';   // col7Code
  first[23] = '\0';  // an unused position
  std::string longest =
      "654321"
      "LN"
      "ABCDEF"
      "Q"
      "W"
      "L17"
      "L2"
      "-----"
      "00099.99"
      "V"
      "L3636"
      "L4141";
  longest += std::string(100000 - longest.size(), 'x');
  return first + "\r" + longest + "\r\r" + "400001 sin fin de linea";
}

TEST_F(BadLocalState, OddProductFileIsImportedLineByLine) {
  Start();
  const fs::path work = run_->pharmacy().drives().parent_path() / "odd";
  fs::create_directories(work);
  WriteFileBytes(work / "dolvek.txt", OddProductFile());
  const fs::path archive = run_->pharmacy().site("update") / "bdi/bases/euro/dolvek.arj";
  fs::remove(archive);
  const std::string command = "cd '" + work.string() + "' && arj a -y '" + archive.string() + "' dolvek.txt >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const ProgramResult result = run_->Run();
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(ReadFileBytes(F("velmorin/bases/dolvek.txt")), OddProductFile());
  ConversionInputs in = run_->ServedInputs("EX");
  in.product_file = OddProductFile();
  Row("dolvek.txt", "NUL bytes, a 100,000-character line, CR-only line ends",
      Ending(result) + ", " + (Completed() ? "run completed" : "run cut short") + "; " +
          RecordState(AfterRun(pristine_, in), "converted"));
}

// The same file through ImportProductFile alone, field by field.
TEST(OddProductFile, EveryLineIsReadAsTheCharactersItHolds) {
  MemoryFileSystem fs;
  const auto put = [&fs](const std::string& path, size_t length, int64_t n, const std::string& bytes) {
    std::string file = fs.FileExists(path) ? fs.File(path) : std::string();
    file.resize(std::max(file.size(), static_cast<size_t>(n) * length), ' ');
    file.replace(static_cast<size_t>(n - 1) * length, bytes.size(), bytes);
    fs.SetFile(path, file);
  };
  const struct {
    const char* code;
    int64_t stem, record;
    int digit;
  } products[] = {{"712345", 71234, 101, 5}, {"654321", 65432, 102, 1}, {"400001", 40000, 103, 1}};
  for (const auto& p : products) {
    std::string index(ProductRecord::kLength, ' ');
    SetText(index, ProductRecord::IndexSlot(p.digit), std::to_string(p.record));
    put("C:\\velmorin\\quorra\\basey", ProductRecord::kLength, p.stem, index);
    std::string product(ProductRecord::kLength, ' ');
    SetText(product, ProductRecord::kCode, p.code);
    put("C:\\velmorin\\quorra\\basey", ProductRecord::kLength, p.record, product);
    std::string detail(ProductDetailRecord::kLength, ' ');
    SetText(detail, ProductDetailRecord::kCode, p.code);
    put("C:\\velmorin\\quorra\\basea", ProductDetailRecord::kLength, p.record, detail);
    put("C:\\velmorin\\bases\\coste", CostRecord::kLength, p.record, std::string(CostRecord::kLength, ' '));
  }
  fs.SetFile("C:\\velmorin\\bases\\dolvek.txt", OddProductFile());
  Channels channels(fs);
  ImportProductFile(channels, "", "EX");
  const auto field = [&fs](const char* path, size_t length, int64_t n, TextField f) {
    return GetText(std::string_view(fs.File(path)).substr(static_cast<size_t>(n - 1) * length, length), f);
  };
  const char* basey = "C:\\velmorin\\quorra\\basey";
  const char* basea = "C:\\velmorin\\quorra\\basea";
  // A NUL is one more character.
  EXPECT_EQ(field(basea, ProductDetailRecord::kLength, 101, ProductDetailRecord::kCol7Code), std::string("\0B", 2));
  EXPECT_EQ(field(basey, ProductRecord::kLength, 101, ProductRecord::kRegionFlag), "Y");
  // The long line: its fields, and position 76 for the region flag.
  EXPECT_EQ(field(basey, ProductRecord::kLength, 102, ProductRecord::kAmountText), "00099.99 ");
  EXPECT_EQ(field(basey, ProductRecord::kLength, 102, ProductRecord::kCol17Code), "L17");
  EXPECT_EQ(field(basey, ProductRecord::kLength, 102, ProductRecord::kRegionFlag), "x");
  EXPECT_EQ(field(basea, ProductDetailRecord::kLength, 102, ProductDetailRecord::kCol36Code), "L363");
  // The last line, after an empty one and without an ending of its own, is still read.
  EXPECT_EQ(field(basey, ProductRecord::kLength, 103, ProductRecord::kCol17Code), "e l");
  EXPECT_EQ(field(basea, ProductDetailRecord::kLength, 103, ProductDetailRecord::kCol7Code), " s");
}

}  // namespace
}  // namespace velmorin::test_support
