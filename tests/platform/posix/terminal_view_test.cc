// The terminal view's drawing of a form from its control table.
#include "platform/posix/terminal_view.h"

#include <gtest/gtest.h>

#include "common/cp1252.h"

namespace velmorin::platform {
namespace {

using Lines = std::vector<std::string>;

FormSpec DialogSpec() {
  FormSpec spec{.name = "MenorRef", .caption = "Descarga de archivos", .client_width = 5985, .client_height = 1935};
  spec.controls = {
      {.name = "Lab1", .kind = ControlKind::kLabel, .rect = {120, 120, 5655, 255}},
      {.name = "Lab4",
       .kind = ControlKind::kLabel,
       .rect = {120, 150, 3855, 255},
       .text = Ansi(" Condiciones de dispensación")},
      {.name = "Label7", .kind = ControlKind::kLabel, .rect = {4080, 150, 1335, 375}, .text = "123 kb"},
      {.name = "Label10", .kind = ControlKind::kLabel, .rect = {720, 600, 4575, 255}, .text = "+++"},
      {.name = "Label9", .kind = ControlKind::kLabel, .rect = {720, 600, 5055, 255}, .text = "***", .visible = false},
      {.name = "Shape2", .kind = ControlKind::kShape, .rect = {690, 1080, 5130, 255}},
      {.name = "ProgressBar1", .kind = ControlKind::kProgressBar, .rect = {720, 1110, 5055, 195}},
      {.name = "Label1", .kind = ControlKind::kLabel, .rect = {720, 1440, 615, 255}, .text = "***"},
      {.name = "Lab2", .kind = ControlKind::kLabel, .rect = {4560, 1440, 1335, 255}, .text = "ESCape Cerrar"},
      {.name = "Timer1", .kind = ControlKind::kTimer, .interval_ms = 1},
      {.name = "Frame1", .kind = ControlKind::kFrame, .rect = {120, 2400, 6615, 1935}, .text = "Frame1"},
      {.name = "Text1",
       .kind = ControlKind::kTextBox,
       .rect = {0, 0, 3855, 285},
       .text = "http://x/",
       .container = "Frame1"},
      {.name = "Command2",
       .kind = ControlKind::kButton,
       .rect = {4080, 960, 975, 375},
       .text = "Cancelar",
       .container = "Frame1"},
  };
  return spec;
}

std::string Pad(int n) { return std::string(static_cast<size_t>(n), ' '); }

std::string Rule(int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += "─";
  return out;
}

TEST(RenderForm, VisibleLabelsAndTheBarSitOnRowsAndColumnsFromTheirTwips) {
  Form form(DialogSpec());
  form.MarkLoaded();
  form.SetValue("ProgressBar1", 45);
  const std::string bar = "[" + std::string(19, '#') + Pad(24) + "]  45%";
  EXPECT_EQ(RenderForm(form, 78), (Lines{
                                      "── Descarga de archivos " + Rule(54),
                                      Pad(4) + "Condiciones de dispensación" + Pad(11) + "123 kb",
                                      Pad(9) + "+++",
                                      Pad(9) + bar,
                                      Pad(9) + "***" + Pad(35) + "ESCape Cerrar",
                                  }));
}

TEST(RenderForm, OverlappingLabelsStayApartAndLinesAreCutToTheWidth) {
  Form form(DialogSpec());
  form.MarkLoaded();
  form.SetText("Lab4", std::string(40, 'a'));
  form.SetText("Label7", "9 kb");
  form.SetText("Label1", Ansi("100% día"));
  EXPECT_EQ(RenderForm(form, 78)[1], Pad(3) + std::string(40, 'a') + " 9 kb");
  const Lines narrow = RenderForm(form, 20);
  EXPECT_EQ(narrow[0], "── Descarga de archi");
  EXPECT_EQ(narrow[1], Pad(3) + std::string(17, 'a'));
  EXPECT_EQ(narrow[4], Pad(9) + "100% día");
}

TEST(RenderForm, FullAndEmptyBars) {
  Form form(DialogSpec());
  form.MarkLoaded();
  form.SetValue("ProgressBar1", 100);
  EXPECT_EQ(RenderForm(form, 78)[3], Pad(9) + "[" + std::string(43, '#') + "] 100%");
  form.SetValue("ProgressBar1", 0);
  EXPECT_EQ(RenderForm(form, 78)[3], Pad(9) + "[" + Pad(43) + "]   0%");
}

}  // namespace
}  // namespace velmorin::platform
