// The fakes of fake_platform.h.
#include "support/fake_platform.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "common/cp1252.h"
#include "platform/program_end.h"

namespace velmorin::test_support {
namespace {

// One turn of a real loop with time to spare: every enabled timer fires once, in the order of
// the control table. Returns whether any was enabled.
bool FireEnabledTimers(Form& form) {
  bool any = false;
  for (const ControlSpec& control : form.spec().controls) {
    if (!form.loaded()) break;
    if (control.kind != ControlKind::kTimer || control.interval_ms <= 0 || !form.TimerEnabled(control.name)) continue;
    any = true;
    if (form.on_timer) form.on_timer(control.name);
  }
  return any && form.on_timer;
}

}  // namespace

void FakeUi::Load(Form& form) {
  if (std::find(attached_.begin(), attached_.end(), &form) == attached_.end()) {
    form.AddObserver(this);
    attached_.push_back(&form);
  }
  events.push_back("load " + form.name());
  form.MarkLoaded();
}

void FakeUi::Show(Form& form) {
  events.push_back("show " + form.name());
  form.MarkShown();
}

void FakeUi::ShowModal(Form& form) {
  if (!form.loaded()) return;
  events.push_back("show " + form.name());
  form.MarkShown();
  while (form.loaded()) {
    if (!FireEnabledTimers(form)) throw std::logic_error("a modal form with no timer running would wait forever");
  }
}

void FakeUi::Unload(Form& form) {
  events.push_back("unload " + form.name());
  form.MarkUnloaded();
}

void FakeUi::Refresh(Form& form) { events.push_back("refresh " + form.name()); }

void FakeUi::DoEvents() {
  if (on_do_events) on_do_events();
}

void FakeUi::MessageBox(platform::MessageIcon icon, const std::string& title, const std::string& text) {
  events.push_back(std::string("msgbox ") + (icon == platform::MessageIcon::kCritical ? "critical" : "information") +
                   " " + title + " " + text);
}

void FakeUi::ReportRuntimeError(const RuntimeError& error) {
  events.push_back("error " + std::to_string(error.number()));
}

void FakeUi::EndProgram(int code) {
  events.push_back("exit " + std::to_string(code));
  throw ProgramEnded{code};
}

void FakeUi::Run(Form& startup) {
  RunEventHandler(*this, [&] {
    Load(startup);
    Show(startup);
    for (int turn = 0; turn < kRunTurns && startup.loaded(); ++turn) FireEnabledTimers(startup);
  });
  if (!startup.loaded()) EndProgram(kExitNormal);
  throw std::logic_error("the program did not end");
}

void FakeUi::OnChange(Form& form, const ControlSpec& control, const std::string& value) {
  if (!log_progress && control.kind == ControlKind::kProgressBar) return;
  events.push_back("set " + form.name() + "." + control.name + " " + value);
}

std::vector<std::string> FakeUi::Matching(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const auto& e : events) {
    if (e.rfind(prefix, 0) == 0) out.push_back(e);
  }
  return out;
}

double FakeClock::SecondsSinceMidnight() {
  const double now = wall_;
  Pass(tick);
  return now;
}

double FakeClock::SteadySeconds() {
  const double now = steady_;
  Pass(tick);
  return now;
}

void FakeClock::Sleep(double seconds) {
  if (!(seconds > 0)) return;
  slept += seconds;
  Pass(seconds);
}

void FakeClock::StepWall(double seconds) { wall_ = std::fmod(std::fmod(wall_ + seconds, 86400) + 86400, 86400); }

void FakeClock::Pass(double seconds) {
  steady_ += seconds;
  StepWall(seconds);
}

namespace {

class FakeProcess : public platform::Process {
 public:
  explicit FakeProcess(int checks) : checks_(checks) {}
  bool Running() override { return checks_-- > 0; }

 private:
  int checks_;
};

}  // namespace

std::unique_ptr<platform::Process> FakeProcesses::StartHidden(const std::string& command_line) {
  ui_.events.push_back("start hidden " + command_line);
  return std::make_unique<FakeProcess>(running_checks);
}

void FakeProcesses::StartFocused(const std::string& program) {
  if (!fs_.FileExists(program)) throw RuntimeError(err::kFileNotFound, program);
  ui_.events.push_back("start focused " + program);
}

class FakeDownloadFile : public platform::DownloadFile {
 public:
  explicit FakeDownloadFile(FakeDownloads& owner) : owner_(owner) {}

  void StartTransfer() override {
    owner_.requests.push_back("GET " + SourceUrl + " -> " + TargetPath);
    const auto it = owner_.script.find(SourceUrl);
    const FakeTransfer transfer = it == owner_.script.end() ? FakeTransfer{} : it->second;
    for (auto report : transfer.reports) {
      if (TransferProgress) TransferProgress(report);
      if (report.Cancel) {
        result_ = Ansi("Descarga cancelada por el usuario.");
        return;
      }
    }
    failed_ = transfer.failed;
    result_ = transfer.result;
    if (failed_ || TargetPath.empty()) return;
    try {
      Store(transfer.body);
    } catch (const RuntimeError&) {
      failed_ = true;
      result_ = "La carpeta de destino no existe.";
    }
  }
  // As the control does: beside the target first, where the caller's check sees it.
  void Store(const std::string& body) {
    const std::string beside = TargetPath + ".part-fake";
    owner_.fs_.Open(beside, platform::OpenMode::kOutput)->WriteAt(0, body);
    if (const auto refusal = CheckDownload ? CheckDownload(beside) : std::nullopt) {
      owner_.fs_.RemoveFile(beside);
      failed_ = true;
      result_ = "rechazado: " + *refusal;
    } else {
      owner_.fs_.Rename(beside, TargetPath);
    }
  }
  bool TransferFailed() const override { return failed_; }
  std::string ResultText() const override { return result_; }

 private:
  FakeDownloads& owner_;
  bool failed_ = false;
  std::string result_;
};

std::unique_ptr<platform::DownloadFile> FakeDownloads::Make() { return std::make_unique<FakeDownloadFile>(*this); }

platform::TrustVerdict FakeProgramTrust::Check(const std::string& path) {
  checked.push_back(path);
  auto file = fs_.Open(path, platform::OpenMode::kInput);
  std::string bytes(file->Size(), '\0');
  file->ReadAt(0, bytes);
  const auto it = by_content.find(bytes);
  return it == by_content.end() ? platform::TrustVerdict{.signature = platform::Signature::kNone} : it->second;
}

FakePlatform::FakePlatform() = default;

}  // namespace velmorin::test_support
