// The control table of the download dialog MenorRef.
#pragma once

#include "common/form.h"

namespace velmorin {

FormSpec MenorRefFormSpec();

}  // namespace velmorin
