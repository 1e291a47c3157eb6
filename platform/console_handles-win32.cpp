#include "platform/console_handles-win32.h"

namespace qmr::win32 {
namespace {

standard_handles fetch() {
  const standard_handles handles{GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE)};
  DWORD mode = 0;
  if (GetConsoleMode(handles.input, &mode))
    SetConsoleMode(handles.input, mode | ENABLE_PROCESSED_INPUT);
  return handles;
}

}  // namespace

const standard_handles& console_handles() {
  static const standard_handles handles = fetch();
  return handles;
}

}  // namespace qmr::win32
