// Reads the copier's command line into its options. Switches may stand anywhere,
// joined or apart, in any case; every other word is SOURCE or TARGET.
#include "xcopy/command_line.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <optional>
#include <string_view>
#include <tuple>
#include <vector>

#include "xcopy/exclude_list.h"

namespace xcopy {
namespace {

using outcome = parsed_command_line::outcome;

// Everything the switches ask for. /l and /t are kept apart until the end because
// /l wins whatever their order; the list files are read once the line is known good.
struct switch_state {
  options opts;
  bool help = false;
  bool list_only = false;
  bool tree_only = false;
  std::vector<std::string> list_files;
};

struct plain_switch {
  std::string_view name;  // lower case, without the '/'
  void (*apply)(switch_state&);
};

// The switches without a value. Where two contradict each other (/y and /-y, /q
// and /f, /d and /d:date) the later one wins, as /-y after /y does on Windows.
constexpr plain_switch plain_switches[] = {
    {"s",
     [](switch_state& s) {
       // /s after /e must not take the empty directories away again.
       if (s.opts.recurse == recursion::top_only) {
         s.opts.recurse = recursion::subdirectories;
       }
     }},
    {"e", [](switch_state& s) { s.opts.recurse = recursion::with_empty; }},
    {"c", [](switch_state& s) { s.opts.errors = on_error::continue_; }},
    {"d",
     [](switch_state& s) {
       s.opts.dates = date_filter::newer_than_target;
       s.opts.modified_since = 0;
     }},
    {"h", [](switch_state& s) { s.opts.hidden = hidden_entries::include; }},
    {"i", [](switch_state& s) { s.opts.new_target = missing_target::directory; }},
    {"r", [](switch_state& s) { s.opts.read_only = read_only_targets::overwrite; }},
    {"y", [](switch_state& s) { s.opts.overwrite = overwrite_prompt::never_ask; }},
    {"-y", [](switch_state& s) { s.opts.overwrite = overwrite_prompt::ask; }},
    {"q", [](switch_state& s) { s.opts.lines = listing::quiet; }},
    {"f", [](switch_state& s) { s.opts.lines = listing::full_paths; }},
    {"l", [](switch_state& s) { s.list_only = true; }},
    {"t", [](switch_state& s) { s.tree_only = true; }},
    {"u", [](switch_state& s) { s.opts.existing = target_filter::existing_only; }},
    {"k", [](switch_state& s) { s.opts.permissions = permission_bits::keep; }},
    {"b", [](switch_state& s) { s.opts.links = symlinks::copy_as_links; }},
    {"v", [](switch_state& s) { s.opts.verify = verification::compare; }},
    {"p", [](switch_state& s) { s.opts.per_file = per_file_prompt::ask; }},
    {"w", [](switch_state& s) { s.opts.before_start = start_prompt::wait_for_key; }},
    {"?", [](switch_state& s) { s.help = true; }},
};

// Switches that rest on Windows attributes or services. They are refused like any
// unknown switch, but a word starting with one reads as a switch mistake, not a path.
constexpr std::string_view windows_only_switches[] = {"a", "m", "n", "o",       "x",
                                                      "g", "z", "j", "compress"};

constexpr std::string_view date_prefix = "d:";
constexpr std::string_view list_prefix = "exclude:";

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// ASCII-only, so that the locale cannot change what a switch is.
bool equals_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == y; });
}

bool starts_ignoring_case(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && equals_ignoring_case(s.substr(0, prefix.size()), prefix);
}

// A field of `min_digits` to `max_digits` decimal digits as a number, or -1.
int digits_field(std::string_view field, std::size_t min_digits, std::size_t max_digits) {
  if (field.size() < min_digits || field.size() > max_digits) {
    return -1;
  }
  int value = 0;
  for (const char c : field) {
    if (c < '0' || c > '9') {
      return -1;
    }
    value = value * 10 + (c - '0');
  }
  return value;
}

bool is_leap_year(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int days_in_month(int year, int month) {
  constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && is_leap_year(year) ? 29 : days[month - 1];
}

struct date {
  int year;
  int month;
  int day;
};

// Whether the local date at `t` is `d` or a later one.
bool on_or_after(std::time_t t, const date& d) {
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) {
    return false;
  }
  return std::tie(local.tm_year, local.tm_mon, local.tm_mday) >=
         std::make_tuple(d.year - 1900, d.month - 1, d.day);
}

// The first second of a local date: its midnight, or where a clock change skips
// midnight, the instant the clock jumps to; where midnight comes twice, the earlier.
std::time_t start_of_local_day(const date& d) {
  using limits = std::numeric_limits<std::time_t>;
  tzset();
  std::tm midnight{};
  midnight.tm_year = d.year - 1900;
  midnight.tm_mon = d.month - 1;
  midnight.tm_mday = d.day;
  midnight.tm_isdst = -1;
  // mktime sets tm_wday only on success; its -1 result is also a valid time.
  midnight.tm_wday = -1;
  const std::time_t guess = std::mktime(&midnight);
  if (midnight.tm_wday < 0) {
    // Beyond what time_t holds here: every file is newer than a date before its
    // range, none is newer than one after it.
    return d.year < 1970 ? limits::min() : limits::max();
  }
  // mktime's guess for a skipped or doubled midnight may be off by the size of the
  // clock change, never by more than a day, so the day starts within three days
  // of it: halve that interval down to the first second of the date.
  constexpr std::int64_t three_days = 3 * 24 * 60 * 60;
  const auto within_time_t = [](std::int64_t t) {
    return static_cast<std::time_t>(std::clamp<std::int64_t>(t, limits::min(), limits::max()));
  };
  std::time_t before = within_time_t(std::int64_t{guess} - three_days);
  std::time_t after = within_time_t(std::int64_t{guess} + three_days);
  while (after - before > 1) {
    const std::time_t middle = before + (after - before) / 2;
    (on_or_after(middle, d) ? after : before) = middle;
  }
  return after;
}

// "M-D-YYYY": month and day of one or two digits, a year of four, a real date.
std::optional<date> parse_date(std::string_view text) {
  const std::size_t first = text.find('-');
  const std::size_t second = first == std::string_view::npos ? first : text.find('-', first + 1);
  if (second == std::string_view::npos) {
    return std::nullopt;
  }
  const date d{digits_field(text.substr(second + 1), 4, 4),
               digits_field(text.substr(0, first), 1, 2),
               digits_field(text.substr(first + 1, second - first - 1), 1, 2)};
  if (d.year < 1 || d.month < 1 || d.month > 12 || d.day < 1 ||
      d.day > days_in_month(d.year, d.month)) {
    return std::nullopt;
  }
  return d;
}

// The file names of "/exclude:F1+F2", none of them empty.
std::optional<std::vector<std::string>> split_list_names(std::string_view names) {
  std::vector<std::string> files;
  for (;;) {
    const std::size_t plus = names.find('+');
    const std::string_view name = names.substr(0, plus);
    if (name.empty()) {
      return std::nullopt;
    }
    files.emplace_back(name);
    if (plus == std::string_view::npos) {
      return files;
    }
    names.remove_prefix(plus + 1);
  }
}

// Applies one switch, named without its '/', to `state`; false when it is none.
bool apply_switch(std::string_view name, switch_state& state) {
  for (const plain_switch& known : plain_switches) {
    if (equals_ignoring_case(name, known.name)) {
      known.apply(state);
      return true;
    }
  }
  if (starts_ignoring_case(name, date_prefix)) {
    const std::optional<date> d = parse_date(name.substr(date_prefix.size()));
    if (!d) {
      return false;
    }
    state.opts.dates = date_filter::modified_since;
    state.opts.modified_since = start_of_local_day(*d);
    return true;
  }
  if (starts_ignoring_case(name, list_prefix)) {
    std::optional<std::vector<std::string>> files =
        split_list_names(name.substr(list_prefix.size()));
    if (!files) {
      return false;
    }
    state.list_files.insert(state.list_files.end(), files->begin(), files->end());
    return true;
  }
  return false;
}

// Whether `name` is meant as a switch, good or bad, so that a word starting with it
// is reported as a switch mistake rather than taken for a path.
bool names_a_switch(std::string_view name) {
  const auto is = [name](std::string_view known) { return equals_ignoring_case(name, known); };
  return std::any_of(std::begin(plain_switches), std::end(plain_switches),
                     [&](const plain_switch& known) { return is(known.name); }) ||
         std::any_of(std::begin(windows_only_switches), std::end(windows_only_switches), is) ||
         starts_ignoring_case(name, date_prefix) || starts_ignoring_case(name, list_prefix);
}

// The switch names in a word that starts with '/', without their slashes. The
// file names of /exclude: run to the end of the word, since they may hold '/'.
std::vector<std::string_view> switch_names(std::string_view word) {
  std::vector<std::string_view> names;
  std::size_t slash = 0;
  for (;;) {
    const std::string_view rest = word.substr(slash + 1);
    if (starts_ignoring_case(rest, list_prefix)) {
      names.push_back(rest);
      return names;
    }
    const std::size_t next = rest.find('/');
    names.push_back(rest.substr(0, next));
    if (next == std::string_view::npos) {
      return names;
    }
    slash += next + 1;
  }
}

bool exists(std::string_view path) {
  struct stat st {};
  return ::lstat(std::string(path).c_str(), &st) == 0;
}

// Whether a word starting with '/' that is not made of known switches is a path.
// It is when it exists, or when its first component exists (a new entry in an
// existing top directory, as in /tmp/new). A bare "/WORD" that does not exist,
// and a word starting with a switch name, are switch mistakes; any other word
// (/nowhere/file) is a path that the copy reports as not found.
bool reads_as_path(std::string_view word, std::string_view first_name) {
  if (exists(word)) {
    return true;
  }
  const std::size_t second_slash = word.find('/', 1);
  if (second_slash == std::string_view::npos) {
    return false;
  }
  return exists(word.substr(0, second_slash)) || !names_a_switch(first_name);
}

// What a word made of switches says, or nothing when any part is no switch.
std::optional<switch_state> apply_word(std::string_view word, const switch_state& state,
                                       std::string& bad_switch) {
  switch_state trial = state;
  for (const std::string_view name : switch_names(word)) {
    if (!apply_switch(name, trial)) {
      bad_switch = "/" + std::string(name);
      return std::nullopt;
    }
  }
  return trial;
}

// COPYCMD may preset /Y or /-Y for every run, as on Windows; the command line
// overrides it. Its other words belong to other commands and are ignored.
overwrite_prompt preset_overwrite() {
  overwrite_prompt preset = overwrite_prompt::ask;
  const char* const copycmd = std::getenv("COPYCMD");
  std::string_view words = copycmd == nullptr ? "" : copycmd;
  while (!words.empty()) {
    const std::size_t start = words.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
      break;
    }
    words.remove_prefix(start);
    const std::string_view word = words.substr(0, words.find_first_of(" \t"));
    words.remove_prefix(word.size());
    if (equals_ignoring_case(word, "/y")) {
      preset = overwrite_prompt::never_ask;
    } else if (equals_ignoring_case(word, "/-y")) {
      preset = overwrite_prompt::ask;
    }
  }
  return preset;
}

parsed_command_line failure(std::string message) {
  parsed_command_line parsed;
  parsed.result = outcome::error;
  parsed.message = std::move(message);
  return parsed;
}

}  // namespace

parsed_command_line parse_command_line(int argc, const char* const* argv) {
  switch_state state;
  state.opts.overwrite = preset_overwrite();
  std::vector<std::string> paths;
  std::string first_error;
  bool switches_ended = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view word = argv[i];
    if (!switches_ended && word == "--") {
      switches_ended = true;
      continue;
    }
    if (switches_ended || !word.starts_with('/')) {
      paths.emplace_back(word);
      continue;
    }
    std::string bad_switch;
    if (std::optional<switch_state> applied = apply_word(word, state, bad_switch)) {
      state = std::move(*applied);
    } else if (reads_as_path(word, switch_names(word).front())) {
      paths.emplace_back(word);
    } else if (first_error.empty()) {
      // Later words are still read: a /? anywhere gets the help all the same.
      first_error = "Invalid switch - " + bad_switch;
    }
  }

  parsed_command_line parsed;
  if (state.help) {
    parsed.result = outcome::help;
    return parsed;
  }
  if (!first_error.empty()) {
    return failure(first_error);
  }
  if (paths.empty() || paths.size() > 2) {
    return failure("Invalid number of parameters");
  }
  // An empty TARGET joined to a relative path would name the root directory.
  if (std::any_of(paths.begin(), paths.end(), [](const std::string& p) { return p.empty(); })) {
    return failure("Invalid path - \"\"");
  }
  for (const std::string& file : state.list_files) {
    std::optional<std::vector<std::string>> strings = read_exclude_file(file);
    if (!strings) {
      return failure("Can't read file: " + file);
    }
    state.opts.excluded.insert(state.opts.excluded.end(), strings->begin(), strings->end());
  }

  // /l promises that nothing is written, so it wins over /t in either order.
  state.opts.what = state.list_only   ? action::list_only
                    : state.tree_only ? action::tree_only
                                      : action::copy;
  state.opts.source = paths[0];
  if (paths.size() == 2) {
    state.opts.target = paths[1];
  }
  parsed.result = outcome::run;
  parsed.opts = std::move(state.opts);
  return parsed;
}

const char* help_text() {
  return R"(Copies files and directory trees.

XCOPY source [destination] [/S [/E]] [/C] [/D[:m-d-yyyy]] [/H] [/I] [/R]
      [/Y | /-Y] [/Q | /F] [/L] [/T] [/U] [/K] [/B] [/V] [/P] [/W]
      [/EXCLUDE:file1[+file2]...] [--]

  source       A directory (its contents are copied), a file, or a pattern.
  destination  Where the copies go; the current directory when omitted.

  /S           Copies subdirectories too, except those that end up empty.
  /E           Copies subdirectories too, empty ones included (implies /S).
  /C           Reports an error and goes on with the next file.
  /D           Copies a file only when the target has none or an older one.
  /D:m-d-yyyy  Copies only files modified on or after that local date.
  /H           Includes hidden files and directories (names starting with .).
  /I           Takes a missing destination for a directory and creates it.
  /R           Overwrites read-only target files.
  /Y           Overwrites existing files without asking.
  /-Y          Asks before overwriting an existing file.
  /Q           Shows no file names while copying.
  /F           Shows the full source and target name of each file copied.
  /L           Lists the files that would be copied; copies nothing.
  /T           Creates the directory tree only (with /E, empty ones too).
  /U           Copies only files that the destination already has.
  /K           Keeps permission bits exactly; otherwise copies are writable.
  /B           Copies symbolic links as links, not what they point to.
  /V           Checks each copy against its source.
  /P           Asks before copying each file.
  /W           Waits for a key before starting.
  /EXCLUDE:f1[+f2]...  Skips files whose path contains a line of f1, f2...
  /?           Shows this help.
  --           Ends the switches: the words after it are paths.

/Y may be preset in the COPYCMD environment variable; /-Y overrides it.
QMR_XCOPY_THREADS  Threads used for copying (default: the number of cores).
)";
}

}  // namespace xcopy
