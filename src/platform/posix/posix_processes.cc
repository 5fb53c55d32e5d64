// PosixProcesses: fork for the cmd stand-in, a double fork for focused programs so that
// nothing is left for us to reap.
#include "platform/posix/posix_processes.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <iostream>

#include "common/runtime_error.h"
#include "common/ui_log.h"
#include "platform/posix/command_interpreter.h"
#include "platform/posix/posix_error.h"

namespace velmorin::platform {
namespace fs = std::filesystem;
namespace {

void CloseInheritedFiles() {
  if (::close_range(3, ~0U, 0) == 0) return;
  const long open_max = ::sysconf(_SC_OPEN_MAX);
  for (int fd = 3; fd < (open_max > 0 && open_max < 65536 ? open_max : 65536); ++fd) ::close(fd);
}

void Redirect(int fd, const char* path, int flags) {
  const int opened = ::open(path, flags, 0666);
  if (opened < 0) return;
  if (opened != fd) {
    ::dup2(opened, fd);
    ::close(opened);
  }
}

// Cuts the child loose from the terminal and from the parent's open files, as a program
// started on Windows inherits no handles and keeps running after we end. Its output goes to
// `command_log` (empty: nowhere).
void DetachChild(const std::string& command_log) {
  ::setsid();
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  const char* out = command_log.empty() ? "/dev/null" : command_log.c_str();
  Redirect(STDIN_FILENO, "/dev/null", O_RDONLY);
  Redirect(STDOUT_FILENO, out, O_WRONLY | O_CREAT | O_APPEND);
  Redirect(STDERR_FILENO, out, O_WRONLY | O_CREAT | O_APPEND);
  CloseInheritedFiles();
}

class PosixProcess : public Process {
 public:
  explicit PosixProcess(pid_t pid) : pid_(pid) {}
  // A child still running when this is dropped is reaped only by our own end.
  ~PosixProcess() override { Running(); }
  PosixProcess(const PosixProcess&) = delete;
  PosixProcess& operator=(const PosixProcess&) = delete;

  bool Running() override {
    if (ended_) return false;
    int status = 0;
    pid_t done = ::waitpid(pid_, &status, WNOHANG);
    while (done < 0 && errno == EINTR) done = ::waitpid(pid_, &status, WNOHANG);
    if (done == 0) return true;
    ended_ = true;
    return false;
  }

 private:
  pid_t pid_;
  bool ended_ = false;
};

class PosixProcesses : public Processes {
 public:
  PosixProcesses(PosixFileSystem& fs, UiLog& log, std::string command_log)
      : fs_(fs), log_(log), command_log_(std::move(command_log)) {}

  std::unique_ptr<Process> StartHidden(const std::string& command_line) override {
    log_.Line({"start", "hidden", command_line});
    const pid_t pid = ::fork();
    if (pid < 0) FailLastErrno(err::kOutOfMemory, "fork for " + command_line);
    if (pid == 0) RunInChild(command_line);
    return std::make_unique<PosixProcess>(pid);
  }

  void StartFocused(const std::string& program) override {
    const fs::path file = fs_.HostPath(program);
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) throw RuntimeError(err::kFileNotFound, "start " + program);
    log_.Line({"start", "focused", program});
    if (!IsRunnableHere(file)) {
      LogSkippedProgram(log_, program);
      return;
    }
    EnsureRunBit(file);
    const fs::path folder = fs_.HostPath(fs_.CurrentFolder());
    const pid_t pid = ::fork();
    if (pid < 0) FailLastErrno(err::kOutOfMemory, "fork for " + program);
    if (pid == 0) {
      DetachChild(command_log_);
      ::_exit(SpawnProgram(file, {}, folder) < 0 ? 1 : 0);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }

 private:
  [[noreturn]] void RunInChild(const std::string& command_line) {
    int status = 1;
    try {
      DetachChild(command_log_);
      CommandInterpreter interpreter(fs_, std::cerr, log_);
      status = interpreter.RunLine(command_line);
    } catch (...) {
      // Nothing may escape into the parent's copy of the stack.
    }
    ::_exit(status & 0xff);
  }

  PosixFileSystem& fs_;
  UiLog& log_;
  std::string command_log_;
};

}  // namespace

std::unique_ptr<Processes> MakePosixProcesses(PosixFileSystem& fs, UiLog& log, std::string command_log) {
  return std::make_unique<PosixProcesses>(fs, log, std::move(command_log));
}

}  // namespace velmorin::platform
