// TerminalView: forms laid out on a character grid from their twip rectangles.
#include "platform/posix/terminal_view.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

#include "common/cp1252.h"

namespace velmorin::platform {
namespace {

constexpr int kTwipsPerColumn = 100;
constexpr int kTwipsPerRow = 240;
constexpr auto kMinRedrawInterval = std::chrono::milliseconds(100);

struct Item {
  int row = 0;
  int column = 0;
  std::u32string text;
};

// One code point per screen column is close enough for Spanish text.
std::u32string Decode(const std::string& cp1252) {
  std::u32string out;
  for (char c : cp1252) {
    const std::string utf8 = Utf8FromCp1252(std::string_view(&c, 1));
    char32_t code = 0;
    if (utf8.size() == 1) {
      code = static_cast<unsigned char>(utf8[0]);
    } else if (utf8.size() == 2) {
      code = ((utf8[0] & 0x1Fu) << 6) | (utf8[1] & 0x3Fu);
    } else {
      code = ((utf8[0] & 0x0Fu) << 12) | ((utf8[1] & 0x3Fu) << 6) | (utf8[2] & 0x3Fu);
    }
    out += code < 0x20 ? U' ' : code;
  }
  return out;
}

std::string Encode(const std::u32string& text) {
  std::string out;
  for (char32_t c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u32string Bar(int value, int width_twips) {
  const int cells = std::max(4, width_twips / kTwipsPerColumn - 7);
  const int filled = (value * cells + 50) / 100;
  std::u32string bar(1, U'[');
  bar.append(filled, U'#').append(cells - filled, U' ').append(U"] ");
  const std::u32string percent = Decode(std::to_string(value) + "%");
  return bar + std::u32string(4 - std::min<size_t>(4, percent.size()), U' ') + percent;
}

// Where a control lies in the form's client area, or nothing when it cannot be seen there.
std::optional<TwipRect> VisibleRect(const Form& form, const ControlSpec& control) {
  if (!control.visible) return std::nullopt;
  TwipRect rect = control.rect;
  if (!control.container.empty()) {
    const ControlSpec& frame = form.Control(control.container);
    const auto frame_rect = VisibleRect(form, frame);
    if (!frame_rect) return std::nullopt;
    rect.left += frame_rect->left;
    rect.top += frame_rect->top;
  }
  const FormSpec& spec = form.spec();
  if (rect.left >= spec.client_width || rect.top >= spec.client_height) return std::nullopt;
  return rect;
}

std::optional<std::u32string> ItemText(const Form& form, const ControlSpec& control) {
  switch (control.kind) {
    case ControlKind::kLabel:
    case ControlKind::kTextBox: {
      const std::string& text = form.Text(control.name);
      if (text.find_first_not_of(' ') == std::string::npos) return std::nullopt;
      return Decode(text);
    }
    case ControlKind::kButton: return U"[ " + Decode(form.Text(control.name)) + U" ]";
    case ControlKind::kProgressBar: return Bar(form.Value(control.name), control.rect.width);
    default: return std::nullopt;
  }
}

std::vector<Item> Items(const Form& form) {
  std::vector<Item> items;
  for (const ControlSpec& control : form.spec().controls) {
    const auto rect = VisibleRect(form, control);
    if (!rect) continue;
    auto text = ItemText(form, control);
    if (!text) continue;
    items.push_back({rect->top / kTwipsPerRow, rect->left / kTwipsPerColumn, std::move(*text)});
  }
  std::stable_sort(items.begin(), items.end(),
                   [](const Item& a, const Item& b) { return a.row != b.row ? a.row < b.row : a.column < b.column; });
  return items;
}

std::string Fit(std::u32string line, int width) {
  if (static_cast<int>(line.size()) > width) line.resize(static_cast<size_t>(width));
  while (!line.empty() && line.back() == U' ') line.pop_back();
  return Encode(line);
}

void WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace

std::vector<std::string> RenderForm(const Form& form, int width) {
  const int inner = std::max(8, width);
  std::u32string title = U"── " + Decode(form.Text(form.name())) + U" ";
  if (static_cast<int>(title.size()) < inner) title += std::u32string(inner - title.size(), U'─');
  std::vector<std::string> lines{Fit(title, inner)};
  const std::vector<Item> items = Items(form);
  for (size_t i = 0; i < items.size();) {
    std::u32string line = U"  ";
    const int row = items[i].row;
    for (; i < items.size() && items[i].row == row; ++i) {
      const size_t column = static_cast<size_t>(items[i].column) + 2;
      if (line.size() < column) line.resize(column, U' ');
      if (line.size() > 2 && line.back() != U' ') line += U' ';
      line += items[i].text;
    }
    lines.push_back(Fit(line, inner));
  }
  return lines;
}

TerminalView::TerminalView(int fd) : fd_(fd), enabled_(::isatty(fd) == 1) {}

void TerminalView::OnChange(Form& form, const ControlSpec&, const std::string&) {
  if (!form.visible()) return;
  dirty_ = true;
  DrawIfDue();
}

void TerminalView::OnShow(Form& form) {
  std::erase(shown_, &form);
  shown_.push_back(&form);
  Draw();
}

void TerminalView::OnUnload(Form& form) {
  std::erase(shown_, &form);
  // The last frame of the last form stays on the screen when the program ends.
  if (shown_.empty()) {
    Release();
  } else {
    Draw();
  }
}

Form* TerminalView::TopForm() const {
  for (auto it = shown_.rbegin(); it != shown_.rend(); ++it) {
    if ((*it)->visible()) return *it;
  }
  return nullptr;
}

int TerminalView::Width() const {
  winsize size{};
  if (::ioctl(fd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return std::min<int>(size.ws_col - 1, 78);
  return 78;
}

void TerminalView::Draw() {
  dirty_ = false;
  last_draw_ = std::chrono::steady_clock::now();
  if (!enabled_) return;
  std::string out;
  if (lines_drawn_ > 0) out += "\r\x1b[" + std::to_string(lines_drawn_) + "A";
  out += "\x1b[J";
  int lines = 0;
  for (Form* form : shown_) {
    if (!form->visible()) continue;
    for (const std::string& line : RenderForm(*form, Width())) {
      out += line + "\n";
      ++lines;
    }
  }
  lines_drawn_ = lines;
  WriteAll(fd_, out);
}

void TerminalView::DrawIfDue() {
  if (dirty_ && std::chrono::steady_clock::now() - last_draw_ >= kMinRedrawInterval) Draw();
}

void TerminalView::Release() {
  lines_drawn_ = 0;
  dirty_ = false;
}

}  // namespace velmorin::platform
