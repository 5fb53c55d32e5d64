// Runs the real program as a user would: its own process, settings from the environment,
// no terminal; the exit code and the UI log afterwards.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace velmorin::test_support {

struct ProgramResult {
  int exit_code = -1;  // -1: killed (the time limit, or kill_when)
  std::vector<std::string> ui_log;
  std::string errors;  // what the program wrote to stderr (a crash, a sanitizer)
  double seconds = 0;
};

struct RunOptions {
  double time_limit_s = 120;
  // As the user nobody when the tests run as root, since root writes any file whatever its
  // permissions say. That user gets a copy of the program in a folder of its own, since the
  // build may lie where only its owner may enter.
  bool unprivileged = false;
  // Killed as soon as this says so (looked at every 20 ms), as a user would end it mid-run.
  std::function<bool()> kill_when;
};

ProgramResult RunProgram(const std::map<std::string, std::string>& environment, const std::filesystem::path& ui_log,
                         RunOptions options = {});

// The lines of the UI log that start with `prefix`.
std::vector<std::string> LinesStarting(const std::vector<std::string>& lines, const std::string& prefix);

// A run report's events, without the byte-order mark and the time stamps.
std::vector<std::string> ReportEvents(std::string bytes);

}  // namespace velmorin::test_support
