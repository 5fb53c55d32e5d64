// The window of one form, rendered from its control table: twips scaled at the DPI of its
// monitor (again when it moves to another), labels and shapes painted on the form, the progress bar as the common
// control, and the form's timers, clicks and close box handed to the user interface that owns it.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/form.h"
#include "platform/win32/win32_handle.h"

namespace velmorin::platform {

// What a form window asks of the user interface that owns it. Calls arrive on the window's
// thread, from inside its window procedure.
class FormWindowHost {
 public:
  virtual ~FormWindowHost() = default;
  // Runs an event handler of the form; nothing it throws may leave the window procedure.
  virtual void RunHandler(const std::function<void()>& handler) = 0;
  // The user clicked the close box (or pressed Alt+F4).
  virtual void CloseRequested(Form& form) = 0;
};

// Observes its form: created hidden when the form loads, shown when it is shown, destroyed
// when it unloads; one object for the form's whole life, across loads.
class FormWindow : public FormObserver {
 public:
  FormWindow(Form& form, FormWindowHost& host);
  ~FormWindow() override;
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;

  HWND hwnd() const { return hwnd_; }
  // Paints the whole form now.
  void Repaint();

  void OnLoad(Form& form) override;
  void OnChange(Form& form, const ControlSpec& control, const std::string& value) override;
  void OnShow(Form& form) override;
  void OnUnload(Form& form) override;

  // Twips to pixels at the DPI of the monitor the window is on.
  int Px(int twips) const { return ::MulDiv(twips, dpi_, 1440); }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);

  void Create();
  void CreateFonts();
  DWORD Style() const;
  void Rescale(int dpi, const RECT* suggested);
  void CreateChild(size_t index);
  void StartTimers();
  void Destroy();
  void Paint();
  void PaintControls(HDC dc);
  void PaintLabel(HDC dc, size_t index);
  RECT LabelRect(HDC dc, size_t index) const;
  RECT ControlRect(const ControlSpec& control) const;
  std::optional<size_t> LabelAt(POINT point);
  void Click(POINT point);
  void Timer(size_t index);
  bool Rendered(const ControlSpec& control) const;

  Form& form_;
  FormWindowHost& host_;
  HWND hwnd_ = nullptr;
  int dpi_ = 96;
  UniqueGdi background_;
  std::vector<UniqueGdi> fonts_;   // one per control
  std::vector<HWND> children_;     // one per control; nullptr for painted ones
  std::optional<size_t> pressed_;  // the label under a pressed mouse button
};

}  // namespace velmorin::platform
