// The UI log of a test process: VELMORIN_UI_LOG points at a file of its own from the start,
// because UiLog reads the variable only once.
#pragma once

#include <string>

namespace velmorin::testing {

std::string UiLogText();
void ClearUiLog();

}  // namespace velmorin::testing
