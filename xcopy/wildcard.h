// File name patterns with * and ?, as SOURCE's last component may hold.
#pragma once

#include <string_view>

namespace xcopy {

// Whether `component` holds a * or ?.
bool has_wildcards(std::string_view component);

// Whether `name` matches `pattern`: * stands for any run of characters (none
// included), ? for exactly one character (a whole UTF-8 sequence, or one byte
// where the name is not valid UTF-8). ASCII letters match either case, as on
// Windows. A pattern ending in ".*" also matches the name without any dot
// part, so "*.*" matches every name, as it does on Windows.
bool matches_wildcard(std::string_view pattern, std::string_view name);

}  // namespace xcopy
