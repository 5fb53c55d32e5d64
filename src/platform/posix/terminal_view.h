// The terminal view: each shown form drawn as a few text lines (caption, visible labels,
// bars), redrawn in place when something changes, at most about 10 times a second.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "common/form.h"

namespace velmorin::platform {

// The lines (UTF-8) that draw a form: the caption, then one line per row of visible labels,
// buttons and progress bars inside the client area, none wider than `width` characters.
std::vector<std::string> RenderForm(const Form& form, int width);

class TerminalView : public FormObserver {
 public:
  // Draws on `fd` only when it is a terminal; otherwise it only keeps track of shown forms.
  explicit TerminalView(int fd);

  void OnChange(Form& form, const ControlSpec& control, const std::string& value) override;
  void OnShow(Form& form) override;
  void OnUnload(Form& form) override;

  // The form shown last that is still visible (the one keys go to), or null.
  Form* TopForm() const;
  // Redraws now.
  void Draw();
  // Redraws when something changed and the last drawing is old enough.
  void DrawIfDue();
  // Leaves what is drawn on the screen; the next drawing starts below it (before other
  // output such as a message box).
  void Release();

 private:
  int Width() const;

  int fd_;
  bool enabled_;
  std::vector<Form*> shown_;
  int lines_drawn_ = 0;
  bool dirty_ = false;
  std::chrono::steady_clock::time_point last_draw_{};
};

}  // namespace velmorin::platform
