// One download step of the run: fill in the dialog, derive the destination from the
// address, show the dialog modally, repaint the start-up form.
#pragma once

#include <functional>
#include <string>

#include "common/form.h"
#include "download/menor_ref.h"
#include "platform/ui.h"

namespace velmorin {

struct DownloadStepSpec {
  std::string address;
  // Appended form: the folder (ending with a backslash) the address's file name goes into.
  std::string folder;
  // Fixed-name form: the path that replaces the derived destination.
  std::string fixed_path;
  // Address-replaced variant: the address the dialog fetches after the destination was
  // derived from `address`.
  std::string fetched_address;
  std::function<void()> preparation;
};

class DownloadSteps {
 public:
  DownloadSteps(MenorRef& dialog, platform::Ui& ui, Form& startup, std::string drive_prefix)
      : dialog_(dialog), ui_(ui), startup_(startup), drive_prefix_(std::move(drive_prefix)) {}

  // The first step: the dialog fetches its own default address with an empty destination.
  void Initial();
  // Steps 1 to 9 of a download step; the caller runs the follow-up.
  void Run(const DownloadStepSpec& step);

 private:
  MenorRef& dialog_;
  platform::Ui& ui_;
  Form& startup_;
  std::string drive_prefix_;
};

}  // namespace velmorin
