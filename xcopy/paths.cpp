// Path text helpers. Nothing here touches the file system.
#include "xcopy/paths.h"

#include <vector>

namespace xcopy {

std::string join_path(std::string_view base, std::string_view relative) {
  std::string joined(base);
  if (relative.empty()) {
    return joined;
  }
  if (!joined.empty() && joined.back() != '/') {
    joined += '/';
  }
  joined += relative;
  return joined;
}

std::string_view directory_part(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash + 1);
}

std::string_view last_component(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view without_trailing_slashes(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') {
    path.remove_suffix(1);
  }
  return path;
}

std::string parent_path(std::string_view path) {
  path = without_trailing_slashes(path);
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) {
    return ".";
  }
  std::string_view parent = without_trailing_slashes(path.substr(0, slash + 1));
  return std::string(parent.empty() ? "/" : parent);
}

std::string full_path(std::string_view path, std::string_view current_directory) {
  std::string whole;
  if (path.empty() || path.front() != '/') {
    whole = current_directory;
    whole += '/';
  }
  whole += path;
  std::vector<std::string_view> parts;
  std::string_view rest = whole;
  while (!rest.empty()) {
    const std::size_t slash = rest.find('/');
    const std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
    if (part.empty() || part == ".") {
      continue;
    }
    if (part == "..") {
      if (!parts.empty()) {
        parts.pop_back();
      }
      continue;
    }
    parts.push_back(part);
  }
  std::string result;
  for (const std::string_view part : parts) {
    result += '/';
    result += part;
  }
  return result.empty() ? "/" : result;
}

std::string printable(std::string_view path) {
  constexpr char hex[] = "0123456789abcdef";
  std::string shown;
  shown.reserve(path.size());
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      shown += "\\x";
      shown += hex[byte >> 4];
      shown += hex[byte & 0xf];
    } else {
      shown += c;
    }
  }
  return shown;
}

}  // namespace xcopy
