// The run-time error a call throws, for tests that check error numbers.
#pragma once

#include <functional>

#include "common/runtime_error.h"

namespace velmorin::test_support {

// The number of the RuntimeError that `f` throws; 0 when it throws none.
inline int ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const RuntimeError& e) {
    return e.number();
  }
  return 0;
}

}  // namespace velmorin::test_support
