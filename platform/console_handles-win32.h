// The standard handles that the console services share, settled at the first
// console operation.
#pragma once

#include <windows.h>

namespace qmr::win32 {

struct standard_handles {
  HANDLE input;
  HANDLE output;
};

// The standard input and output handles. The first call fetches them and, when
// standard input is a console, adds the processed-input bit to its mode, so
// that Ctrl+C reaches the system's default handling instead of the key queue;
// the earlier mode is not restored.
const standard_handles& console_handles();

}  // namespace qmr::win32
