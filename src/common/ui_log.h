// The UI log: when the program is given one (VELMORIN_UI_LOG), every visible effect is
// appended to it as one tab-separated UTF-8 line (set, show, unload, msgbox, start, error,
// exit). Tests and outside checks read it.
#pragma once

#include <string>
#include <string_view>

#include "common/form.h"
#include "common/run_report.h"

namespace velmorin {

class UiLog : public FormObserver {
 public:
  // An empty path: a log that writes nothing. The run report, when given, gets the effects a
  // technician needs: message boxes, programs started, run-time errors, the exit.
  explicit UiLog(std::string path, RunReport* report = nullptr) : path_(std::move(path)), report_(report) {}
  bool enabled() const { return !path_.empty(); }

  // Fields are CP1252; each is converted to UTF-8 and its line feeds written as \n.
  void Line(std::initializer_list<std::string_view> fields);

  void OnChange(Form& form, const ControlSpec& control, const std::string& value) override;
  void OnShow(Form& form) override;
  void OnUnload(Form& form) override;

 private:
  void Report(std::initializer_list<std::string_view> fields);

  std::string path_;
  RunReport* report_;
};

}  // namespace velmorin
