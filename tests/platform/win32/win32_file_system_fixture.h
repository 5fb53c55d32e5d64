// The Win32 file system for the file-system contract shared with the in-memory fake: drive
// C: current (the Wine prefix's own drive: all but the prefix's own folders at its root is
// removed before each test) and the scratch drive F:, emptied for each test.
#pragma once

#include <windows.h>

#include <filesystem>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>

#include "platform/file_system.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/wine_test_env.h"

namespace velmorin::test_support {

struct Win32Fixture {
  Win32Fixture() : owned(platform::MakeWin32FileSystem()), fs(*owned) {
    WineTestEnv::Get();  // fails unless run-test.sh mapped the scratch drive
    if (!RunningUnderWine()) throw std::runtime_error("these tests empty drive C: and run only under Wine");
    // Out of the folders a previous test made current: Windows does not delete those.
    fs.ChangeFolder("F:\\");
    fs.ChangeFolder("C:\\");
    fs.ChangeDrive("C");
    for (const auto& entry : Entries("C:\\")) {
      if (!IsPrefixOwn(entry.filename().wstring())) std::filesystem::remove_all(entry);
    }
    for (const auto& entry : Entries("F:\\")) std::filesystem::remove_all(entry);
  }
  void Folder(const std::string& relative_to_current_drive) {
    std::filesystem::create_directories(std::filesystem::path("C:\\") / relative_to_current_drive);
  }
  static bool RunningUnderWine() {
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  }
  // What a fresh Wine prefix has at the root of C:.
  static bool IsPrefixOwn(const std::wstring& name) {
    for (const wchar_t* own : {L"windows", L"users", L"Program Files", L"Program Files (x86)", L"ProgramData"}) {
      if (::lstrcmpiW(name.c_str(), own) == 0) return true;
    }
    return false;
  }
  static std::set<std::filesystem::path> Entries(const char* root) {
    std::set<std::filesystem::path> entries;
    // An empty drive root has no "." entry, which the C++ library reports as an error.
    std::error_code empty;
    for (const auto& entry : std::filesystem::directory_iterator(root, empty)) entries.insert(entry.path());
    return entries;
  }
  std::unique_ptr<platform::FileSystem> owned;
  platform::FileSystem& fs;
};

}  // namespace velmorin::test_support
