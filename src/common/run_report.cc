// RunReport: one line an event, opened for each line so that an abrupt end loses nothing.
#include "common/run_report.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "common/cp1252.h"

namespace velmorin {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string LocalTime() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
#ifdef _WIN32
  if (const std::tm* local = std::localtime(&now)) parts = *local;  // per thread in Windows' C library
#else
  localtime_r(&now, &parts);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

std::string ReportLine(std::string_view kind, std::string_view text) {
  std::string line = LocalTime() + "  " + std::string(kind) + ": ";
  for (char c : Utf8FromCp1252(WithoutCredentials(text))) {
    if (c == '\r') continue;
    if (c == '\n') {
      line += " | ";
    } else {
      line += c;
    }
  }
  return line + "\r\n";
}

}  // namespace

// C stdio only: the exe stays free of std::filesystem (it would double its size).
void RunReport::Event(std::string_view kind, std::string_view text) {
  if (path_.empty()) return;
  const std::string line = ReportLine(kind, text);
  FILE* f = std::fopen(path_.c_str(), "ab");
  if (f == nullptr) return;
  // Not ftell right after opening: Windows' C library reports 0 for a file opened to append.
  long size = std::fseek(f, 0, SEEK_END) == 0 ? std::ftell(f) : -1;
  if (size > 0 && static_cast<uint64_t>(size) + line.size() > limit_) {
    std::fclose(f);
    const std::string older = path_ + ".old";
    std::remove(older.c_str());
    std::rename(path_.c_str(), older.c_str());
    f = std::fopen(path_.c_str(), "ab");
    if (f == nullptr) return;
    size = std::fseek(f, 0, SEEK_END) == 0 ? std::ftell(f) : -1;
  }
  if (size == 0) std::fwrite(kByteOrderMark.data(), 1, kByteOrderMark.size(), f);
  std::fwrite(line.data(), 1, line.size(), f);
  std::fclose(f);
}

void ReportProgramStart(RunReport& report, std::string_view version, std::string_view workstation) {
  report.Event("inicio", "velmorin-update " + std::string(version) + " en el equipo " + std::string(workstation));
}

std::string WithoutCredentials(std::string_view text) {
  std::string out;
  size_t kept = 0;
  for (size_t scheme = text.find("://"); scheme != std::string_view::npos; scheme = text.find("://", kept)) {
    const size_t start = scheme + 3;
    const size_t end = std::min(text.find_first_of("/?# \t\r\n", start), text.size());
    const size_t at = text.substr(start, end - start).rfind('@');
    out += text.substr(kept, start - kept);
    kept = at == std::string_view::npos ? start : start + at + 1;
  }
  return out += text.substr(kept);
}

}  // namespace velmorin
