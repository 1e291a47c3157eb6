#include "platform/console_writer.h"

#include <string>

namespace qmr::console {
namespace {

// Collects the shown bytes of one row so that each row is filled with one call.
class writer {
 public:
  writer(screen& target, layout& where) : target_(target), at_(where) {}

  void write(std::string_view bytes) {
    for (const char c : bytes) {
      switch (c) {
        case '\r':
          flush();
          at_.column = 0;
          break;
        case '\n':
          new_line();
          break;
        case '\t':
          // Wrapping lands on column 0, which ends the blanks as well.
          do {
            show(' ');
          } while (at_.column % 8 != 0);
          break;
        case '\b':
          flush();
          if (at_.column > 0)
            --at_.column;
          break;
        case '\a':
          flush();
          target_.beep();
          break;
        default:
          show(c);
          break;
      }
    }
    flush();
    target_.set_cursor(at_.column, at_.row);
  }

 private:
  void show(char c) {
    if (pending_.empty())
      pending_column_ = at_.column;
    pending_ += c;
    if (++at_.column >= at_.width)
      new_line();
  }

  void flush() {
    if (pending_.empty())
      return;
    target_.put(pending_column_, at_.row, pending_);
    pending_.clear();
  }

  void new_line() {
    flush();
    at_.column = 0;
    ++at_.row;
    if (at_.row >= at_.height) {
      target_.scroll_up();
      at_.row = at_.height - 1;
    }
    // The window follows the cursor down; it never has to move up here.
    if (at_.row > at_.window_bottom) {
      const int distance = at_.row - at_.window_bottom;
      at_.window_top += distance;
      at_.window_bottom += distance;
      target_.show_rows(at_.window_top, at_.window_bottom);
    }
  }

  screen& target_;
  layout& at_;
  std::string pending_;
  int pending_column_ = 0;
};

}  // namespace

void write_text(screen& target, layout& where, std::string_view bytes) {
  writer(target, where).write(bytes);
}

}  // namespace qmr::console
