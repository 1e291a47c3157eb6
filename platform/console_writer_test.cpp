#include "platform/console_writer.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace qmr::console {
namespace {

// A screen buffer of characters. Cells start as '.', so that blanks the writer
// puts and blanks a scroll brings in show up as ' '.
class FakeScreen : public screen {
 public:
  FakeScreen(int width, int height) : rows(height, std::string(width, '.')) {}

  void put(int column, int row, std::string_view bytes) override {
    ASSERT_GE(column, 0);
    ASSERT_LE(column + static_cast<int>(bytes.size()), static_cast<int>(rows[0].size()));
    ASSERT_GE(row, 0);
    ASSERT_LT(row, static_cast<int>(rows.size()));
    rows[row].replace(column, bytes.size(), bytes);
  }
  void scroll_up() override {
    rows.erase(rows.begin());
    rows.emplace_back(rows[0].size(), ' ');
    ++scrolls;
  }
  void show_rows(int top, int bottom) override {
    window_top = top;
    window_bottom = bottom;
  }
  void set_cursor(int column, int row) override {
    cursor_column = column;
    cursor_row = row;
  }
  void beep() override { ++beeps; }

  std::vector<std::string> rows;
  int window_top = -1;  // -1 until the writer moves the window
  int window_bottom = -1;
  int cursor_column = -1;
  int cursor_row = -1;
  int scrolls = 0;
  int beeps = 0;
};

struct WriterCase {
  const char* name;
  layout start;
  std::string bytes;
  std::vector<std::string> rows;
  int cursor_column, cursor_row;
  int window_top, window_bottom;  // where the window ends up
  int scrolls = 0;
  int beeps = 0;
};

void PrintTo(const WriterCase& c, std::ostream* out) {
  *out << c.name;
}

class ConsoleWriterTest : public ::testing::TestWithParam<WriterCase> {};

TEST_P(ConsoleWriterTest, PlacesTextAndCursor) {
  const WriterCase& c = GetParam();
  FakeScreen screen(c.start.width, c.start.height);
  layout where = c.start;
  write_text(screen, where, c.bytes);

  EXPECT_EQ(screen.rows, c.rows);
  EXPECT_EQ(screen.cursor_column, c.cursor_column);
  EXPECT_EQ(screen.cursor_row, c.cursor_row);
  EXPECT_EQ(where.column, c.cursor_column);
  EXPECT_EQ(where.row, c.cursor_row);
  EXPECT_EQ(where.window_top, c.window_top);
  EXPECT_EQ(where.window_bottom, c.window_bottom);
  if (c.window_top != c.start.window_top) {
    EXPECT_EQ(screen.window_top, c.window_top);
    EXPECT_EQ(screen.window_bottom, c.window_bottom);
  } else {
    EXPECT_EQ(screen.window_top, -1) << "the window moved";
  }
  EXPECT_EQ(screen.scrolls, c.scrolls);
  EXPECT_EQ(screen.beeps, c.beeps);
}

// A buffer of 10 columns and 3 rows, all of them visible, cursor at the start.
constexpr layout small{10, 3, 0, 0, 0, 2};
// The same cursor at column 0 of a row.
constexpr layout at_row(int row) {
  return {10, 3, 0, row, 0, 2};
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, ConsoleWriterTest,
    ::testing::Values(
        WriterCase{
            "plain_text", small, "abc", {"abc.......", "..........", ".........."}, 3, 0, 0, 2},
        WriterCase{"starts_at_the_cursor",
                   {10, 3, 4, 1, 0, 2},
                   "xy",
                   {"..........", "....xy....", ".........."},
                   6,
                   1,
                   0,
                   2},
        WriterCase{"other_bytes_shown_as_they_are",
                   small,
                   "\x1b\x01\x7f\xff",
                   {"\x1b\x01\x7f\xff......", "..........", ".........."},
                   4,
                   0,
                   0,
                   2},
        WriterCase{"carriage_return_goes_to_column_0",
                   small,
                   "abc\rX",
                   {"Xbc.......", "..........", ".........."},
                   1,
                   0,
                   0,
                   2},
        WriterCase{"line_feed_goes_to_column_0_of_next_row",
                   small,
                   "ab\ncd",
                   {"ab........", "cd........", ".........."},
                   2,
                   1,
                   0,
                   2},
        WriterCase{"line_end_pair",
                   small,
                   "ab\r\n",
                   {"ab........", "..........", ".........."},
                   0,
                   1,
                   0,
                   2},
        WriterCase{"tab_from_column_0_writes_eight_blanks",
                   small,
                   "\tx",
                   {"        x.", "..........", ".........."},
                   9,
                   0,
                   0,
                   2},
        WriterCase{"tab_fills_to_next_multiple_of_8",
                   small,
                   "abc\tx",
                   {"abc     x.", "..........", ".........."},
                   9,
                   0,
                   0,
                   2},
        WriterCase{"tab_stops_where_the_row_wraps",
                   small,
                   "abcdefgh\tx",
                   {"abcdefgh  ", "x.........", ".........."},
                   1,
                   1,
                   0,
                   2},
        WriterCase{"backspace_moves_left_and_erases_nothing",
                   small,
                   "abc\b\b",
                   {"abc.......", "..........", ".........."},
                   1,
                   0,
                   0,
                   2},
        WriterCase{"backspace_then_text_overwrites",
                   small,
                   "abc\b\bX",
                   {"aXc.......", "..........", ".........."},
                   2,
                   0,
                   0,
                   2},
        WriterCase{"backspace_stops_at_column_0",
                   at_row(1),
                   "\b\bZ",
                   {"..........", "Z.........", ".........."},
                   1,
                   1,
                   0,
                   2},
        WriterCase{"bell_beeps_and_shows_nothing",
                   small,
                   "a\ab",
                   {"ab........", "..........", ".........."},
                   2,
                   0,
                   0,
                   2,
                   0,
                   1},
        WriterCase{"wraps_after_the_last_column",
                   small,
                   "0123456789AB",
                   {"0123456789", "AB........", ".........."},
                   2,
                   1,
                   0,
                   2},
        WriterCase{"full_row_leaves_cursor_on_next_row",
                   small,
                   "0123456789",
                   {"0123456789", "..........", ".........."},
                   0,
                   1,
                   0,
                   2},
        WriterCase{"window_moves_down_while_buffer_has_rows_below",
                   {10, 3, 0, 1, 0, 1},
                   "a\nb",
                   {"..........", "a.........", "b........."},
                   1,
                   2,
                   1,
                   2},
        WriterCase{"buffer_scrolls_at_its_last_row",
                   at_row(2),
                   "x\ny",
                   {"..........", "x.........", "y         "},
                   1,
                   2,
                   0,
                   2,
                   1},
        WriterCase{"window_moves_first_then_buffer_scrolls",
                   {10, 3, 0, 1, 0, 1},
                   "a\nb\nc",
                   {"a.........", "b.........", "c         "},
                   1,
                   2,
                   1,
                   2,
                   1},
        WriterCase{"wrapping_on_the_last_row_scrolls",
                   {4, 2, 0, 1, 0, 1},
                   "abcdef",
                   {"abcd", "ef  "},
                   2,
                   1,
                   0,
                   1,
                   1},
        WriterCase{"several_scrolls_in_one_write",
                   at_row(2),
                   "1\n2\n3\n4",
                   {"2         ", "3         ", "4         "},
                   1,
                   2,
                   0,
                   2,
                   3}),
    [](const ::testing::TestParamInfo<WriterCase>& tested) {
      return std::string(tested.param.name);
    });

TEST(ConsoleWriterTest, EmptyTextOnlySetsTheCursor) {
  FakeScreen screen(10, 3);
  layout where{10, 3, 5, 2, 0, 2};
  write_text(screen, where, "");
  EXPECT_EQ(screen.cursor_column, 5);
  EXPECT_EQ(screen.cursor_row, 2);
  EXPECT_EQ(screen.rows, std::vector<std::string>(3, ".........."));
}

TEST(ConsoleWriterTest, LayoutCarriesOverToTheNextWrite) {
  // A prompt printed without a line end, then more text: the second write goes on
  // where the first left the cursor.
  FakeScreen screen(10, 3);
  layout where = small;
  write_text(screen, where, "Press");
  write_text(screen, where, "Key");
  EXPECT_EQ(screen.rows[0], "PressKey..");
  EXPECT_EQ(screen.cursor_column, 8);
}

}  // namespace
}  // namespace qmr::console
