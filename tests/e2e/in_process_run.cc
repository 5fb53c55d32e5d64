// InProcessRun: the update run on the fakes, as the fault matrix drives it.
#include "e2e/in_process_run.h"

#include <chrono>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "app/updater.h"
#include "common/run_report.h"
#include "common/runtime_error.h"
#include "common/settings.h"
#include "common/ui_log.h"
#include "download/download_control.h"
#include "support/fake_transport.h"

namespace velmorin::test_support {
namespace fs = std::filesystem;

// The three sites by name ("update" is served at http://update.fake), and the log of their
// answers in the order they ended, as the test server keeps it.
struct InProcessRun::Sites {
  // The run's clock: the transports wait on it, the control and the run's waits move it.
  std::shared_ptr<SharedFakeClock> clock = std::make_shared<SharedFakeClock>();
  std::mutex mutex;
  std::map<std::string, FakeSite> sites;
  std::map<std::string, size_t> logged;
  std::vector<std::string> log;
  std::function<void(const std::string&)> on_answered;

  void Collect(const std::string& name) {
    std::vector<std::string> lines;
    {
      std::lock_guard lock(mutex);
      const std::vector<std::string> answered = sites[name].Requests();
      for (size_t& i = logged[name]; i < answered.size(); ++i) lines.push_back(name + " GET " + answered[i]);
      log.insert(log.end(), lines.begin(), lines.end());
    }
    for (const std::string& line : lines) {
      if (on_answered) on_answered(line);
    }
  }
};

namespace {

const char* const kSiteNames[] = {"update", "council", "coop"};

// Sends "http://NAME.fake/..." to the site NAME; any other host to the fake's own hosts
// (refused.fake refuses).
class SiteRouter : public platform::HttpTransport {
 public:
  // Counted on the run's clock from here, on the control's thread, so that the clock cannot
  // run ahead before the worker reaches a site; the site's own transport takes the count over.
  explicit SiteRouter(std::shared_ptr<InProcessRun::Sites> sites) : sites_(std::move(sites)) { sites_->clock->Join(); }
  ~SiteRouter() override {
    transports_.clear();
    if (counted_) sites_->clock->Leave();
  }

  platform::TransportResult Get(const platform::HttpRequest& request, platform::TransportEvents& events) override {
    size_t host = request.url.find("://") + 3;
    const size_t at = request.url.find('@', host);
    if (at < request.url.find('/', host)) host = at + 1;  // past a user name and password
    const size_t dot = request.url.find(".fake", host);
    const std::string name = dot == std::string::npos ? "" : request.url.substr(host, dot - host);
    platform::HttpTransport& transport = TransportFor(name);
    if (!sites_->sites.count(name)) return transport.Get(request, events);
    platform::HttpRequest routed = request;
    routed.url = "http://site.fake" + request.url.substr(dot + 5);
    const platform::TransportResult result = transport.Get(routed, events);
    sites_->Collect(name);
    return result;
  }

 private:
  platform::HttpTransport& TransportFor(const std::string& name) {
    std::unique_ptr<platform::HttpTransport>& transport = transports_[name];
    if (!transport) {
      std::lock_guard lock(sites_->mutex);
      const auto site = sites_->sites.find(name);
      transport = (site == sites_->sites.end() ? sites_->sites.begin() : site)->second.MakeTransport();
    }
    if (counted_) {
      sites_->clock->Leave();
      counted_ = false;
    }
    return *transport;
  }

  std::shared_ptr<InProcessRun::Sites> sites_;
  std::map<std::string, std::unique_ptr<platform::HttpTransport>> transports_;
  bool counted_ = true;
};

// The fake UI, writing the UI log's lines for boxes, errors and the exit.
class LoggedUi : public FakeUi {
 public:
  explicit LoggedUi(UiLog& log) : log_(log) {}
  void MessageBox(platform::MessageIcon icon, const std::string& title, const std::string& text) override {
    log_.Line({"msgbox", icon == platform::MessageIcon::kCritical ? "critical" : "information", title, text});
    FakeUi::MessageBox(icon, title, text);
  }
  void ReportRuntimeError(const RuntimeError& error) override {
    log_.Line({"error", std::to_string(error.number()), error.description()});
    FakeUi::ReportRuntimeError(error);
  }
  [[noreturn]] void EndProgram(int code) override {
    log_.Line({"exit", std::to_string(code)});
    FakeUi::EndProgram(code);
  }

 private:
  UiLog& log_;
};

class EndedProcess : public platform::Process {
 public:
  bool Running() override { return false; }
};

// The archiver extracts the pharmacy's product file from an archive that arrived whole; the
// installer leaves its mark.
class StandInProcesses : public platform::Processes {
 public:
  StandInProcesses(MemoryFileSystem& fs, UiLog& log, std::string archive) : fs_(fs), log_(log), archive_(archive) {}

  std::unique_ptr<platform::Process> StartHidden(const std::string& command_line) override {
    log_.Line({"start", "hidden", command_line});
    const size_t arj = command_line.find(" arj e ");
    if (arj != std::string::npos) {
      std::istringstream words(command_line.substr(arj + 7));
      std::string archive, destination;
      words >> archive >> destination;
      if (fs_.FileExists(archive) && fs_.File(archive) == archive_)
        fs_.SetFile(destination + "\\dolvek.txt", Product());
    } else if (command_line.find("ovt-qe58.exe") != std::string::npos) {
      fs_.SetFile("F:\\installer-ran", "");
    }
    return std::make_unique<EndedProcess>();
  }
  void StartFocused(const std::string& program) override {
    if (!fs_.FileExists(program)) throw RuntimeError(err::kFileNotFound, program);
    log_.Line({"start", "focused", program});
  }

 private:
  static std::string Product() { return ProductLine() + "\r\n"; }
  MemoryFileSystem& fs_;
  UiLog& log_;
  std::string archive_;
};

std::string WindowsPath(const fs::path& drives, const fs::path& path) {
  const std::string relative = fs::relative(path, drives).string();
  std::string windows = relative.substr(0, 1) + ":\\" + (relative.size() > 2 ? relative.substr(2) : "");
  for (char& c : windows) c = c == '/' ? '\\' : c;
  return windows;
}

std::string DataPath(const std::string& relative) { return WindowsPath("/", fs::path("/F") / relative); }

// A pharmacy of the region, its drives' folders and files as Windows paths and its sites'
// files, read once: every run's disk shares the files' bytes until it writes them.
struct DriveSnapshot {
  explicit DriveSnapshot(const std::string& region_name) : pharmacy(region_name) {
    for (const auto& entry : fs::recursive_directory_iterator(pharmacy.drives())) {
      const std::string path = WindowsPath(pharmacy.drives(), entry.path());
      if (entry.is_directory()) folders.push_back(path);
      if (entry.is_regular_file())
        files.emplace_back(path, std::make_shared<const std::string>(ReadFileBytes(entry.path())));
    }
    for (const char* name : kSiteNames) {
      for (const auto& entry : fs::recursive_directory_iterator(pharmacy.site(name))) {
        if (entry.is_regular_file())
          served[name].emplace_back("/" + fs::relative(entry.path(), pharmacy.site(name)).generic_string(),
                                    ReadFileBytes(entry.path()));
      }
    }
    archive = ReadFileBytes(pharmacy.site("update") / "bdi/bases/euro/dolvek.arj");
  }
  Pharmacy pharmacy;
  std::vector<std::string> folders;
  std::vector<std::pair<std::string, std::shared_ptr<const std::string>>> files;
  std::map<std::string, std::vector<std::pair<std::string, std::string>>> served;  // by site: path, bytes
  std::string archive;
};

const DriveSnapshot& SnapshotOf(const std::string& region_name) {
  static std::map<std::string, std::unique_ptr<DriveSnapshot>> snapshots;
  auto& snapshot = snapshots[region_name];
  if (!snapshot) snapshot = std::make_unique<DriveSnapshot>(region_name);
  return *snapshot;
}

}  // namespace

InProcessRun::InProcessRun(const std::string& region_name)
    : pharmacy_(SnapshotOf(region_name).pharmacy),
      archive_(SnapshotOf(region_name).archive),
      sites_(std::make_shared<Sites>()) {
  const DriveSnapshot& snapshot = SnapshotOf(region_name);
  for (const std::string& folder : snapshot.folders) fs_.AddFolder(folder);
  for (const auto& [path, bytes] : snapshot.files) fs_.SetFile(path, bytes);
  for (const char* name : kSiteNames) {
    FakeSite& site = sites_->sites.try_emplace(name, sites_->clock).first->second;
    for (const auto& [path, bytes] : snapshot.served.at(name)) site.Serve(path, bytes);
  }
  settings_ = {.update_server = "http://update.fake",
               .council_site = "http://council.fake",
               .coop_site = "http://coop.fake",
               .update_domain = "update.fake",
               // Not the update server's address: the failure box then names the destination.
               .update_address = "192.0.2.1",
               .update_hostname = "actualizaciones.velmorin.es"};
}

InProcessRun::~InProcessRun() = default;

void InProcessRun::SetFault(const std::string& rule) {
  // The fake site reads the rules of the site "update".
  const size_t space = rule.find(' ');
  std::lock_guard lock(sites_->mutex);
  sites_->sites[rule.substr(0, space)].SetFaults("update" + rule.substr(space) + "\n");
}

void InProcessRun::RefuseSite(const std::string& site) {
  (site == "coop" ? settings_.coop_site : settings_.council_site) = RefusedBase();
}

ProgramResult InProcessRun::RunProgram() {
  const fs::path ui_log = log_dir_.path() / "ui.log";
  fs::remove(ui_log);
  RunReport report(report_path_);
  UiLog log(ui_log.string(), &report);
  LoggedUi ui(log);
  ui.log_progress = false;
  SharedFakeClock& clock = *sites_->clock;
  StandInProcesses processes(fs_, log, archive_);
  DownloadOptions options;
  // Deadlines short enough for a case a second, long enough for a loaded machine.
  options.connect_timeout_s = 0.5;
  options.stall_timeout_s = 0.5;
  const auto sites = sites_;
  const TransportFactory transports = [sites] { return std::make_unique<SiteRouter>(sites); };
  platform::Platform platform{
      fs_, ui, processes, clock, [&] { return MakeDownloadControl(transports, files_, clock, options); }, &report};

  ProgramResult result;
  const auto start = std::chrono::steady_clock::now();
  try {
    RunUpdater(platform, settings_);
  } catch (const ProgramEnded& end) {
    result.exit_code = end.code;
  }
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::ifstream in(ui_log);
  for (std::string line; std::getline(in, line);) result.ui_log.push_back(line);
  return result;
}

std::vector<std::string> InProcessRun::RequestLines(size_t count) const {
  // A worker the control gave up on ends its answer a little later.
  for (int i = 0; i < 200; ++i) {
    {
      std::lock_guard lock(sites_->mutex);
      if (sites_->log.size() >= count) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::lock_guard lock(sites_->mutex);
  return sites_->log;
}

std::vector<std::string> InProcessRun::TemporaryFiles() const { return files_.Temporaries(); }

std::optional<std::string> InProcessRun::DataFile(const std::string& relative) const {
  const std::string path = DataPath(relative);
  return fs_.FileExists(path) ? std::optional(fs_.File(path)) : std::nullopt;
}

void InProcessRun::SetDataFile(const std::string& relative, const std::string& bytes) {
  fs_.SetFile(DataPath(relative), bytes);
}

void InProcessRun::ServeSiteFile(const std::string& site, const std::string& path, const std::string& bytes) {
  std::lock_guard lock(sites_->mutex);
  sites_->sites.at(site).Serve(path, bytes);
}

void InProcessRun::OnAnswered(std::function<void(const std::string&)> hook) { sites_->on_answered = std::move(hook); }

std::string InProcessRun::Report() const { return fs::exists(report_path_) ? ReadFileBytes(report_path_) : ""; }

bool InProcessRun::AnyPathContains(const std::string& part) const { return files_.AnyNamed(part); }

}  // namespace velmorin::test_support
