// FaultRun and its helpers: expected record states, the fault table's rows.
#include "e2e/fault_run.h"

#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

#include "common/runtime_error.h"
#include "convert/build_preference_prices.h"
#include "convert/clear_end_marks.h"
#include "convert/import_product_file.h"
#include "convert/import_serialization_list.h"
#include "convert/import_visado_list.h"
#include "convert/notified_prices.h"
#include "support/memory_file_system.h"

namespace velmorin::test_support {
namespace fs = std::filesystem;

const std::vector<std::string>& RecordFilePaths() {
  static const std::vector<std::string> paths = {
      "velmorin/quorra/basey", "velmorin/quorra/basea", "velmorin/quorra/baseext",     "velmorin/quorra/BaseP",
      "velmorin/bases/coste",  "velmorin/bases/LabGT",  "velmorin/preferencia/precios"};
  return paths;
}

DriveFiles ReadFiles(const fs::path& drive, const std::vector<std::string>& paths) {
  DriveFiles files;
  for (const auto& path : paths) {
    files[path] = fs::exists(drive / path) ? std::optional(ReadFileBytes(drive / path)) : std::nullopt;
  }
  return files;
}

namespace {

class NoProgress : public ConversionProgress {
 public:
  void SetDialogBar(int) override {}
  void SetStartupBar(int) override {}
};

std::string WindowsPath(const std::string& relative) {
  std::string path = "C:\\" + relative;
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

// The record files on an in-memory drive C:, a step applied, the files read back.
template <class Step>
DriveFiles Apply(const DriveFiles& files, Step step) {
  MemoryFileSystem fs;
  for (const auto& [path, bytes] : files) {
    const std::string windows = WindowsPath(path);
    fs.AddFolder(windows.substr(0, windows.find_last_of('\\')));
    if (bytes) fs.SetFile(windows, *bytes);
  }
  Channels channels(fs);
  step(fs, channels);
  DriveFiles out;
  for (const auto& [path, unused] : files) {
    out[path] = fs.FileExists(WindowsPath(path)) ? std::optional(fs.File(WindowsPath(path))) : std::nullopt;
  }
  return out;
}

}  // namespace

DriveFiles AfterVisaImport(const DriveFiles& files, const std::string& list) {
  return Apply(files, [&](MemoryFileSystem& fs, Channels& channels) {
    fs.SetFile("C:\\velmorin\\VISADO75.txt", list);
    ImportVisadoList(channels);
  });
}

DriveFiles AfterNotifiedPrices(const DriveFiles& files, const std::string& list) {
  return Apply(files, [&](MemoryFileSystem& fs, Channels& channels) {
    fs.SetFile("C:\\velmorin\\quorra\\pvpnotificados.txt", list);
    NoProgress progress;
    RebuildNotifiedPrices(channels, progress);
  });
}

DriveFiles AfterRun(const DriveFiles& files, const ConversionInputs& in, Step last) {
  DriveFiles out = AfterVisaImport(files, in.visa_list);
  if (last >= Step::kNotifiedPrices) out = AfterNotifiedPrices(out, in.notified_list);
  if (last < Step::kEndMarks) return out;
  return Apply(out, [&](MemoryFileSystem& fs, Channels& channels) {
    NoProgress progress;
    ClearEndMarks(channels, progress);
    if (last < Step::kProductFile) return;
    fs.SetFile("C:\\velmorin\\bases\\dolvek.txt", in.product_file);
    ImportProductFile(channels, "", in.region_suffix);
    if (last < Step::kPreferencePrices) return;
    fs.SetFile("C:\\velmorin\\preferencia\\espec", in.espec);
    BuildPreferencePrices(channels);
    if (last < Step::kSerialization) return;
    if (in.serialization_list) fs.SetFile("C:\\velmorin\\bases\\serializacion.txt", *in.serialization_list);
    ImportSerializationList(channels);
  });
}

DriveFiles RecordFiles(const MatrixRun& run) {
  DriveFiles files;
  for (const std::string& path : RecordFilePaths()) files[path] = run.DataFile(path);
  return files;
}

FaultRun::FaultRun(const std::string& region_name)
    : pharmacy_(std::make_unique<Pharmacy>(region_name)),
      server_(std::make_unique<TestServer>(std::vector<TestServer::Site>{{"update", pharmacy_->site("update")},
                                                                         {"council", pharmacy_->site("council")},
                                                                         {"coop", pharmacy_->site("coop")}})) {
  environment_ = {{"VELMORIN_DRIVES", pharmacy_->drives().string()},
                  {"VELMORIN_UPDATE_SERVER", server_->BaseUrl("update")},
                  {"VELMORIN_COUNCIL_SITE", server_->BaseUrl("council")},
                  {"VELMORIN_COOP_SITE", server_->BaseUrl("coop")},
                  // Not the loopback address: the failure box then names the destination.
                  {"VELMORIN_UPDATE_ADDRESS", "192.0.2.1"},
                  {"VELMORIN_UPDATE_HOSTNAME", "actualizaciones.velmorin.es"},
                  {"VELMORIN_CONNECT_TIMEOUT", "2"},
                  {"VELMORIN_STALL_TIMEOUT", "1"}};
}

ProgramResult FaultRun::Run(bool unprivileged) {
  return RunProgram(environment_, pharmacy_->ui_log(), {.unprivileged = unprivileged});
}

void FaultRun::ShareWithEveryone() {
  const fs::path root = pharmacy_->ui_log().parent_path();
  fs::permissions(root, fs::perms::all, fs::perm_options::add);
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_symlink()) fs::permissions(entry.path(), fs::perms::all, fs::perm_options::add);
  }
}

std::vector<std::string> FaultRun::RequestLines(size_t count) const {
  std::vector<std::string> lines;
  for (const auto& r : server_->WaitForRequests(count, 10)) {
    lines.push_back(r.site + " " + r.method + " " + r.path + " " + std::to_string(r.status));
  }
  return lines;
}

std::vector<std::string> FaultRun::TemporaryFiles() const {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(pharmacy_->drives())) {
    if (entry.path().filename().string().find(".part-") != std::string::npos) found.push_back(entry.path().string());
  }
  return found;
}

ConversionInputs ServedInputs(const Pharmacy& pharmacy, const std::string& region_suffix) {
  const fs::path lists = pharmacy.site("update") / "datosprefmenor";
  ConversionInputs in;
  in.visa_list = ReadFileBytes(lists / "VISADO75.txt");
  in.notified_list = ReadFileBytes(lists / "pvpnotificados.txt");
  in.espec = ReadFileBytes(lists / ("espec." + region_suffix));
  in.product_file = ProductLine() + "\r\n";
  in.serialization_list = ReadFileBytes(pharmacy.site("council") / "serializacion.txt");
  in.region_suffix = region_suffix;
  return in;
}

ConversionInputs FaultRun::ServedInputs(const std::string& region_suffix) const {
  return test_support::ServedInputs(*pharmacy_, region_suffix);
}

void ProgramRun::RefuseSite(const std::string& site) {
  run_.SetSiteUrl(site == "coop" ? "VELMORIN_COOP_SITE" : "VELMORIN_COUNCIL_SITE", closed_.Url());
}

std::optional<std::string> ProgramRun::DataFile(const std::string& relative) const {
  const fs::path path = run_.pharmacy().F(relative);
  return fs::exists(path) ? std::optional(ReadFileBytes(path)) : std::nullopt;
}

void ProgramRun::SetDataFile(const std::string& relative, const std::string& bytes) {
  WriteFileBytes(run_.pharmacy().F(relative), bytes);
}

bool ProgramRun::AnyPathContains(const std::string& part) const {
  for (const auto& entry : fs::recursive_directory_iterator(run_.pharmacy().drives())) {
    if (entry.path().filename().string().find(part) != std::string::npos) return true;
  }
  return false;
}

std::vector<std::string> LogLines(const ProgramResult& result, const std::string& prefix) {
  return LinesStarting(result.ui_log, prefix);
}

namespace {

using CaseKey = std::pair<std::string, std::string>;

std::set<CaseKey>& Registry() {
  static std::set<CaseKey> cases;
  return cases;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The cells of a table row "| a | b | c |"; nothing for other lines, the header and the rule.
std::optional<std::vector<std::string>> RowCells(const std::string& line) {
  if (line.rfind("| ", 0) != 0) return std::nullopt;
  std::vector<std::string> cells;
  std::stringstream in(line.substr(1));
  for (std::string cell; std::getline(in, cell, '|');) cells.push_back(Trim(cell));
  if (cells.size() < 3 || cells[0] == "subject" || cells[0].rfind("---", 0) == 0) return std::nullopt;
  return cells;
}

std::vector<std::string> DocLines() {
  std::ifstream in(fs::path(VELMORIN_SOURCE_DIR) / "docs" / "faults.md");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace

bool RegisterFaultCase(const std::string& subject, const std::string& fault) {
  return Registry().insert({subject, fault}).second;
}

void ExpectFaultRow(const std::string& subject, const std::string& fault, const std::string& outcome) {
  EXPECT_TRUE(Registry().count({subject, fault})) << subject << " / " << fault << " is not a registered case";
  const std::string row = "| " + subject + " | " + fault + " | " + outcome + " |";
  std::string current = "(none)";
  for (const std::string& line : DocLines()) {
    if (line == row) return;
    const auto cells = RowCells(line);
    if (cells && (*cells)[0] == subject && (*cells)[1] == fault) current = line;
  }
  ADD_FAILURE() << "docs/faults.md does not say what the program did. Its row for this case:\n"
                << current << "\nmust read:\n"
                << row;
}

TEST(FaultTable, EveryRowIsACaseAndEveryCaseHasARow) {
  std::set<CaseKey> documented;
  for (const std::string& line : DocLines()) {
    if (const auto cells = RowCells(line)) {
      EXPECT_TRUE(Registry().count({(*cells)[0], (*cells)[1]})) << "no test makes this row: " << line;
      EXPECT_TRUE(documented.insert({(*cells)[0], (*cells)[1]}).second) << "row given twice: " << line;
    }
  }
  for (const auto& [subject, fault] : Registry()) {
    EXPECT_TRUE(documented.count({subject, fault})) << "docs/faults.md has no row for " << subject << " / " << fault;
  }
}

}  // namespace velmorin::test_support
