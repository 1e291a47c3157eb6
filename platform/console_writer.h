// Places console text into a screen buffer the way a character console shows
// it: control bytes move the cursor, everything else is shown as it is, and
// the window and the buffer follow the text down. Pure, so that the rules can be
// checked without a console; the Win32 console supplies the screen.
#pragma once

#include <string_view>

namespace qmr::console {

// The screen buffer's size, the cursor and the rows that the window shows, in
// buffer cells counted from 0.
struct layout {
  int width = 0;   // columns of the screen buffer
  int height = 0;  // rows of the screen buffer
  int column = 0;  // the cursor
  int row = 0;
  int window_top = 0;  // first and last buffer row the visible window shows
  int window_bottom = 0;
};

// What the writer needs of a screen buffer. The console's current colours are
// the screen's business: every cell it fills gets them.
class screen {
 public:
  virtual ~screen() = default;
  // Shows the bytes unchanged in the cells from (column, row) on; they never
  // run past the end of the row.
  virtual void put(int column, int row, std::string_view bytes) = 0;
  // Moves every row of the buffer up by one and fills the last row with blanks.
  virtual void scroll_up() = 0;
  // Makes the window show the buffer rows from top to bottom.
  virtual void show_rows(int top, int bottom) = 0;
  // Puts the cursor at the cell.
  virtual void set_cursor(int column, int row) = 0;
  // Sounds the bell: 1000 Hz for 250 ms.
  virtual void beep() = 0;
};

// Writes the bytes at the cursor: CR goes to column 0, LF to column 0 of the
// next row, TAB writes blanks up to the next column that is a multiple of 8, BS
// goes one column left but never past column 0 and erases nothing, BEL beeps and
// shows nothing. Text wraps right after the last column. A row below the window
// moves the window down while the buffer has rows below it; past the last row
// the buffer scrolls up. Leaves the cursor after the text and `where` updated.
void write_text(screen& target, layout& where, std::string_view bytes);

}  // namespace qmr::console
