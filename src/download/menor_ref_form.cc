// MenorRef's layout: the visible band, labels and bar, and the hidden panel Frame1 below the
// client area with the inputs and buttons that only code uses.
#include "download/menor_ref_form.h"

#include "common/cp1252.h"

namespace velmorin {
namespace {

constexpr Rgb kGrey{128, 128, 128};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kYellow{255, 255, 0};
constexpr Rgb kDarkGrey{64, 64, 64};
constexpr Rgb kDarkBlue{0, 0, 192};

ControlSpec Label(std::string name, TwipRect rect, std::string text) {
  return {.name = std::move(name), .kind = ControlKind::kLabel, .rect = rect, .text = std::move(text)};
}

ControlSpec InFrame(ControlSpec c) {
  c.container = "Frame1";
  return c;
}

}  // namespace

FormSpec MenorRefFormSpec() {
  const FontSpec sans_bold{.name = "MS Sans Serif", .points = 8.25, .bold = true};
  FormSpec f{.name = "MenorRef",
             .caption = "Descarga de archivos",
             .client_width = 5985,
             .client_height = 1935,
             .back = Rgb{192, 255, 192}};
  ControlSpec lab1 = Label("Lab1", {120, 120, 5655, 255}, "");
  lab1.back = kGrey;
  ControlSpec lab4 = Label("Lab4", {120, 150, 3855, 255}, Ansi(" Condiciones de dispensación"));
  lab4.fore = kWhite;
  lab4.font = sans_bold;
  ControlSpec label7 = Label("Label7", {4080, 150, 1335, 375}, "123 kb");
  label7.fore = kYellow;
  label7.font = FontSpec{.name = "MS Sans Serif", .points = 8.25, .bold = true, .underline = true};
  label7.auto_size = true;
  ControlSpec label9 = Label("Label9", {720, 600, 5055, 255}, "***");
  label9.visible = false;
  ControlSpec descarga = Label("Descarga", {720, 840, 4935, 255}, "***");
  descarga.visible = false;
  descarga.fore = kDarkGrey;
  ControlSpec label1 = Label("Label1", {720, 1440, 615, 255}, "***");
  label1.fore = kDarkGrey;
  ControlSpec lab2 = Label("Lab2", {4560, 1440, 1335, 255}, "ESCape Cerrar");
  lab2.fore = kDarkBlue;
  lab2.font = FontSpec{.name = "Small Fonts", .points = 6.75};
  lab2.auto_size = true;
  ControlSpec option1{
      .name = "Option1", .kind = ControlKind::kOptionButton, .rect = {0, 960, 1215, 195}, .text = "Option1"};
  option1.visible = false;

  f.controls = {
      lab1,
      lab4,
      label7,
      Label("Label10", {720, 600, 4575, 255}, "+++"),
      label9,
      descarga,
      {.name = "DownloadFile1",
       .kind = ControlKind::kDownloadControl,
       .rect = {5985 - 720, 0, 720, 720},
       .visible = false},
      {.name = "Shape2", .kind = ControlKind::kShape, .rect = {690, 1080, 5130, 255}},
      {.name = "ProgressBar1", .kind = ControlKind::kProgressBar, .rect = {720, 1110, 5055, 195}},
      label1,
      lab2,
      {.name = "Timer1", .kind = ControlKind::kTimer, .interval_ms = 1},
      {.name = "Frame1", .kind = ControlKind::kFrame, .rect = {120, 2400, 6615, 1935}, .text = "Frame1"},
      InFrame({.name = "Text1", .kind = ControlKind::kTextBox, .rect = {0, 0, 3855, 285}}),
      InFrame({.name = "Text2", .kind = ControlKind::kTextBox, .rect = {0, 360, 3855, 285}}),
      InFrame({.name = "Command2", .kind = ControlKind::kButton, .rect = {4080, 960, 975, 375}, .text = "Cancelar"}),
      InFrame({.name = "Command1", .kind = ControlKind::kButton, .rect = {5040, 960, 1215, 375}, .text = "Descargar"}),
      InFrame(option1),
  };
  return f;
}

}  // namespace velmorin
