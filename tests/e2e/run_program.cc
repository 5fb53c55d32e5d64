// RunProgram: fork and exec the built program with a clean environment of our settings.
#include "e2e/run_program.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

namespace velmorin::test_support {

ProgramResult RunProgram(const std::map<std::string, std::string>& environment, const std::filesystem::path& ui_log,
                         double time_limit_s) {
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::string> env_strings;
  for (const auto& [name, value] : environment) env_strings.push_back(name + "=" + value);
  env_strings.push_back("VELMORIN_UI_LOG=" + ui_log.string());
  env_strings.push_back(std::string("PATH=") + (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"));
  std::vector<char*> envp;
  for (auto& s : env_strings) envp.push_back(s.data());
  envp.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(null, 1);
    // What a crash or a sanitizer says stays beside the UI log.
    const std::string errors = (ui_log.parent_path() / "program.stderr").string();
    const int err = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(err >= 0 ? err : null, 2);
    char* argv[] = {const_cast<char*>(VELMORIN_PROGRAM), nullptr};
    ::execve(VELMORIN_PROGRAM, argv, envp.data());
    ::_exit(127);
  }
  ProgramResult result;
  int status = 0;
  for (;;) {
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      break;
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (elapsed > time_limit_s) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::ifstream in(ui_log);
  for (std::string line; std::getline(in, line);) result.ui_log.push_back(line);
  std::ifstream errors(ui_log.parent_path() / "program.stderr");
  result.errors.assign(std::istreambuf_iterator<char>(errors), {});
  return result;
}

std::vector<std::string> LinesStarting(const std::vector<std::string>& lines, const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& line : lines) {
    if (line.rfind(prefix, 0) == 0) out.push_back(line);
  }
  return out;
}

}  // namespace velmorin::test_support
