// Quoting for the Windows command interpreter (cmd.exe). Pure, so that the
// encoding can be checked anywhere; the Windows build also runs it through the
// real interpreter.
#pragma once

#include "platform/platform.h"

namespace qmr {

// The argument as one word of a cmd.exe command line that the started program
// reads back byte for byte, with nothing run and no variable expanded.
//
// Inside double quotes cmd takes & | < > ^ ( ) and blanks literally but still
// expands %NAME%, so every '%' stands outside the quotes with a quote right after
// it: any name that a '%' could open then starts with '"', which no variable
// has. Backslashes that would stand right before a closing quote also stay
// outside, so that no parser reads them as escaping it. The program sees the
// quotes as grouping marks only and drops them. A '"' (never part of a Windows
// path) cannot pass: it becomes an empty pair of quotes, which keeps cmd's
// quoting intact.
text quote_for_cmd(const text& argument);

}  // namespace qmr
