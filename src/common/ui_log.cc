// UiLog: appends one line per visible effect.
#include "common/ui_log.h"

#include <cstdio>

#include "common/cp1252.h"

namespace velmorin {

void UiLog::Line(std::initializer_list<std::string_view> fields) {
  if (!enabled()) return;
  std::string line;
  for (std::string_view field : fields) {
    if (!line.empty()) line += '\t';
    for (char c : Utf8FromCp1252(field)) {
      if (c == '\n') {
        line += "\\n";
      } else {
        line += c;
      }
    }
  }
  line += '\n';
  // Opened for each line so that a line is on disk even if the process ends abruptly.
  if (FILE* f = std::fopen(path_.c_str(), "ab")) {
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
  }
}

void UiLog::OnChange(Form& form, const ControlSpec& control, const std::string& value) {
  const std::string target = control.name == form.name() ? form.name() : form.name() + "." + control.name;
  Line({"set", target, value});
}

void UiLog::OnShow(Form& form) { Line({"show", form.name()}); }

void UiLog::OnUnload(Form& form) { Line({"unload", form.name()}); }

}  // namespace velmorin
