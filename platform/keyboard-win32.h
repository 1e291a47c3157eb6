// The part of the Windows key input that its tests reach directly.
#pragma once

#include <windows.h>

namespace qmr::win32 {

// What the console control handler does before it returns: for a close, log-off
// or shut-down notification it queues the key Alt+F4, wakes a waiting
// await_key and returns TRUE; anything else (Ctrl+C, Ctrl+Break) it declines
// with FALSE, leaving it to the system's default handling.
BOOL queue_control_notification(DWORD type);

}  // namespace qmr::win32
