// The copier's output streams: per-file lines on standard output, errors and
// notes on standard error, one line each, LF-terminated.
#pragma once

#include <string_view>

namespace xcopy::console {

// Appends one line (the LF is added) to standard output. Lines are buffered when
// standard output is not a terminal, so a big tree costs few writes; on a
// terminal each line appears at once.
void write_line(std::string_view line);

// Writes one line to standard error, after everything buffered for standard
// output, so that both streams sent to one file keep their order.
void write_error_line(std::string_view line);

// Writes a question to standard output at once, without a line end.
void write_prompt(std::string_view text);

// Writes all of `text` to `fd` at once, unbuffered; gives up quietly when the
// stream is gone (a closed pipe or terminal must not stop the copy).
// Async-signal-safe.
void write_all(int fd, std::string_view text);

// Writes out what is buffered for standard output.
void flush();

// The same as flush() for a signal handler: async-signal-safe, and it never
// writes a line twice or a part of one.
void flush_from_signal();

}  // namespace xcopy::console
