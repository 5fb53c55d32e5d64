// FormWindow: child windows for the progress bar (and any visible button or text box),
// everything else painted by the form in table order, double-buffered.
#include "platform/win32/win32_form_window.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>

#include "common/runtime_error.h"
#include "platform/win32/win32_dpi.h"
#include "platform/win32/win32_error.h"

namespace velmorin::platform {
namespace {

constexpr wchar_t kWindowClass[] = L"VelmorinForm";
// WM_DPICHANGED: the window moved to a monitor of another DPI (or the user changed it).
constexpr UINT kDpiChanged = 0x02E0;
constexpr UINT_PTR kFirstId = 100;  // child and timer ids: kFirstId + the control's index
const FontSpec kDefaultFont{.name = "MS Sans Serif", .points = 8.25};

HINSTANCE Instance() { return ::GetModuleHandleW(nullptr); }

COLORREF Color(const Rgb& c) { return RGB(c.r, c.g, c.b); }

int CALLBACK FoundFace(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool Installed(const std::wstring& face) {
  LOGFONTW wanted{};
  wanted.lfCharSet = DEFAULT_CHARSET;
  face.copy(wanted.lfFaceName, LF_FACESIZE - 1);
  bool found = false;
  const HDC screen = ::GetDC(nullptr);
  ::EnumFontFamiliesExW(screen, &wanted, FoundFace, reinterpret_cast<LPARAM>(&found), 0);
  ::ReleaseDC(nullptr, screen);
  return found;
}

// The face to ask for: the outline twin of "MS Sans Serif" (a bitmap font, blurred when
// scaled for a high-DPI screen), else the face itself, else a close substitute.
std::wstring FaceFor(const std::string& name) {
  std::vector<std::wstring> choices;
  if (name == "MS Sans Serif") choices.push_back(L"Microsoft Sans Serif");
  choices.push_back(Wide(name));
  for (const wchar_t* fallback : {L"Tahoma", L"Arial"}) choices.push_back(fallback);
  for (const auto& face : choices) {
    if (Installed(face)) return face;
  }
  return Wide(name);
}

UniqueGdi MakeFont(const FontSpec& spec, int dpi) {
  LOGFONTW f{};
  f.lfHeight = -static_cast<LONG>(std::lround(spec.points * dpi / 72.0));
  f.lfWeight = spec.bold ? FW_BOLD : FW_NORMAL;
  f.lfUnderline = spec.underline ? TRUE : FALSE;
  f.lfCharSet = ANSI_CHARSET;
  f.lfQuality = CLEARTYPE_QUALITY;
  FaceFor(spec.name).copy(f.lfFaceName, LF_FACESIZE - 1);
  return UniqueGdi(::CreateFontIndirectW(&f));
}

void RegisterWindowClass() {
  static const bool registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;  // replaced per window once it is created
    wc.hInstance = Instance();
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = ::LoadIconW(Instance(), MAKEINTRESOURCEW(1));
    wc.lpszClassName = kWindowClass;
    return ::RegisterClassExW(&wc) != 0;
  }();
  (void)registered;
}

// The outer size for a client area, and the top-left corner that centres it.
RECT CentredWindowRect(int client_width, int client_height, DWORD style, int dpi) {
  const RECT r = WindowRectForClient({0, 0, client_width, client_height}, style, dpi);
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int width = r.right - r.left, height = r.bottom - r.top;
  const int left = work.left + std::max(0L, (work.right - work.left - width) / 2);
  const int top = work.top + std::max(0L, (work.bottom - work.top - height) / 2);
  return {left, top, left + width, top + height};
}

}  // namespace

FormWindow::FormWindow(Form& form, FormWindowHost& host) : form_(form), host_(host) {}

FormWindow::~FormWindow() { Destroy(); }

void FormWindow::OnLoad(Form&) {
  if (hwnd_ == nullptr) Create();
  for (size_t i = 0; i < form_.spec().controls.size(); ++i) {
    const ControlSpec& control = form_.spec().controls[i];
    OnChange(form_, control,
             control.kind == ControlKind::kProgressBar ? std::to_string(form_.Value(control.name))
                                                       : form_.Text(control.name));
  }
  ::SetWindowTextW(hwnd_, Wide(form_.Text(form_.name())).c_str());
  StartTimers();
}

void FormWindow::OnChange(Form&, const ControlSpec& control, const std::string& value) {
  if (hwnd_ == nullptr) return;
  if (control.name == form_.name()) {
    ::SetWindowTextW(hwnd_, Wide(value).c_str());
    return;
  }
  const size_t index = static_cast<size_t>(&control - form_.spec().controls.data());
  if (index < children_.size() && children_[index] != nullptr) {
    if (control.kind == ControlKind::kProgressBar) {
      ::SendMessageW(children_[index], PBM_SETPOS, static_cast<WPARAM>(form_.Value(control.name)), 0);
    } else {
      ::SetWindowTextW(children_[index], Wide(value).c_str());
    }
    // Drawn at once, as the long busy stretches of the run pump no messages.
    ::UpdateWindow(children_[index]);
    return;
  }
  if (Rendered(control)) {
    ::InvalidateRect(hwnd_, nullptr, FALSE);
    ::UpdateWindow(hwnd_);
  }
}

void FormWindow::OnShow(Form&) {
  if (hwnd_ == nullptr) return;
  ::ShowWindow(hwnd_, SW_SHOWNORMAL);
  ::SetForegroundWindow(hwnd_);
  ::UpdateWindow(hwnd_);
}

void FormWindow::OnUnload(Form&) { Destroy(); }

void FormWindow::Repaint() {
  if (hwnd_ != nullptr) ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void FormWindow::Create() {
  RegisterWindowClass();
  dpi_ = DpiForPrimaryMonitor();
  const FormSpec& spec = form_.spec();
  const DWORD style = Style();
  const RECT r = CentredWindowRect(Px(spec.client_width), Px(spec.client_height), style, dpi_);
  background_ = UniqueGdi(spec.back ? ::CreateSolidBrush(Color(*spec.back)) : ::GetSysColorBrush(COLOR_BTNFACE));
  hwnd_ = ::CreateWindowExW(0, kWindowClass, Wide(form_.Text(spec.name)).c_str(), style | WS_CLIPCHILDREN, r.left,
                            r.top, r.right - r.left, r.bottom - r.top, nullptr, nullptr, Instance(), nullptr);
  // A window the system cannot make is out of resources whatever the code says: the table's
  // "device I/O error" for an unknown code would send the technician after the disk.
  if (hwnd_ == nullptr) {
    throw RuntimeError(err::kOutOfMemory,
                       "create window " + spec.name + " (Windows error " + std::to_string(::GetLastError()) + ")");
  }
  ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  ::SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FormWindow::WindowProc));
  CreateFonts();
  children_.assign(spec.controls.size(), nullptr);
  for (size_t i = 0; i < spec.controls.size(); ++i) CreateChild(i);
  // The window may have come up on a monitor of another DPI than the primary one.
  if (const int dpi = DpiForWindow(hwnd_); dpi != dpi_) Rescale(dpi, nullptr);
}

DWORD FormWindow::Style() const {
  return form_.spec().min_max_buttons ? WS_OVERLAPPEDWINDOW : WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
}

// The form at a new DPI: fonts, children and the window itself; `suggested` is where Windows
// proposes to put it (nullptr: keep its centre).
void FormWindow::Rescale(int dpi, const RECT* suggested) {
  dpi_ = dpi;
  CreateFonts();
  const auto& controls = form_.spec().controls;
  for (size_t i = 0; i < children_.size(); ++i) {
    if (children_[i] == nullptr) continue;
    const RECT r = ControlRect(controls[i]);
    ::SetWindowPos(children_[i], nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    ::SendMessageW(children_[i], WM_SETFONT, reinterpret_cast<WPARAM>(fonts_[i].get()), TRUE);
  }
  RECT r = WindowRectForClient({0, 0, Px(form_.spec().client_width), Px(form_.spec().client_height)}, Style(), dpi);
  if (suggested != nullptr) {
    ::OffsetRect(&r, suggested->left - r.left, suggested->top - r.top);
  } else {
    RECT now{};
    ::GetWindowRect(hwnd_, &now);
    ::OffsetRect(&r, (now.left + now.right - r.right - r.left) / 2, (now.top + now.bottom - r.bottom - r.top) / 2);
  }
  ::SetWindowPos(hwnd_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
  ::InvalidateRect(hwnd_, nullptr, FALSE);
}

void FormWindow::CreateFonts() {
  fonts_.clear();
  for (const ControlSpec& control : form_.spec().controls) {
    fonts_.push_back(MakeFont(control.font.value_or(kDefaultFont), dpi_));
  }
}

void FormWindow::CreateChild(size_t index) {
  const ControlSpec& control = form_.spec().controls[index];
  const wchar_t* window_class = nullptr;
  DWORD style = WS_CHILD | WS_VISIBLE;
  switch (control.kind) {
    case ControlKind::kProgressBar: window_class = PROGRESS_CLASSW; break;
    case ControlKind::kButton:
      window_class = L"BUTTON";
      style |= BS_PUSHBUTTON;
      break;
    case ControlKind::kOptionButton:
      window_class = L"BUTTON";
      style |= BS_RADIOBUTTON;
      break;
    case ControlKind::kTextBox:
      window_class = L"EDIT";
      style |= WS_BORDER | ES_AUTOHSCROLL | ES_READONLY;
      break;
    default: return;  // painted by the form, or nothing to show
  }
  if (!Rendered(control)) return;
  const RECT r = ControlRect(control);
  const HWND child =
      ::CreateWindowExW(0, window_class, Wide(control.text).c_str(), style, r.left, r.top, r.right - r.left,
                        r.bottom - r.top, hwnd_, reinterpret_cast<HMENU>(kFirstId + index), Instance(), nullptr);
  if (child == nullptr) return;
  ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_[index].get()), FALSE);
  if (control.kind == ControlKind::kProgressBar) ::SendMessageW(child, PBM_SETRANGE32, 0, 100);
  children_[index] = child;
}

void FormWindow::StartTimers() {
  const auto& controls = form_.spec().controls;
  for (size_t i = 0; i < controls.size(); ++i) {
    // Windows rounds intervals under 10 ms up to 10 ms.
    if (controls[i].kind == ControlKind::kTimer && controls[i].interval_ms > 0) {
      ::SetTimer(hwnd_, kFirstId + i, static_cast<UINT>(controls[i].interval_ms), nullptr);
    }
  }
}

void FormWindow::Destroy() {
  if (hwnd_ == nullptr) return;
  const HWND hwnd = hwnd_;
  hwnd_ = nullptr;
  children_.clear();
  pressed_.reset();
  ::DestroyWindow(hwnd);  // its timers and children go with it
  fonts_.clear();
  background_.Reset();
}

bool FormWindow::Rendered(const ControlSpec& control) const {
  // Controls on a frame belong to the hidden panel below the client area: never shown.
  return control.visible && control.container.empty() && control.kind != ControlKind::kFrame;
}

RECT FormWindow::ControlRect(const ControlSpec& control) const {
  const int left = Px(control.rect.left), top = Px(control.rect.top);
  return {left, top, left + Px(control.rect.width), top + Px(control.rect.height)};
}

LRESULT CALLBACK FormWindow::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<FormWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr || self->hwnd_ != hwnd) return ::DefWindowProcW(hwnd, message, wparam, lparam);
  return self->Handle(message, wparam, lparam);
}

LRESULT FormWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_ERASEBKGND: return 1;  // painted with everything else, without flicker
    case WM_PAINT: Paint(); return 0;
    case WM_TIMER:
      if (wparam >= kFirstId && wparam - kFirstId < form_.spec().controls.size()) Timer(wparam - kFirstId);
      return 0;
    case WM_LBUTTONDOWN:
      pressed_ = LabelAt({static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))});
      return 0;
    case WM_LBUTTONUP: Click({static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))}); return 0;
    case WM_COMMAND:
      if (HIWORD(wparam) == BN_CLICKED && LOWORD(wparam) >= kFirstId) {
        const size_t index = LOWORD(wparam) - kFirstId;
        if (index < form_.spec().controls.size() && form_.on_click) {
          const std::string name = form_.spec().controls[index].name;
          host_.RunHandler([this, name] { form_.on_click(name); });
        }
      }
      return 0;
    case WM_CLOSE: host_.CloseRequested(form_); return 0;
    case kDpiChanged: Rescale(HIWORD(wparam), reinterpret_cast<const RECT*>(lparam)); return 0;
    default: return ::DefWindowProcW(hwnd_, message, wparam, lparam);
  }
}

void FormWindow::Timer(size_t index) {
  const std::string& name = form_.spec().controls[index].name;
  if (!form_.loaded() || !form_.TimerEnabled(name) || !form_.on_timer) return;
  host_.RunHandler([this, &name] { form_.on_timer(name); });
}

void FormWindow::Click(POINT point) {
  const std::optional<size_t> pressed = pressed_;
  pressed_.reset();
  // A click is a press and a release on the same label.
  if (!pressed || LabelAt(point) != pressed || !form_.on_click) return;
  const std::string name = form_.spec().controls[*pressed].name;
  host_.RunHandler([this, name] { form_.on_click(name); });
}

std::optional<size_t> FormWindow::LabelAt(POINT point) {
  const HDC dc = ::GetDC(hwnd_);
  std::optional<size_t> found;
  const auto& controls = form_.spec().controls;
  for (size_t i = 0; i < controls.size(); ++i) {
    if (controls[i].kind != ControlKind::kLabel || !Rendered(controls[i])) continue;
    const RECT r = LabelRect(dc, i);
    if (::PtInRect(&r, point)) found = i;  // the last one painted is on top
  }
  ::ReleaseDC(hwnd_, dc);
  return found;
}

void FormWindow::Paint() {
  PAINTSTRUCT ps;
  const HDC dc = ::BeginPaint(hwnd_, &ps);
  RECT client{};
  ::GetClientRect(hwnd_, &client);
  const HDC buffer = ::CreateCompatibleDC(dc);
  UniqueGdi bitmap(::CreateCompatibleBitmap(dc, client.right, client.bottom));
  const HGDIOBJ old_bitmap = ::SelectObject(buffer, bitmap.get());
  ::FillRect(buffer, &client, static_cast<HBRUSH>(background_.get()));
  PaintControls(buffer);
  ::BitBlt(dc, 0, 0, client.right, client.bottom, buffer, 0, 0, SRCCOPY);
  ::SelectObject(buffer, old_bitmap);
  ::DeleteDC(buffer);
  ::EndPaint(hwnd_, &ps);
}

void FormWindow::PaintControls(HDC dc) {
  const auto& controls = form_.spec().controls;
  for (size_t i = 0; i < controls.size(); ++i) {
    if (!Rendered(controls[i])) continue;
    if (controls[i].kind == ControlKind::kLabel) PaintLabel(dc, i);
    if (controls[i].kind == ControlKind::kShape) {
      const RECT r = ControlRect(controls[i]);
      const HGDIOBJ old_brush = ::SelectObject(dc, ::GetStockObject(NULL_BRUSH));
      const HGDIOBJ old_pen = ::SelectObject(dc, ::GetStockObject(BLACK_PEN));
      ::Rectangle(dc, r.left, r.top, r.right, r.bottom);
      ::SelectObject(dc, old_pen);
      ::SelectObject(dc, old_brush);
    }
  }
}

RECT FormWindow::LabelRect(HDC dc, size_t index) const {
  const ControlSpec& control = form_.spec().controls[index];
  RECT r = ControlRect(control);
  if (!control.auto_size) return r;
  // A label that sizes itself keeps its corner and takes its text's size.
  const std::wstring text = Wide(form_.Text(control.name));
  const HGDIOBJ old = ::SelectObject(dc, fonts_[index].get());
  RECT measured{r.left, r.top, r.left, r.top};
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &measured, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  ::SelectObject(dc, old);
  return measured;
}

void FormWindow::PaintLabel(HDC dc, size_t index) {
  const ControlSpec& control = form_.spec().controls[index];
  RECT r = LabelRect(dc, index);
  if (control.back) {
    UniqueGdi brush(::CreateSolidBrush(Color(*control.back)));
    ::FillRect(dc, &r, static_cast<HBRUSH>(brush.get()));
  }
  const std::wstring text = Wide(form_.Text(control.name));
  const HGDIOBJ old = ::SelectObject(dc, fonts_[index].get());
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, control.fore ? Color(*control.fore) : ::GetSysColor(COLOR_BTNTEXT));
  const UINT format = DT_NOPREFIX | (control.auto_size ? DT_SINGLELINE : DT_WORDBREAK);
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, format);
  ::SelectObject(dc, old);
}

}  // namespace velmorin::platform
