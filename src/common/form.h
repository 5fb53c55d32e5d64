// Forms as data: a form declares its controls as a table (kind, twip rectangle, caption or
// text, colours, font, visibility). The program's logic reads and sets control properties;
// every change is told to the form's observers (the platform's view, the UI log), which
// only draw.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velmorin {

enum class ControlKind {
  kLabel,
  kTextBox,
  kButton,
  kOptionButton,
  kProgressBar,
  kShape,
  kFrame,
  kTimer,
  kDownloadControl
};

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

struct FontSpec {
  std::string name;
  double points = 8.25;
  bool bold = false;
  bool underline = false;
};

struct TwipRect {
  int left = 0, top = 0, width = 0, height = 0;
};

struct ControlSpec {
  std::string name;
  ControlKind kind = ControlKind::kLabel;
  TwipRect rect;
  std::string text;  // caption or text at design time (CP1252)
  std::optional<Rgb> fore;
  std::optional<Rgb> back;  // set: opaque background; unset: transparent
  std::optional<FontSpec> font;
  bool visible = true;
  bool auto_size = false;  // a label that sizes itself to its text
  std::string container;   // "" for the form itself, else a frame's name
  int interval_ms = 0;     // timers
  int value = 0;           // progress bars
};

struct FormSpec {
  std::string name;
  std::string caption;   // CP1252
  int client_width = 0;  // twips
  int client_height = 0;
  std::optional<Rgb> back;
  bool min_max_buttons = true;
  std::vector<ControlSpec> controls;
};

class Form;

// Told of every visible effect of a form. Calls arrive on the user-interface thread.
class FormObserver {
 public:
  virtual ~FormObserver() = default;
  virtual void OnLoad(Form&) {}
  // A caption, text or value changed (never called for a set to the value it already has).
  virtual void OnChange(Form&, const ControlSpec&, const std::string& value) = 0;
  virtual void OnShow(Form&) {}
  virtual void OnUnload(Form&) {}
};

class Form {
 public:
  explicit Form(FormSpec spec);
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  const FormSpec& spec() const { return spec_; }
  const std::string& name() const { return spec_.name; }
  const ControlSpec& Control(const std::string& name) const;

  bool loaded() const { return loaded_; }
  bool visible() const { return visible_; }

  // Caption or text of a control, or the form's caption for the form's own name.
  const std::string& Text(const std::string& control) const;
  void SetText(const std::string& control, const std::string& value);
  int Value(const std::string& control) const;
  // Progress bars take 0..100; a value outside is clamped (the bar cannot show it).
  void SetValue(const std::string& control, int value);
  bool TimerEnabled(const std::string& timer) const;
  void SetTimerEnabled(const std::string& timer, bool enabled);

  // Lifecycle, driven by the form's logic: loading resets every control to its design-time
  // state; the observers are told.
  void MarkLoaded();
  void MarkShown();
  void MarkUnloaded();

  void AddObserver(FormObserver* observer) { observers_.push_back(observer); }
  void RemoveObserver(FormObserver* observer);

  // Events raised by the platform's view.
  std::function<void(const std::string& timer)> on_timer;
  std::function<void(const std::string& control)> on_click;
  std::function<void(int key)> on_key_press;

 private:
  struct State {
    std::string text;
    int value = 0;
    bool enabled = true;
  };
  size_t IndexOf(const std::string& control) const;
  void Notify(const ControlSpec& control, const std::string& value);

  FormSpec spec_;
  ControlSpec form_control_;  // stands for the form's caption
  std::string caption_;
  std::vector<State> state_;
  bool loaded_ = false;
  bool visible_ = false;
  std::vector<FormObserver*> observers_;
};

}  // namespace velmorin
