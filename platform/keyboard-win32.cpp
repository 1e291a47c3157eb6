// Key input on Windows: console key events turned into key codes, a queue that
// the console control handler's thread can append to, and a wait that sleeps
// until there may be something to poll.
#include "platform/keyboard-win32.h"

#include <cstdlib>
#include <optional>

#include "platform/console_handles-win32.h"
#include "platform/key_events.h"
#include "platform/key_queue.h"
#include "platform/platform.h"

namespace qmr {
namespace {

static_assert(keys::control::right_alt == RIGHT_ALT_PRESSED &&
              keys::control::left_alt == LEFT_ALT_PRESSED &&
              keys::control::right_ctrl == RIGHT_CTRL_PRESSED &&
              keys::control::left_ctrl == LEFT_CTRL_PRESSED &&
              keys::control::shift == SHIFT_PRESSED && keys::control::num_lock == NUMLOCK_ON &&
              keys::control::enhanced == ENHANCED_KEY);
static_assert(keys::virtual_key::alt == VK_MENU && keys::virtual_key::control == VK_CONTROL &&
              keys::virtual_key::shift == VK_SHIFT && keys::virtual_key::caps_lock == VK_CAPITAL &&
              keys::virtual_key::num_lock == VK_NUMLOCK &&
              keys::virtual_key::scroll_lock == VK_SCROLL &&
              keys::virtual_key::left_shift == VK_LSHIFT &&
              keys::virtual_key::left_alt == VK_LMENU && keys::virtual_key::right_alt == VK_RMENU);

// How long the control handler holds on before it returns, after which the
// system ends the process: long enough for a waiting main thread to end it
// first with the exit code that its caller chose.
constexpr DWORD close_grace_milliseconds = 3000;

// The pending keys. The control handler's thread appends to them while the
// main thread may be polling; only the main thread takes.
keys::key_queue& pending() {
  static keys::key_queue queue;
  return queue;
}

// Signalled when the control handler has queued a key, so that a wait ends.
HANDLE control_key_arrived() {
  static const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  return event;
}

BOOL WINAPI on_console_control(DWORD type) {
  if (!win32::queue_control_notification(type))
    return FALSE;
  Sleep(close_grace_milliseconds);
  return TRUE;
}

void unregister_control_handler() {
  SetConsoleCtrlHandler(on_console_control, FALSE);
}

keys::key_event from_record(const KEY_EVENT_RECORD& record) {
  keys::key_event event;
  event.key_down = record.bKeyDown != FALSE;
  event.repeat_count = record.wRepeatCount;
  event.virtual_key = record.wVirtualKeyCode;
  event.scan_code = record.wVirtualScanCode;
  event.character = static_cast<std::uint8_t>(record.uChar.AsciiChar);
  event.control_state = record.dwControlKeyState;
  event.own_character =
      static_cast<std::uint8_t>(MapVirtualKeyA(record.wVirtualKeyCode, MAPVK_VK_TO_CHAR) & 0xff);
  return event;
}

// Moves every pending console input event into the queue, one at a time.
void drain_console_input() {
  static keys::key_event_decoder decoder;
  const HANDLE input = win32::console_handles().input;
  INPUT_RECORD record;
  DWORD count = 0;
  while (PeekConsoleInputA(input, &record, 1, &count) && count == 1) {
    if (!ReadConsoleInputA(input, &record, 1, &count) || count != 1)
      return;
    if (record.EventType != KEY_EVENT)
      continue;
    if (const std::optional<keys::key_code> key =
            decoder.decode(from_record(record.Event.KeyEvent)))
      pending().append(*key);
  }
}

}  // namespace

namespace win32 {

BOOL queue_control_notification(DWORD type) {
  switch (type) {
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      pending().append(keys::extended_key(107));  // Alt+F4
      SetEvent(control_key_arrived());
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace win32

text poll_key() {
  static bool handler_registered = false;
  if (!handler_registered) {
    handler_registered = true;
    pending();  // both ready before the handler can run
    control_key_arrived();
    SetConsoleCtrlHandler(on_console_control, TRUE);
    std::atexit(unregister_control_handler);
  }
  drain_console_input();
  const std::optional<keys::key_code> key = pending().take();
  return key ? keys::key_text(*key) : text{};
}

std::int32_t await_key() {
  const HANDLE input = win32::console_handles().input;
  DWORD mode = 0;
  if (!GetConsoleMode(input, &mode))
    return 1;  // not a console: no key can ever arrive
  // The console input handle is signalled while events are pending, the other
  // one when the control handler has queued a key.
  const HANDLE wake[] = {input, control_key_arrived()};
  const DWORD woken = WaitForMultipleObjects(2, wake, FALSE, INFINITE);
  // A wait that fails would fail again at once; end the wait rather than spin.
  return woken == WAIT_FAILED ? 1 : 0;
}

}  // namespace qmr
