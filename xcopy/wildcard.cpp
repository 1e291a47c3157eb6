// Wildcard matching over bytes, with one backtracking point (the last *).
#include "xcopy/wildcard.h"

#include <cstddef>

namespace xcopy {
namespace {

char fold(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The length of the character that starts at `at`: a whole well-formed UTF-8
// sequence, otherwise one byte.
std::size_t character_length(std::string_view s, std::size_t at) {
  const auto lead = static_cast<unsigned char>(s[at]);
  std::size_t length = 1;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
  }
  if (at + length > s.size()) {
    return 1;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(s[at + i]) & 0xc0) != 0x80) {
      return 1;
    }
  }
  return length;
}

bool match(std::string_view pattern, std::string_view name) {
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t star = std::string_view::npos;  // pattern position after the last *
  std::size_t star_name = 0;                  // where that * stopped matching
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = ++p;
      star_name = n;
    } else if (p < pattern.size() && pattern[p] == '?') {
      ++p;
      n += character_length(name, n);
    } else if (p < pattern.size() && fold(pattern[p]) == fold(name[n])) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      // Let the last * take one more character and try again from there.
      star_name += character_length(name, star_name);
      n = star_name;
      p = star;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') {
    ++p;
  }
  return p == pattern.size();
}

}  // namespace

bool has_wildcards(std::string_view component) {
  return component.find_first_of("*?") != std::string_view::npos;
}

bool matches_wildcard(std::string_view pattern, std::string_view name) {
  if (match(pattern, name)) {
    return true;
  }
  return pattern.ends_with(".*") && match(pattern.substr(0, pattern.size() - 2), name);
}

}  // namespace xcopy
