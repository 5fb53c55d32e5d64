// CommandInterpreter: cmd's "A & B" sequencing, cd, copy and programs on a Linux host.
#include "platform/posix/command_interpreter.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "common/cp1252.h"
#include "common/runtime_error.h"
#include "common/ui_log.h"

namespace velmorin::platform {
namespace fs = std::filesystem;
namespace {

constexpr int kNotRecognized = 9009;  // cmd's errorlevel for an unknown command

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Takes the next blank-separated token off the front of `text`.
std::string_view NextToken(std::string_view& text) {
  text = Trim(text);
  size_t end = 0;
  while (end < text.size() && !IsBlank(text[end])) ++end;
  const std::string_view token = text.substr(0, end);
  text.remove_prefix(end);
  return token;
}

// What follows "cmd /c", or the whole line when it does not start so.
std::string_view StripCmdPrefix(std::string_view line) {
  std::string_view rest = line;
  const std::string program = UpperCp1252(NextToken(rest));
  if (program != "CMD" && program != "CMD.EXE") return line;
  if (UpperCp1252(NextToken(rest)) != "/C") return line;
  return rest;
}

bool HasDrive(std::string_view word) {
  return word.size() >= 2 && word[1] == ':' && std::isalpha(static_cast<unsigned char>(word[0]));
}

bool IsWindowsPath(std::string_view word) { return word.find('\\') != std::string_view::npos || HasDrive(word); }

bool EndsWithSeparator(std::string_view word) { return !word.empty() && (word.back() == '\\' || word.back() == '/'); }

bool IsFolder(const fs::path& p) {
  std::error_code ec;
  return fs::is_directory(p, ec);
}

bool IsFile(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec);
}

std::string WithoutExe(const std::string& name) {
  if (name.size() > 4 && UpperCp1252(std::string_view(name).substr(name.size() - 4)) == ".EXE") {
    return name.substr(0, name.size() - 4);
  }
  return name;
}

std::optional<fs::path> FindOnPath(const std::string& name) {
  // Looked up as each command runs, as a shell does: PATH is the host's, not a setting of the
  // program, and the programs started inherit it too.
  const char* path = std::getenv("PATH");
  std::string_view rest = path == nullptr ? "" : path;
  while (true) {
    const size_t colon = rest.find(':');
    const std::string_view dir = rest.substr(0, colon);
    const fs::path candidate = fs::path(dir.empty() ? "." : std::string(dir)) / name;
    if (IsFile(candidate) && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    if (colon == std::string_view::npos) return std::nullopt;
    rest.remove_prefix(colon + 1);
  }
}

// Copies into a temporary file beside `to` and renames it over `to`, so a program that is
// running from `to` keeps its image and a failed copy leaves `to` as it was.
bool CopyKeepingPermissions(const fs::path& from, const fs::path& to, std::error_code& ec) {
  std::string name(1, '.');
  name.append(to.filename().string()).append(".copy-").append(std::to_string(::getpid()));
  const fs::path temp = to.parent_path() / name;
  const fs::perms perms = fs::status(from, ec).permissions();
  if (!ec) fs::copy_file(from, temp, fs::copy_options::overwrite_existing, ec);
  if (!ec) fs::permissions(temp, perms, ec);
  if (!ec) fs::rename(temp, to, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temp, ignored);
  }
  return !ec;
}

}  // namespace

bool IsRunnableHere(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  char head[4] = {};
  in.read(head, sizeof head);
  const std::string_view start(head, static_cast<size_t>(in.gcount()));
  return start.starts_with("#!") || start == std::string_view(
                                                 "\x7f"
                                                 "ELF",
                                                 4);
}

void EnsureRunBit(const fs::path& file) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0 || (st.st_mode & 0111) != 0) return;
  ::chmod(file.c_str(), (st.st_mode & 07777) | ((st.st_mode & 0444) >> 2));
}

void LogSkippedProgram(UiLog& log, const std::string& program) {
  log.Line({"start", "skipped", program, Ansi("no se puede ejecutar aquí")});
}

pid_t SpawnProgram(const fs::path& program, const std::vector<std::string>& args, const fs::path& folder) {
  // Everything the child needs is built before the fork.
  std::vector<std::string> words{program.string()};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const std::string folder_text = folder.string();
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  if (::chdir(folder_text.c_str()) != 0) {
    // Run anyway, as from wherever we are: the program may not need its folder.
  }
  ::execv(argv[0], argv.data());
  const std::string message = "No se pudo ejecutar " + words[0] + ": " + std::strerror(errno) + "\n";
  [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, message.data(), message.size());
  ::_exit(127);
}

CommandInterpreter::CommandInterpreter(const PosixFileSystem& fs, std::ostream& messages, UiLog& log)
    : fs_(fs), messages_(messages), log_(log) {}

std::vector<std::string> CommandInterpreter::SplitCommands(const std::string& command_line) {
  const std::string_view rest = StripCmdPrefix(command_line);
  std::vector<std::string> commands;
  bool quoted = false;
  size_t start = 0;
  for (size_t i = 0; i <= rest.size(); ++i) {
    if (i < rest.size() && rest[i] == '"') quoted = !quoted;
    if (i < rest.size() && (quoted || rest[i] != '&')) continue;
    const std::string_view command = Trim(rest.substr(start, i - start));
    if (!command.empty()) commands.emplace_back(command);
    start = i + 1;
  }
  return commands;
}

std::vector<std::string> CommandInterpreter::SplitWords(const std::string& command) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false;
  bool in_word = false;
  for (char c : command) {
    if (c == '"') {
      quoted = !quoted;
      in_word = true;
    } else if (IsBlank(c) && !quoted) {
      if (in_word) words.push_back(word);
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(word);
  return words;
}

std::string CommandInterpreter::MapArgument(const std::string& word) const {
  if (!IsWindowsPath(word)) return Utf8FromCp1252(word);
  std::string host = fs_.HostPath(word).string();
  if (EndsWithSeparator(word) && !host.ends_with('/')) host += '/';
  return host;
}

std::optional<CommandInterpreter::FoundProgram> CommandInterpreter::FindProgram(const std::string& word) const {
  const fs::path here = fs_.HostPath(word);
  if (IsFile(here)) return FoundProgram{here, false};
  if (IsWindowsPath(word) || word.find('/') != std::string::npos) return std::nullopt;
  const std::string name = Utf8FromCp1252(WithoutExe(word));
  if (name.empty()) return std::nullopt;
  if (auto found = FindOnPath(name)) return FoundProgram{*found, true};
  return std::nullopt;
}

int CommandInterpreter::RunLine(const std::string& command_line) {
  int status = 0;
  for (const std::string& command : SplitCommands(command_line)) status = RunCommand(command);
  return status;
}

int CommandInterpreter::RunCommand(const std::string& command) {
  const std::vector<std::string> words = SplitWords(command);
  if (words.empty()) return 0;
  try {
    const std::string verb = UpperCp1252(words[0]);
    if (verb == "CD" || verb == "CHDIR") return ChangeFolder(words);
    if (verb == "COPY") return Copy(words);
    return RunProgram(words);
  } catch (const std::exception& e) {
    // One command failing must not stop the ones after it.
    messages_ << Utf8FromCp1252(words[0]) << ": " << e.what() << "\n";
    return 1;
  }
}

int CommandInterpreter::ChangeFolder(const std::vector<std::string>& words) {
  std::string target;
  for (size_t i = 1; i < words.size(); ++i) {
    if (UpperCp1252(words[i]) == "/D") continue;
    target += (target.empty() ? "" : " ") + words[i];
  }
  if (target.empty()) {
    messages_ << Utf8FromCp1252(fs_.CurrentFolder()) << "\n";
    return 0;
  }
  PosixFileSystem next = fs_;
  try {
    if (HasDrive(target)) next.ChangeDrive(target);
    next.ChangeFolder(target);
  } catch (const RuntimeError&) {
    messages_ << "El sistema no puede encontrar la ruta especificada.\n";
    return 1;
  }
  fs_ = next;
  return 0;
}

std::optional<fs::path> CommandInterpreter::CopyDestination(const std::string& destination,
                                                            const std::string& source_name) const {
  size_t cut = destination.find_last_of("\\/");
  if (cut == std::string::npos && HasDrive(destination)) cut = 1;
  const std::string last = cut == std::string::npos ? destination : destination.substr(cut + 1);
  const std::string folder = cut == std::string::npos ? std::string() : destination.substr(0, cut + 1);
  std::string windows = destination;
  // "folder\*.*" (any wildcard) keeps the source's name; renaming by pattern is not needed.
  if (last.find_first_of("*?") != std::string::npos) {
    windows = folder + source_name;
  } else if (last.empty() || IsFolder(fs_.HostPath(destination))) {
    windows = destination + (EndsWithSeparator(destination) ? "" : "\\") + source_name;
  }
  const fs::path host = fs_.HostPath(windows);
  if (!IsFolder(host.parent_path())) return std::nullopt;
  return host;
}

int CommandInterpreter::Copy(const std::vector<std::string>& words) {
  std::vector<std::string> operands;
  for (size_t i = 1; i < words.size(); ++i) {
    if (!words[i].starts_with('/')) operands.push_back(words[i]);
  }
  if (operands.empty()) {
    messages_ << "La sintaxis del comando no es correcta.\n";
    return 1;
  }
  const fs::path source = fs_.HostPath(operands[0]);
  if (!IsFile(source)) {
    messages_ << "El sistema no puede encontrar el archivo especificado.\n";
    return 1;
  }
  const std::string destination = operands.size() > 1 ? operands[1] : fs_.CurrentFolder();
  const auto target = CopyDestination(destination, Cp1252FromUtf8(source.filename().string()));
  if (!target) {
    messages_ << "El sistema no puede encontrar la ruta especificada.\n";
    return 1;
  }
  std::error_code ec;
  if (fs::equivalent(source, *target, ec)) {
    messages_ << "El archivo no se puede copiar sobre sí mismo.\n        0 archivo(s) copiado(s).\n";
    return 1;
  }
  if (!CopyKeepingPermissions(source, *target, ec)) {
    messages_ << "No se pudo copiar " << source.string() << ": " << ec.message() << "\n";
    return 1;
  }
  messages_ << "        1 archivo(s) copiado(s).\n";
  return 0;
}

int CommandInterpreter::RunProgram(const std::vector<std::string>& words) {
  const auto program = FindProgram(words[0]);
  if (!program) {
    messages_ << "'" << Utf8FromCp1252(words[0])
              << "' no se reconoce como un comando interno o externo,\nprograma o archivo por lotes ejecutable.\n";
    return kNotRecognized;
  }
  if (!program->on_path) {
    if (!IsRunnableHere(program->file)) {
      LogSkippedProgram(log_, words[0]);
      messages_ << "'" << Utf8FromCp1252(words[0]) << "' no se puede ejecutar aquí.\n";
      return 1;
    }
    EnsureRunBit(program->file);
  }
  std::vector<std::string> args;
  for (size_t i = 1; i < words.size(); ++i) args.push_back(MapArgument(words[i]));
  messages_.flush();
  const pid_t pid = SpawnProgram(program->file, args, fs_.HostPath(fs_.CurrentFolder()));
  if (pid < 0) {
    messages_ << "No se pudo crear el proceso: " << std::strerror(errno) << "\n";
    return 1;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace velmorin::platform
