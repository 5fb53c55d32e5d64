// Form: the state of a form's controls and the notification of its changes.
#include "common/form.h"

#include <algorithm>
#include <stdexcept>

namespace velmorin {

Form::Form(FormSpec spec) : spec_(std::move(spec)) {
  form_control_.name = spec_.name;
  form_control_.text = spec_.caption;
  caption_ = spec_.caption;
  state_.resize(spec_.controls.size());
  for (size_t i = 0; i < spec_.controls.size(); ++i) {
    state_[i] = {spec_.controls[i].text, spec_.controls[i].value, true};
  }
}

size_t Form::IndexOf(const std::string& control) const {
  for (size_t i = 0; i < spec_.controls.size(); ++i) {
    if (spec_.controls[i].name == control) return i;
  }
  throw std::logic_error("no control " + control + " on " + spec_.name);
}

const ControlSpec& Form::Control(const std::string& name) const {
  return name == spec_.name ? form_control_ : spec_.controls[IndexOf(name)];
}

const std::string& Form::Text(const std::string& control) const {
  return control == spec_.name ? caption_ : state_[IndexOf(control)].text;
}

void Form::SetText(const std::string& control, const std::string& value) {
  std::string& text = control == spec_.name ? caption_ : state_[IndexOf(control)].text;
  if (text == value) return;
  text = value;
  Notify(Control(control), value);
}

int Form::Value(const std::string& control) const { return state_[IndexOf(control)].value; }

void Form::SetValue(const std::string& control, int value) {
  State& state = state_[IndexOf(control)];
  value = std::clamp(value, 0, 100);
  if (state.value == value) return;
  state.value = value;
  Notify(Control(control), std::to_string(value));
}

bool Form::TimerEnabled(const std::string& timer) const { return state_[IndexOf(timer)].enabled; }

void Form::SetTimerEnabled(const std::string& timer, bool enabled) { state_[IndexOf(timer)].enabled = enabled; }

void Form::MarkLoaded() {
  for (size_t i = 0; i < spec_.controls.size(); ++i) {
    state_[i] = {spec_.controls[i].text, spec_.controls[i].value, true};
  }
  caption_ = spec_.caption;
  loaded_ = true;
  visible_ = false;
  for (auto* o : observers_) o->OnLoad(*this);
}

void Form::MarkShown() {
  if (visible_) return;
  visible_ = true;
  for (auto* o : observers_) o->OnShow(*this);
}

void Form::MarkUnloaded() {
  if (!loaded_) return;
  loaded_ = false;
  visible_ = false;
  for (auto* o : observers_) o->OnUnload(*this);
}

void Form::RemoveObserver(FormObserver* observer) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void Form::Notify(const ControlSpec& control, const std::string& value) {
  for (auto* o : observers_) o->OnChange(*this, control, value);
}

}  // namespace velmorin
