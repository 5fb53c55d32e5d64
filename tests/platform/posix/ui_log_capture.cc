// Sets VELMORIN_UI_LOG before main, so before the first UiLog::Instance().
#include "ui_log_capture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "support/temp_dir.h"

namespace velmorin::testing {
namespace {

std::string LogPath() {
  static const std::string path = [] {
    const std::string p = (std::filesystem::temp_directory_path() /
                           ("velmorin-ui-log-" + std::to_string(::getpid()) + ".txt")).string();
    ::setenv("VELMORIN_UI_LOG", p.c_str(), 1);
    return p;
  }();
  return path;
}

const std::string kPathAtStart = LogPath();

class RemoveLog : public ::testing::Environment {
 public:
  void TearDown() override { std::filesystem::remove(LogPath()); }
};

[[maybe_unused]] auto* const kRemoveLog = ::testing::AddGlobalTestEnvironment(new RemoveLog);

}  // namespace

std::string UiLogText() { return ReadFileBytes(LogPath()); }

void ClearUiLog() { std::filesystem::remove(LogPath()); }

}  // namespace velmorin::testing
