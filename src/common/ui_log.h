// The UI log: when VELMORIN_UI_LOG names a file, every visible effect is appended to it as
// one tab-separated UTF-8 line (set, show, unload, msgbox, start, error, exit). Tests and
// outside checks read it.
#pragma once

#include <string>
#include <string_view>

#include "common/form.h"

namespace velmorin {

class UiLog : public FormObserver {
 public:
  // The log named by VELMORIN_UI_LOG; a log that writes nothing when it is unset.
  static UiLog& Instance();

  explicit UiLog(std::string path) : path_(std::move(path)) {}
  bool enabled() const { return !path_.empty(); }

  // Fields are CP1252; each is converted to UTF-8 and its line feeds written as \n.
  void Line(std::initializer_list<std::string_view> fields);

  void OnChange(Form& form, const ControlSpec& control, const std::string& value) override;
  void OnShow(Form& form) override;
  void OnUnload(Form& form) override;

 private:
  std::string path_;
};

}  // namespace velmorin
