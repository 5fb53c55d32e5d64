// Fakes of the windowing side, the clock, processes and the download control, for tests of
// the dialog and the run. They record what the program did in one event list.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/memory_file_system.h"

namespace velmorin::test_support {

// Thrown by FakeUi::EndProgram so that a test sees the end of the program.
struct ProgramEnded {
  int code;
};

// Runs forms as the real loops do, without waiting: each turn of a loop fires every enabled
// timer once. A modal loop with no timer running, and a main loop still going after
// kRunTurns turns, throw std::logic_error (a real one would wait for ever).
class FakeUi : public platform::Ui, public FormObserver {
 public:
  static constexpr int kRunTurns = 1000;

  void Load(Form& form) override;
  void Show(Form& form) override;
  void ShowModal(Form& form) override;
  void Unload(Form& form) override;
  void Refresh(Form& form) override;
  void DoEvents() override;
  void MessageBox(platform::MessageIcon icon, const std::string& title, const std::string& text) override;
  void ReportRuntimeError(const RuntimeError& error) override;
  [[noreturn]] void EndProgram(int code) override;
  [[noreturn]] void Run(Form& startup) override;

  void OnChange(Form& form, const ControlSpec& control, const std::string& value) override;

  // Every effect as a line: "load F", "show F", "unload F", "refresh F", "set F.C v",
  // "msgbox critical|information <title> <text>", "error N", "exit N".
  std::vector<std::string> events;
  // Called on each DoEvents (a test's keys and clicks).
  std::function<void()> on_do_events;
  // Record "set" lines for progress bars too (they are many).
  bool log_progress = true;

  std::vector<std::string> Matching(const std::string& prefix) const;

 private:
  std::vector<Form*> attached_;
};

// Both clocks move together, by `tick` at every read (so busy loops advance) and by what
// Sleep is given, until a test sets the wall clock.
class FakeClock : public platform::Clock {
 public:
  explicit FakeClock(double start = 36000) : wall_(start) {}
  double SecondsSinceMidnight() override;
  double SteadySeconds() override;
  void Sleep(double seconds) override;
  // Sets the wall clock forward or back (a time sync); the steady clock does not move.
  void StepWall(double seconds);
  double tick = 0.001;
  double slept = 0;

 private:
  void Pass(double seconds);
  double wall_;
  double steady_ = 1000;
};

class FakeProcesses : public platform::Processes {
 public:
  explicit FakeProcesses(platform::FileSystem& fs, FakeUi& ui) : fs_(fs), ui_(ui) {}
  std::unique_ptr<platform::Process> StartHidden(const std::string& command_line) override;
  void StartFocused(const std::string& program) override;
  // How many times each started hidden process answers Running() with true.
  int running_checks = 0;

 private:
  platform::FileSystem& fs_;
  FakeUi& ui_;
};

struct FakeTransfer {
  bool failed = false;
  std::string result = "OK";
  std::string body;
  std::vector<platform::TransferProgressArgs> reports;
};

// Hands out download controls that follow a script per URL and write into the fake disk.
class FakeDownloads {
 public:
  FakeDownloads(MemoryFileSystem& fs, FakeUi& ui) : fs_(fs), ui_(ui) {}
  std::unique_ptr<platform::DownloadFile> Make();

  // Outcome for a URL; unknown URLs succeed with an empty body.
  std::map<std::string, FakeTransfer> script;
  // "GET <url> -> <target>" per transfer, in order.
  std::vector<std::string> requests;

 private:
  friend class FakeDownloadFile;
  MemoryFileSystem& fs_;
  FakeUi& ui_;
};

// Says of a file what `by_content` says of its bytes, as a signature travels inside the file;
// unsigned otherwise. Records the paths it was asked about.
class FakeProgramTrust : public platform::ProgramTrust {
 public:
  explicit FakeProgramTrust(platform::FileSystem& fs) : fs_(fs) {}
  platform::TrustVerdict Check(const std::string& path) override;
  std::map<std::string, platform::TrustVerdict> by_content;
  std::vector<std::string> checked;

 private:
  platform::FileSystem& fs_;
};

// Everything a test of the dialog or the run needs, wired together.
struct FakePlatform {
  FakePlatform();
  MemoryFileSystem fs;
  FakeUi ui;
  FakeClock clock;
  FakeProcesses processes{fs, ui};
  FakeDownloads downloads{fs, ui};
  FakeProgramTrust trust{fs};
  platform::Platform platform{fs, ui, processes, clock, [this] { return downloads.Make(); }, nullptr, &trust};
};

}  // namespace velmorin::test_support
