// The stand-in for "cmd /c A & B & ...": runs the commands one after another whatever each
// one's outcome. It knows `cd` and `copy`; any other word is a program of this host.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "common/ui_log.h"
#include "platform/posix/posix_file_system.h"

namespace velmorin::platform {

// A program file starting with "#!" or an ELF image is runnable here; anything else (a
// Windows program, say) is foreign and is skipped.
bool IsRunnableHere(const std::filesystem::path& file);
// Adds the run bit wherever the read bit is set (a download leaves programs without it).
void EnsureRunBit(const std::filesystem::path& file);
// Writes "start\tskipped\t<program>\tno se puede ejecutar aquí" to the UI log.
void LogSkippedProgram(UiLog& log, const std::string& program);
// Forks a child that runs `program` with `args` (argv[1..]) in `folder`; returns its pid,
// or -1 when fork fails. A failed exec ends the child with status 127.
pid_t SpawnProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                   const std::filesystem::path& folder);

class CommandInterpreter {
 public:
  // Starts in `fs`'s current drive and folder. `cd` changes only the interpreter's own copy;
  // unlike cmd, a `cd` to a path with a drive letter also makes that drive current.
  // `messages` receives what cmd would print (UTF-8); `log` the programs skipped.
  CommandInterpreter(const PosixFileSystem& fs, std::ostream& messages, UiLog& log);

  // Runs "cmd /c A & B & ..." (the "cmd /c" is optional); returns the status of the last
  // command, as cmd does.
  int RunLine(const std::string& command_line);

  // "cmd /c A &  B " -> {"A", "B"}: split at "&" outside double quotes, blanks trimmed, empty
  // commands dropped.
  static std::vector<std::string> SplitCommands(const std::string& command_line);
  // Words separated by blanks; double quotes group blanks and are removed.
  static std::vector<std::string> SplitWords(const std::string& command);

  // A program argument as the program gets it: a Windows path (one with a backslash, or a
  // drive letter and colon) becomes its host path; a trailing separator is kept.
  std::string MapArgument(const std::string& word) const;
  struct FoundProgram {
    std::filesystem::path file;
    bool on_path = false;  // a program of this host, run as it is
  };
  // The host file a program word names: in the current folder as spelled (any case), else
  // on PATH without a trailing ".exe".
  std::optional<FoundProgram> FindProgram(const std::string& word) const;
  std::string CurrentFolder() const { return fs_.CurrentFolder(); }

 private:
  int RunCommand(const std::string& command);
  int ChangeFolder(const std::vector<std::string>& words);
  int Copy(const std::vector<std::string>& words);
  int RunProgram(const std::vector<std::string>& words);
  std::optional<std::filesystem::path> CopyDestination(const std::string& destination,
                                                       const std::string& source_name) const;

  PosixFileSystem fs_;
  std::ostream& messages_;
  UiLog& log_;
};

}  // namespace velmorin::platform
