// A small program the Windows-layer tests start as a child process:
//   velmorin-test-helper <milliseconds> <file> [text]
// sleeps, then writes the text (default "done") and the current folder into the file;
// without arguments it writes "started" and the current folder into started.txt there.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  const bool plain = argc < 3;
  const DWORD delay = plain ? 0 : static_cast<DWORD>(std::atoi(argv[1]));
  const std::string file = plain ? "started.txt" : argv[2];
  const std::string text = plain ? "started" : argc > 3 ? argv[3] : "done";
  ::Sleep(delay);
  char folder[MAX_PATH] = {};
  ::GetCurrentDirectoryA(MAX_PATH, folder);
  FILE* f = std::fopen(file.c_str(), "wb");
  if (f == nullptr) return 1;
  std::fprintf(f, "%s\n%s\n", text.c_str(), folder);
  std::fclose(f);
  return 0;
}
