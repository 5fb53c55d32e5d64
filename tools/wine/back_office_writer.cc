// velmorin-back-office-writer STOP REPORT FILE,SLOT,OFFSET,WIDTH,FIRST,LAST...: plays the
// back-office program while an update runs. Round after round, until the file STOP exists, it
// opens each record FILE shared for reading and writing, as that program does, and in records
// FIRST to LAST (slots of SLOT bytes) reads the field at OFFSET (WIDTH bytes), counts it lost
// unless it holds the previous round's stamp, and writes this round's. Then REPORT gets
// "rounds N lost L refused R": the last round's stamp is N, as wide as each field, cut to its
// last digits; R opens were refused for sharing and tried again.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

struct Target {
  std::wstring file;
  unsigned long long slot, offset, width, first, last;
};

bool Parse(const wchar_t* arg, Target& t) {
  const wchar_t* comma = std::wcschr(arg, L',');
  if (comma == nullptr) return false;
  t.file.assign(arg, comma);
  return std::swscanf(comma + 1, L"%llu,%llu,%llu,%llu,%llu", &t.slot, &t.offset, &t.width, &t.first, &t.last) == 5 &&
         t.width > 0 && t.first > 0 && t.first <= t.last;
}

std::string Stamp(unsigned long round, size_t width) {
  const std::string digits = std::string(width, '0') + std::to_string(round);
  return digits.substr(digits.size() - width);
}

bool At(HANDLE file, unsigned long long offset, std::string& bytes, bool write) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD done = 0;
  const DWORD size = static_cast<DWORD>(bytes.size());
  const BOOL ok =
      write ? ::WriteFile(file, bytes.data(), size, &done, &at) : ::ReadFile(file, bytes.data(), size, &done, &at);
  return ok && done == size;
}

struct Counts {
  unsigned long rounds = 0, lost = 0, refused = 0;
};

// A file another process holds without sharing it is tried again: the back-office program
// would wait too, and the report says how often it had to.
HANDLE OpenShared(const Target& t, Counts& counts) {
  for (;;) {
    HANDLE file = ::CreateFileW(t.file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_SHARING_VIOLATION) return file;
    ++counts.refused;
    ::Sleep(1);
  }
}

// One round over one target; false when the file cannot be opened, read or written.
bool Round(const Target& t, Counts& counts) {
  HANDLE file = OpenShared(t, counts);
  if (file == INVALID_HANDLE_VALUE) return false;
  const unsigned long round = counts.rounds;
  bool ok = true;
  for (unsigned long long n = t.first; ok && n <= t.last; ++n) {
    const unsigned long long offset = (n - 1) * t.slot + t.offset;
    std::string found(t.width, '\0');
    ok = At(file, offset, found, false);
    if (ok && round > 1 && found != Stamp(round - 1, found.size())) ++counts.lost;
    std::string stamp = Stamp(round, found.size());
    ok = ok && At(file, offset, stamp, true);
  }
  ::CloseHandle(file);
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<Target> targets(argc > 3 ? argc - 3 : 0);
  bool usage = targets.empty();
  for (size_t i = 0; i < targets.size(); ++i) usage = usage || !Parse(argv[i + 3], targets[i]);
  if (usage) {
    std::fputs("usage: velmorin-back-office-writer STOP REPORT FILE,SLOT,OFFSET,WIDTH,FIRST,LAST...\n", stderr);
    return 2;
  }
  Counts counts;
  while (::GetFileAttributesW(argv[1]) == INVALID_FILE_ATTRIBUTES) {
    ++counts.rounds;
    for (const Target& t : targets) {
      if (!Round(t, counts)) {
        std::fwprintf(stderr, L"velmorin-back-office-writer: %ls: error %lu in round %lu\n", t.file.c_str(),
                      ::GetLastError(), counts.rounds);
        return 1;
      }
    }
    ::Sleep(0);
  }
  FILE* report = _wfopen(argv[2], L"w");
  if (report == nullptr) return 1;
  std::fprintf(report, "rounds %lu lost %lu refused %lu\n", counts.rounds, counts.lost, counts.refused);
  return std::fclose(report) == 0 ? 0 : 1;
}
