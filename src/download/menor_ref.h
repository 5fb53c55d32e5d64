// The download dialog MenorRef: one object for the whole program, loaded again whenever a
// caller touches it after it has closed. It fetches Text1 into Text2 through the download
// control, shows percentage, speed and bar, and judges the outcome: success closes it, a
// failure away from the update server passes in silence, anything else ends the program.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "common/form.h"
#include "common/settings.h"
#include "convert/channels.h"
#include "platform/platform.h"

namespace velmorin {

class MenorRef {
 public:
  MenorRef(platform::Platform& platform, Channels& channels, const Settings& settings);
  MenorRef(const MenorRef&) = delete;
  MenorRef& operator=(const MenorRef&) = delete;

  Form& form() { return form_; }

  // Touching Text1, Text2 or ProgressBar1 of an unloaded dialog loads it first.
  std::string Text1();
  void SetText1(const std::string& url);
  std::string Text2();
  void SetText2(const std::string& path);
  void SetProgressBar(int value);
  // Shows the dialog modally; returns once it has closed (or never: see the class comment).
  void Show();

  bool CancelRequested() const { return cancel_requested_; }
  float LastElapsedSeconds() const { return last_elapsed_seconds_; }

  // Event handlers, public so that tests can raise them as the platform does.
  void Timer1Tick();
  void KeyPress(int key);
  void Command2Click();
  void TransferProgress(platform::TransferProgressArgs& args);

 private:
  void EnsureLoaded();
  void FormLoad();
  void StartSequence();
  void Command1Click();
  std::optional<std::string> CheckDownload(const std::string& path);
  void Succeeded(bool on_update_server);
  void FailureBox();
  void SetOption1();
  void Close();
  void ReportTransfer(const platform::DownloadFile& control, double seconds);
  void EndWithBox(platform::MessageIcon icon, const std::string& title, const std::string& text);

  platform::Platform& platform_;
  Channels& channels_;
  const Settings& settings_;
  Form form_;
  bool cancel_requested_ = false;
  float last_elapsed_seconds_ = 0;
  int32_t last_bytes_received_ = 0;
  std::string download_check_;  // what the check of a downloaded program found, for the report
};

// The URL's host: the text between its second and third slash.
struct UrlParts {
  int last_slash = 0;  // 1-based position of the last "/", 0 when there is none
  std::string host;
  std::string file_name;  // the text after the last "/"
};
UrlParts ScanUrl(const std::string& url);

}  // namespace velmorin
