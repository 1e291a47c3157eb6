// The console and process services that the front end needs of the platform.
//
// The front end calls these operations and nothing else, so it compiles unchanged
// for every platform: each platform has one implementation file per service
// group (platform/*-posix.cpp, platform/*-win32.cpp), chosen by the build.
// Nothing in this header may name a platform's own types or headers.
#pragma once

#include <cstdint>
#include <string>

namespace qmr {

// A string of 8-bit bytes with no zero byte inside. Arguments, messages and the
// copy command line are all texts; they pass between the argument parser, the
// console, the directory services and the command interpreter with no
// conversion of code pages anywhere.
using text = std::string;

// Whether print_text ends its text with the line end CR LF.
enum class ending : bool { none, line_end };

// Keeps the argument count (program name included) and vector that the
// platform's start-up produced, unchanged, for program_argument. Called once,
// by the entry, before anything is printed.
void keep_arguments(std::int32_t count, const char* const* vector);

// A copy of argument n for 0 <= n < count; argument 0 is the program's name as
// the caller passed it. The empty text for any other n.
text program_argument(std::int32_t n);

// Writes the text's bytes to standard output, all of them, with nothing added or
// translated, then CR LF as a second write when asked. Nothing is buffered
// between calls, so all output is in place before a command run later writes
// anything. Output failures are not reported.
void print_text(const text& t, ending end);

// Never waits. The empty text when no key is pending; otherwise removes the
// oldest pending key and returns it: one byte for a key with a character, the
// two bytes 255 and the extended key code for a key without one. A close,
// log-off or shut-down notification arrives as the key Alt+F4 (255, 107).
text poll_key();

// Sleeps until a key or a control notification may be pending, so that a wait
// for a key uses no processor time between polls. Returns 0 when poll_key may
// now find a key, non-zero at once when no key can ever arrive (standard input
// is not a terminal or console).
std::int32_t await_key();

// The process's current directory, whole, however long it is; the empty text
// when the platform reports none.
text current_directory();

// 0 when the current directory was changed to the path (a relative path is
// resolved against the current one), non-zero when it was not. An empty path
// always fails.
std::int32_t change_directory(const text& path);

// The argument quoted for the platform's command interpreter, so that it reaches
// the program the command line starts as one argument, byte for byte, and
// nothing in it is ever run or expanded.
text quote_argument(const text& argument);

// Runs the line through the platform's command interpreter, waits until it has
// finished and returns the interpreter's exit code. Returns -1 without running
// anything when the line is empty.
std::int32_t run_command(const text& line);

// Ends the process with the code after the platform's exit steps. Never returns.
[[noreturn]] void end_program(std::int32_t code);

}  // namespace qmr
