// A UI log of a test's own, in a temporary folder.
#pragma once

#include <string>

#include "common/ui_log.h"
#include "support/temp_dir.h"

namespace velmorin::test_support {

class UiLogCapture {
 public:
  UiLogCapture() : log_((dir_.path() / "ui.log").string()) {}

  UiLog& log() { return log_; }
  std::filesystem::path path() const { return dir_.path() / "ui.log"; }
  // What has been written so far (also by child processes).
  std::string Text() const { return ReadFileBytes(path()); }

 private:
  TempDir dir_;
  UiLog log_;
};

}  // namespace velmorin::test_support
