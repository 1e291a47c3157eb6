#include "platform/key_events.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <vector>

namespace qmr::keys {
namespace {

// Virtual keys of the events below.
constexpr std::uint16_t vk_tab = 0x09, vk_return = 0x0d, vk_escape = 0x1b, vk_home = 0x24,
                        vk_up = 0x26, vk_delete = 0x2e, vk_lwin = 0x5b, vk_apps = 0x5d,
                        vk_numpad8 = 0x68, vk_decimal = 0x6e, vk_f1 = 0x70, vk_f4 = 0x73,
                        vk_clear = 0x0c;
constexpr std::uint32_t alt = control::left_alt, ctrl = control::left_ctrl, shift = control::shift,
                        grey = control::enhanced, num_lock = control::num_lock,
                        alt_gr = control::right_alt | control::left_ctrl;

key_event down(std::uint16_t vk, std::uint16_t scan_code, std::uint8_t character,
               std::uint32_t state = 0, std::uint8_t own = 0) {
  key_event e;
  e.virtual_key = vk;
  e.scan_code = scan_code;
  e.character = character;
  e.control_state = state;
  e.own_character = own;
  return e;
}

key_event up(key_event e) {
  e.key_down = false;
  return e;
}

key_event repeated(key_event e, std::uint16_t count) {
  e.repeat_count = count;
  return e;
}

// Keys as a US layout reports them.
key_event letter_a(std::uint8_t character, std::uint32_t state = 0) {
  return down('A', 0x1e, character, state, 'A');
}

struct EventCase {
  const char* name;
  key_event event;
  std::optional<key_code> expected;
};

void PrintTo(const EventCase& c, std::ostream* out) {
  *out << c.name;
}

class KeyEventTest : public ::testing::TestWithParam<EventCase> {};

TEST_P(KeyEventTest, OneEventGivesTheKey) {
  key_event_decoder decoder;
  EXPECT_EQ(decoder.decode(GetParam().event), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyEventTest,
    ::testing::Values(
        EventCase{"letter", letter_a('a'), character_key('a')},
        EventCase{"shifted_letter", letter_a('A', shift), character_key('A')},
        EventCase{"ctrl_letter", letter_a(0x01, ctrl), character_key(0x01)},
        EventCase{"alt_letter_with_its_own_character", letter_a('a', alt), extended_key(30)},
        EventCase{"alt_letter_without_character", letter_a(0, alt), extended_key(30)},
        EventCase{"alt_gr_character_wins_over_alt_code", down('Q', 0x10, '@', alt_gr, 'Q'),
                  character_key('@')},
        EventCase{"f1", down(vk_f1, 0x3b, 0), extended_key(59)},
        EventCase{"shift_f1", down(vk_f1, 0x3b, 0, shift), extended_key(84)},
        EventCase{"ctrl_f1", down(vk_f1, 0x3b, 0, ctrl), extended_key(94)},
        EventCase{"alt_f1", down(vk_f1, 0x3b, 0, alt), extended_key(104)},
        EventCase{"alt_f4", down(vk_f4, 0x3e, 0, alt), extended_key(107)},
        EventCase{"alt_beats_ctrl", down(vk_f1, 0x3b, 0, alt | ctrl), extended_key(104)},
        EventCase{"ctrl_beats_shift", down(vk_f1, 0x3b, 0, ctrl | shift), extended_key(94)},
        EventCase{"right_hand_modifiers_count", down(vk_f1, 0x3b, 0, control::right_ctrl),
                  extended_key(94)},
        EventCase{"tab", down(vk_tab, 0x0f, '\t', 0, '\t'), character_key('\t')},
        EventCase{"shift_tab_with_its_own_character", down(vk_tab, 0x0f, '\t', shift, '\t'),
                  extended_key(15)},
        EventCase{"escape", down(vk_escape, 0x01, 0x1b, 0, 0x1b), character_key(0x1b)},
        EventCase{"escape_without_character", down(vk_escape, 0x01, 0, 0, 0x1b), std::nullopt},
        EventCase{"ctrl_2", down('2', 0x03, 0, ctrl, '2'), extended_key(3)},
        EventCase{"ctrl_1_gives_nothing", down('1', 0x02, 0, ctrl, '1'), std::nullopt},
        EventCase{"enter", down(vk_return, 0x1c, '\r', 0, '\r'), character_key('\r')},
        EventCase{"grey_enter", down(vk_return, 0x1c, '\r', grey, '\r'), character_key('\r')},
        EventCase{"alt_grey_enter", down(vk_return, 0x1c, '\r', alt | grey, '\r'),
                  extended_key(0xa6)},
        EventCase{"grey_up", down(vk_up, 0x48, 0, grey), extended_key(72)},
        EventCase{"shift_grey_up", down(vk_up, 0x48, 0, shift | grey), extended_key(72)},
        EventCase{"ctrl_grey_home", down(vk_home, 0x47, 0, ctrl | grey), extended_key(119)},
        EventCase{"alt_grey_delete", down(vk_delete, 0x53, 0, alt | grey), extended_key(0xa3)},
        EventCase{"keypad_up_with_num_lock_off", down(vk_up, 0x48, 0), extended_key(72)},
        EventCase{"keypad_8_with_num_lock_on", down(vk_numpad8, 0x48, '8', num_lock, '8'),
                  character_key('8')},
        EventCase{"keypad_point_with_num_lock_on", down(vk_decimal, 0x53, '.', num_lock, '.'),
                  character_key('.')},
        EventCase{"shift_keypad_8_with_num_lock_on", down(vk_up, 0x48, 0, num_lock | shift),
                  extended_key(72)},
        EventCase{"keypad_5_with_num_lock_off", down(vk_clear, 0x4c, 0), std::nullopt},
        EventCase{"character_of_a_key_not_in_the_set", down(0, 0, 0xe9), character_key(0xe9)},
        EventCase{"character_255_is_one_byte", down(0, 0, 0xff), character_key(0xff)},
        EventCase{"repeat_count_5_gives_one_key", repeated(letter_a('a'), 5), character_key('a')},
        EventCase{"repeat_count_0_gives_nothing", repeated(letter_a('a'), 0), std::nullopt},
        EventCase{"key_release_gives_nothing", up(letter_a('a')), std::nullopt},
        EventCase{"shift_alone", down(keys::virtual_key::shift, 0x2a, 0, shift), std::nullopt},
        EventCase{"ctrl_alone", down(keys::virtual_key::control, 0x1d, 0, ctrl), std::nullopt},
        EventCase{"alt_alone", down(keys::virtual_key::alt, 0x38, 0, alt), std::nullopt},
        EventCase{"caps_lock", down(keys::virtual_key::caps_lock, 0x3a, 0), std::nullopt},
        EventCase{"num_lock", down(keys::virtual_key::num_lock, 0x45, 0, grey), std::nullopt},
        EventCase{"scroll_lock", down(keys::virtual_key::scroll_lock, 0x46, 0), std::nullopt},
        EventCase{"windows_key", down(vk_lwin, 0x5b, 0, grey), std::nullopt},
        EventCase{"menu_key", down(vk_apps, 0x5d, 0, grey), std::nullopt}),
    [](const ::testing::TestParamInfo<EventCase>& tested) {
      return std::string(tested.param.name);
    });

// Keypad digit keys as they arrive with Num Lock off and Alt held.
key_event keypad(int digit, std::uint32_t state = alt) {
  static constexpr std::uint16_t scan_codes[] = {0x52, 0x4f, 0x50, 0x51, 0x4b,
                                                 0x4c, 0x4d, 0x47, 0x48, 0x49};
  return down(0, scan_codes[digit], 0, state);
}
const key_event alt_down = down(keys::virtual_key::alt, 0x38, 0, alt);
const key_event alt_up = up(down(keys::virtual_key::alt, 0x38, 0, 0));

struct SequenceCase {
  const char* name;
  std::vector<key_event> events;
  std::vector<key_code> expected;
};

void PrintTo(const SequenceCase& c, std::ostream* out) {
  *out << c.name;
}

class AltCompositionTest : public ::testing::TestWithParam<SequenceCase> {};

TEST_P(AltCompositionTest, EventsGiveTheKeys) {
  key_event_decoder decoder;
  std::vector<key_code> keys;
  for (const key_event& e : GetParam().events) {
    if (const std::optional<key_code> key = decoder.decode(e))
      keys.push_back(*key);
  }
  EXPECT_EQ(keys, GetParam().expected);
}

// Each digit comes as a key-down and a key-up while Alt stays held.
std::vector<key_event> typed(std::vector<int> digits, std::uint32_t state = alt) {
  std::vector<key_event> events{alt_down};
  for (const int d : digits) {
    events.push_back(keypad(d, state));
    events.push_back(up(keypad(d, state)));
    events.push_back(alt_down);  // Alt repeats while it is held
  }
  events.push_back(alt_up);
  return events;
}

std::vector<key_event> then(std::vector<key_event> first, const std::vector<key_event>& more) {
  first.insert(first.end(), more.begin(), more.end());
  return first;
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, AltCompositionTest,
    ::testing::Values(
        SequenceCase{"number_becomes_one_key_on_release", typed({6, 5}), {character_key(65)}},
        SequenceCase{"number_is_taken_modulo_256", typed({3, 2, 1}), {character_key(65)}},
        SequenceCase{"leading_zero", typed({0, 9}), {character_key(9)}},
        SequenceCase{"high_character", typed({2, 5, 5}), {character_key(255)}},
        SequenceCase{"zero_gives_nothing", typed({2, 5, 6}), {}},
        SequenceCase{"alt_pressed_and_released_alone", {alt_down, alt_up}, {}},
        SequenceCase{"with_ctrl_nothing_is_composed", typed({6, 5}, alt | ctrl), {}},
        SequenceCase{"with_shift_nothing_is_composed", typed({6, 5}, alt | shift), {}},
        SequenceCase{"another_key_ends_the_composition",
                     {alt_down, keypad(6), up(keypad(6)), letter_a('a', alt), alt_up},
                     {extended_key(30)}},
        SequenceCase{"grey_keys_are_not_digits",
                     {alt_down, down(vk_home, 0x47, 0, alt | grey), alt_up},
                     {extended_key(0x97)}},
        SequenceCase{"compositions_do_not_mix",
                     then(typed({6, 5}), typed({6, 6})),
                     {character_key(65), character_key(66)}},
        SequenceCase{"num_lock_digits_compose_too",
                     {alt_down, down(vk_numpad8, 0x48, 0, alt | num_lock),
                      down(0x64, 0x4b, 0, alt | num_lock), alt_up},
                     {character_key(84)}}),
    [](const ::testing::TestParamInfo<SequenceCase>& tested) {
      return std::string(tested.param.name);
    });

}  // namespace
}  // namespace qmr::keys
