// DownloadSteps: the fixed sequence every fetch of the run follows.
#include "app/download_step.h"

namespace velmorin {

void DownloadSteps::Initial() {
  dialog_.Show();
  ui_.Refresh(startup_);
}

void DownloadSteps::Run(const DownloadStepSpec& step) {
  dialog_.SetText1(step.address);
  const UrlParts url = ScanUrl(dialog_.Text1());
  if (url.last_slash > 0) {
    dialog_.SetText2(url.file_name);
    if (step.fixed_path.empty()) {
      dialog_.SetText2(drive_prefix_ + step.folder + dialog_.Text2());
    } else {
      dialog_.SetText2(drive_prefix_ + step.fixed_path);
    }
  }
  if (!step.fetched_address.empty()) dialog_.SetText1(step.fetched_address);
  if (step.preparation) step.preparation();
  dialog_.Show();
  ui_.Refresh(startup_);
}

}  // namespace velmorin
