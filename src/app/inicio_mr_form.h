// The control table of the start-up form InicioMR.
#pragma once

#include "common/form.h"

namespace velmorin {

FormSpec InicioMrFormSpec();

}  // namespace velmorin
