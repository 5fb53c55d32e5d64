// UiLog: appends one line per visible effect.
#include "common/ui_log.h"

#include <cstdio>
#include <string>

#include "common/cp1252.h"

namespace velmorin {

void UiLog::Line(std::initializer_list<std::string_view> fields) {
  if (report_ != nullptr) Report(fields);
  if (!enabled()) return;
  std::string line;
  for (std::string_view field : fields) {
    if (!line.empty()) line += '\t';
    for (char c : Utf8FromCp1252(WithoutCredentials(field))) {
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

// Only the effects a technician needs; the frequent "set" lines cost one comparison.
void UiLog::Report(std::initializer_list<std::string_view> fields) {
  const auto field = [&](size_t i) { return i < fields.size() ? std::string(fields.begin()[i]) : std::string(); };
  const std::string_view kind = fields.size() > 0 ? fields.begin()[0] : std::string_view();
  if (kind == "msgbox") {
    report_->Event("mensaje", field(2).empty() ? field(3) : field(2) + ": " + field(3));
  } else if (kind == "start" && field(1) == "skipped") {
    report_->Event("programa no iniciado", field(2) + " (" + field(3) + ")");
  } else if (kind == "start") {
    report_->Event(field(1) == "hidden" ? "programa iniciado (oculto)" : "programa iniciado", field(2));
  } else if (kind == "error") {
    report_->Event("error en tiempo de ejecución", field(1) + ": " + field(2));
  } else if (kind == "exit") {
    report_->Event("fin", Ansi("código de salida ") + field(1));
  }
}

void UiLog::OnChange(Form& form, const ControlSpec& control, const std::string& value) {
  const std::string target = control.name == form.name() ? form.name() : form.name() + "." + control.name;
  Line({"set", target, value});
}

void UiLog::OnShow(Form& form) { Line({"show", form.name()}); }

void UiLog::OnUnload(Form& form) { Line({"unload", form.name()}); }

}  // namespace velmorin
