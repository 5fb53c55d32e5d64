// RunProgram: fork and exec the built program with a clean environment of our settings.
#include "e2e/run_program.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <thread>

#include "support/temp_dir.h"

namespace velmorin::test_support {
namespace fs = std::filesystem;
namespace {

constexpr uid_t kNobody = 65534;

bool DropPrivileges() {
  return ::getuid() != 0 || (::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0);
}

// A copy of the program that the user nobody can reach, removed with this object.
class ReachableCopy {
 public:
  ReachableCopy() {
    fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
    fs::copy_file(VELMORIN_PROGRAM, path());
  }
  fs::path path() const { return dir_.path() / "velmorin-update"; }

 private:
  TempDir dir_;
};

pid_t Start(const std::string& program, std::vector<std::string>& env_strings, const fs::path& errors,
            bool unprivileged) {
  std::vector<char*> envp;
  for (auto& s : env_strings) envp.push_back(s.data());
  envp.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  const int null = ::open("/dev/null", O_RDWR);
  ::dup2(null, 0);
  ::dup2(null, 1);
  // What a crash or a sanitizer says stays beside the UI log.
  const int err = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ::dup2(err >= 0 ? err : null, 2);
  if (unprivileged && !DropPrivileges()) ::_exit(126);
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  ::execve(program.c_str(), argv, envp.data());
  ::_exit(127);
}

// The exit code, or -1 when the program was killed.
int Wait(pid_t pid, const RunOptions& options) {
  const auto start = std::chrono::steady_clock::now();
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) != pid) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (seconds > options.time_limit_s || (options.kill_when && options.kill_when())) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

ProgramResult RunProgram(const std::map<std::string, std::string>& environment, const fs::path& ui_log,
                         RunOptions options) {
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::string> env_strings;
  for (const auto& [name, value] : environment) env_strings.push_back(name + "=" + value);
  env_strings.push_back("VELMORIN_UI_LOG=" + ui_log.string());
  env_strings.push_back(std::string("PATH=") + (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"));
  const fs::path errors = ui_log.parent_path() / "program.stderr";
  std::optional<ReachableCopy> copy;
  if (options.unprivileged) copy.emplace();
  const std::string program = copy ? copy->path().string() : VELMORIN_PROGRAM;

  ProgramResult result;
  result.exit_code = Wait(Start(program, env_strings, errors, options.unprivileged), options);
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::ifstream in(ui_log);
  for (std::string line; std::getline(in, line);) result.ui_log.push_back(line);
  std::ifstream errors_in(errors);
  result.errors.assign(std::istreambuf_iterator<char>(errors_in), {});
  return result;
}

std::vector<std::string> LinesStarting(const std::vector<std::string>& lines, const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& line : lines) {
    if (line.rfind(prefix, 0) == 0) out.push_back(line);
  }
  return out;
}

std::vector<std::string> ReportEvents(std::string bytes) {
  if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) bytes.erase(0, 3);
  std::vector<std::string> events;
  for (size_t at = 0; at < bytes.size();) {
    const size_t end = bytes.find("\r\n", at);
    if (end == std::string::npos || end < at + 21) break;
    events.push_back(bytes.substr(at + 21, end - at - 21));
    at = end + 2;
  }
  return events;
}

}  // namespace velmorin::test_support
