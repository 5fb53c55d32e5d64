// UpdateRun: the stages of the run in their fixed order.
#include "app/update_run.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "app/download_step.h"
#include "app/timed_wait.h"
#include "common/cp1252.h"
#include "convert/build_preference_prices.h"
#include "convert/clear_end_marks.h"
#include "convert/import_product_file.h"
#include "convert/import_serialization_list.h"
#include "convert/import_visado_list.h"
#include "convert/notified_prices.h"
#include "download/program_check.h"

namespace velmorin {
namespace {

constexpr double kExtractionStepWait = 5;
constexpr double kInstallerWait = 10;
// arj has normally finished long before; a hung archiver must not hold the run forever.
constexpr double kExtractionLimit = 600;

class FormsProgress : public ConversionProgress {
 public:
  FormsProgress(MenorRef& dialog, Form& startup) : dialog_(dialog), startup_(startup) {}
  void SetDialogBar(int value) override { dialog_.SetProgressBar(value); }
  void SetStartupBar(int value) override { startup_.SetValue("ProgressBar1", value); }

 private:
  MenorRef& dialog_;
  Form& startup_;
};

std::string ExtractionCommand(const std::string& p, const std::string& destination) {
  return "cmd /c cd " + p + "\\velmorin\\ &  arj e " + p + "\\velmorin\\bdnet\\temp\\dolvek.arj " + p + destination;
}

}  // namespace

std::string FirstExtractionCommand(const std::string& prefix) {
  return ExtractionCommand(prefix, "\\velmorin\\bases -y ");
}

std::string SecondExtractionCommand(const std::string& prefix) {
  return ExtractionCommand(prefix, "\\velmorin\\bdnet -y ");
}

std::string InstallerCommand(const std::string& p) {
  return "cmd /c cd " + p + "\\velmorin\\bdnet\\soft\\ & copy ovt-qe58.exe " + p + "\\velmorin\\bdnet\\*.* & cd " + p +
         "\\velmorin\\bdnet & ovt-qe58.exe";
}

void UpdateRun::Run() {
  prefix_ = ReadDrivePrefix(channels_);
  PrepareFolders(platform_.fs, prefix_);
  region_ = DetectRegion(channels_, prefix_);
  platform::Report(platform_, "datos",
                   Ansi("unidad '") + prefix_ + Ansi("', región '") + region_.name + "' (" + region_.code + ")");
  DownloadSteps(dialog_, platform_.ui, startup_, prefix_).Initial();
  ReferenceLists();
  PreferenceAndDatabase();
  ExtractAndConvert();
  LaunchInstaller();
}

void UpdateRun::ReferenceLists() {
  DownloadSteps steps(dialog_, platform_.ui, startup_, prefix_);
  const std::string lists = settings_.update_server + "/datosprefmenor/";
  steps.Run({.address = settings_.council_site + "/serializacion.txt", .folder = "\\velmorin\\bases\\"});
  steps.Run({.address = lists + "SNOMED.txt", .folder = "\\velmorin\\quorra\\"});
  steps.Run({.address = lists + "VISADO75.txt", .folder = "\\velmorin\\"});
  Converted("ImportVisadoList", [&] { ImportVisadoList(channels_); });
  NotifiedPrices();
  steps.Run({.address = lists + "bioequiv.txt", .fixed_path = "\\velmorin\\quorra\\bioequiv"});
  if (region_.code == "CYL") steps.Run({.address = lists + "Cyl_Menores.txt", .folder = "\\velmorin\\maximos\\"});
}

void UpdateRun::NotifiedPrices() {
  DownloadSteps(dialog_, platform_.ui, startup_, prefix_)
      .Run({.address = settings_.update_server + "/datosprefmenor/pvpnotificados.txt",
            .folder = "\\velmorin\\quorra\\",
            .preparation = [this] { EmptyNotifiedPriceList(channels_); }});
  FormsProgress progress(dialog_, startup_);
  Converted("RebuildNotifiedPrices", [&] { RebuildNotifiedPrices(channels_, progress); });
}

void UpdateRun::PreferenceAndDatabase() {
  DownloadSteps steps(dialog_, platform_.ui, startup_, prefix_);
  const std::string lists = settings_.update_server + "/datosprefmenor/";
  const std::string preferencia = "\\velmorin\\preferencia\\";
  steps.Run({.address = lists + "espec", .folder = preferencia, .fetched_address = lists + "espec." + region_.suffix});
  steps.Run(
      {.address = lists + "conjunto", .folder = preferencia, .fetched_address = lists + "conjunto." + region_.suffix});
  steps.Run({.address = lists + "Trelvanos.exe", .folder = "\\velmorin\\reparar\\"});
  steps.Run({.address = lists + "NoSust.Gt", .folder = "\\velmorin\\AF\\"});
  steps.Run({.address = lists + "Quimbaleta.exe", .folder = "\\velmorin\\reparar\\"});
  if (region_.code == "CYL") steps.Run({.address = lists + "Sustituir.cyl", .folder = preferencia});
  steps.Run({.address = settings_.update_server + "/bdi/bases/euro/dolvek.arj", .folder = "\\velmorin\\bdnet\\temp\\"});
  steps.Run(
      {.address = settings_.update_server + "/bdi/tarquinas.txt", .fixed_path = "\\velmorin\\sodrilax\\tarquinas.act"});
}

void UpdateRun::ExtractAndConvert() {
  std::vector<std::unique_ptr<platform::Process>> extractions;
  extractions.push_back(platform_.processes.StartHidden(FirstExtractionCommand(prefix_)));
  extractions.push_back(platform_.processes.StartHidden(SecondExtractionCommand(prefix_)));
  const auto bar = [this](int value) { SetStartupBar(value); };
  TimedWait(platform_.clock, kExtractionStepWait, bar);
  const std::string tool = prefix_ + "\\velmorin\\reparar\\quimbaleta.exe";
  if (MayStartProgram(platform_, tool, settings_.trusted_signer)) platform_.processes.StartFocused(tool);
  TimedWait(platform_.clock, kExtractionStepWait, bar);
  // The product file must be complete before it is read: wait for the archiver itself.
  WaitForProcesses(platform_.clock, extractions, kExtractionLimit);
  platform_.fs.ChangeFolder(prefix_ + "\\velmorin\\bdnet");
  WriteOrigin();
  Convert();
}

void UpdateRun::WriteOrigin() {
  channels_.Close(1);
  TextOutput& origin = channels_.OpenOutput(1, "origen");
  origin.WriteLine(Ansi("VELMORÍN"));
  origin.WriteLine("DOLVEK");
  origin.WriteLine("");
  channels_.Close(1);
}

void UpdateRun::Convert() {
  FormsProgress progress(dialog_, startup_);
  Converted("ClearEndMarks", [&] { ClearEndMarks(channels_, progress); });
  Converted("ImportProductFile", [&] { ImportProductFile(channels_, prefix_, region_.suffix); });
  Converted("BuildPreferencePrices", [&] { BuildPreferencePrices(channels_); });
  Converted("ImportSerializationList", [&] { ImportSerializationList(channels_); });
}

void UpdateRun::Converted(std::string_view routine, const std::function<void()>& convert) {
  channels_.TakeRecordsWritten();
  const double start = platform_.clock.SteadySeconds();
  convert();
  const double seconds = platform_.clock.SteadySeconds() - start;
  std::string text(routine);
  const auto written = channels_.TakeRecordsWritten();
  if (written.empty()) text += ": sin registros escritos";
  const char* separator = ": ";
  for (const auto& [path, count] : written) {
    text += separator + std::to_string(count) + " registros en " + path;
    separator = ", ";
  }
  char elapsed[32];
  std::snprintf(elapsed, sizeof elapsed, "; %.2f s", seconds);
  platform::Report(platform_, "conversión", text + elapsed);
}

void UpdateRun::LaunchInstaller() {
  if (MayStartProgram(platform_, InstallerProgram(), settings_.trusted_signer)) {
    platform_.processes.StartHidden(InstallerCommand(prefix_));
  }
  const double start = platform_.clock.SteadySeconds();
  platform_.ui.Refresh(startup_);
  TimedWaitFrom(platform_.clock, start, kInstallerWait);
}

// The installer line copies the installer beside the data and runs that copy; where the line's
// copy cannot take place, it runs the one already there.
std::string UpdateRun::InstallerProgram() {
  const std::string source = prefix_ + "\\velmorin\\bdnet\\soft\\ovt-qe58.exe";
  return platform_.fs.FileExists(source) ? source : prefix_ + "\\velmorin\\bdnet\\ovt-qe58.exe";
}

void UpdateRun::SetStartupBar(int value) { startup_.SetValue("ProgressBar1", value); }

}  // namespace velmorin
