// InicioMR's layout: "Espere...", the bar and the "Cerrar" label.
#include "app/inicio_mr_form.h"

#include "common/cp1252.h"

namespace velmorin {

FormSpec InicioMrFormSpec() {
  FormSpec f{.name = "InicioMR",
             .caption = Ansi(" Condiciones de dispensación"),
             .client_width = 5985,
             .client_height = 1740,
             .min_max_buttons = false};
  f.controls = {
      {.name = "Label1", .kind = ControlKind::kLabel, .rect = {720, 720, 2895, 375}, .text = "Espere..."},
      {.name = "ProgressBar1", .kind = ControlKind::kProgressBar, .rect = {690, 1110, 5055, 255}},
      {.name = "Label2",
       .kind = ControlKind::kLabel,
       .rect = {5130, 1440, 615, 255},
       .text = "Cerrar",
       .font = FontSpec{.name = "MS Sans Serif", .points = 8.25, .underline = true}},
      {.name = "Timer1", .kind = ControlKind::kTimer, .interval_ms = 1},
  };
  return f;
}

}  // namespace velmorin
