// Console text output on Windows: straight into the screen buffer when standard
// output is a console, as plain bytes otherwise.
#include <windows.h>

#include <string_view>
#include <vector>

#include "platform/console_handles-win32.h"
#include "platform/console_writer.h"
#include "platform/platform.h"

namespace qmr {
namespace {

// The console's screen buffer as the writer sees it, in the colours that were
// current when the write began.
class console_screen final : public console::screen {
 public:
  console_screen(HANDLE output, const CONSOLE_SCREEN_BUFFER_INFO& info)
      : output_(output), info_(info) {}

  void put(int column, int row, std::string_view bytes) override {
    std::vector<CHAR_INFO> cells(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      cells[i].Char.AsciiChar = bytes[i];
      cells[i].Attributes = info_.wAttributes;
    }
    const SHORT count = static_cast<SHORT>(bytes.size());
    SMALL_RECT area{static_cast<SHORT>(column), static_cast<SHORT>(row),
                    static_cast<SHORT>(column + count - 1), static_cast<SHORT>(row)};
    WriteConsoleOutputA(output_, cells.data(), COORD{count, 1}, COORD{0, 0}, &area);
  }

  void scroll_up() override {
    const SHORT last_column = static_cast<SHORT>(info_.dwSize.X - 1);
    const SHORT last_row = static_cast<SHORT>(info_.dwSize.Y - 1);
    const SMALL_RECT below_first{0, 1, last_column, last_row};
    CHAR_INFO blank;
    blank.Char.AsciiChar = ' ';
    blank.Attributes = info_.wAttributes;
    ScrollConsoleScreenBufferA(output_, &below_first, nullptr, COORD{0, 0}, &blank);
    // The row that came free is filled explicitly: not every console fills it.
    DWORD filled = 0;
    const DWORD width = static_cast<DWORD>(info_.dwSize.X);
    FillConsoleOutputCharacterA(output_, ' ', width, COORD{0, last_row}, &filled);
    FillConsoleOutputAttribute(output_, info_.wAttributes, width, COORD{0, last_row}, &filled);
  }

  void show_rows(int top, int bottom) override {
    const SMALL_RECT window{info_.srWindow.Left, static_cast<SHORT>(top), info_.srWindow.Right,
                            static_cast<SHORT>(bottom)};
    SetConsoleWindowInfo(output_, TRUE, &window);
  }

  void set_cursor(int column, int row) override {
    SetConsoleCursorPosition(output_, COORD{static_cast<SHORT>(column), static_cast<SHORT>(row)});
  }

  void beep() override { Beep(1000, 250); }

 private:
  HANDLE output_;
  CONSOLE_SCREEN_BUFFER_INFO info_;
};

// A console that can show text: a buffer wider than one column whose window
// is taller than one row.
bool is_console(HANDLE output, CONSOLE_SCREEN_BUFFER_INFO& info) {
  return GetConsoleScreenBufferInfo(output, &info) && info.dwSize.X > 1 &&
         info.srWindow.Bottom - info.srWindow.Top + 1 > 1;
}

void write_console(HANDLE output, const CONSOLE_SCREEN_BUFFER_INFO& info, std::string_view bytes) {
  console::layout where{info.dwSize.X,           info.dwSize.Y,     info.dwCursorPosition.X,
                        info.dwCursorPosition.Y, info.srWindow.Top, info.srWindow.Bottom};
  console_screen screen(output, info);
  console::write_text(screen, where, bytes);
}

// Writes every byte. A failed write drops the rest; so does a write that reports
// success without taking a byte, which would otherwise repeat for ever.
void write_stream(HANDLE output, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(output, bytes.data(), chunk, &written, nullptr) || written == 0)
      return;
    bytes.remove_prefix(written);
  }
}

// Whether output has been found to be a plain stream; once it has, it stays one.
bool plain_stream = false;

void write(std::string_view bytes) {
  const HANDLE output = win32::console_handles().output;
  // Until output turns out to be a plain stream, each write looks again: the
  // layout it reads is where the next bytes go, whatever ran in between.
  if (!plain_stream) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (is_console(output, info)) {
      write_console(output, info, bytes);
      return;
    }
    plain_stream = true;
  }
  write_stream(output, bytes);
}

}  // namespace

void print_text(const text& t, ending end) {
  if (!t.empty())
    write(t);
  if (end == ending::line_end)
    write("\r\n");
}

}  // namespace qmr
