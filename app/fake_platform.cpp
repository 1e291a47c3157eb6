#include "app/fake_platform.h"

#include "app/frontend.h"

namespace qmr {
namespace {

std::vector<text> kept_arguments;

// Joins a path to the current directory and folds "." and ".." the way a
// kernel resolving a path does.
text resolve(const text& base, const text& path) {
  const text whole = !path.empty() && path[0] == '/' ? path : base + "/" + path;
  std::vector<text> parts;
  std::size_t start = 0;
  while (start <= whole.size()) {
    std::size_t slash = whole.find('/', start);
    if (slash == text::npos)
      slash = whole.size();
    const text part = whole.substr(start, slash - start);
    if (part == "..") {
      if (!parts.empty())
        parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = slash + 1;
  }
  text resolved;
  for (const text& part : parts)
    resolved += "/" + part;
  return resolved.empty() ? "/" : resolved;
}

}  // namespace

namespace fake {

world& the_world() {
  static world w;
  return w;
}

std::int32_t run(const std::vector<text>& arguments) {
  std::vector<const char*> vector;
  for (const text& argument : arguments)
    vector.push_back(argument.c_str());
  vector.push_back(nullptr);
  try {
    run_program(static_cast<std::int32_t>(arguments.size()), vector.data());
  } catch (const program_ended& ended) {
    return ended.code;
  }
}

}  // namespace fake

void keep_arguments(std::int32_t count, const char* const* vector) {
  fake::the_world().calls.push_back("keep_arguments");
  kept_arguments.assign(vector, vector + count);
}

text program_argument(std::int32_t n) {
  return n >= 0 && n < static_cast<std::int32_t>(kept_arguments.size()) ? kept_arguments[n] : "";
}

void print_text(const text& t, ending end) {
  fake::world& w = fake::the_world();
  w.calls.push_back("print");
  w.output += t;
  if (end == ending::line_end)
    w.output += "\r\n";
}

text poll_key() {
  fake::world& w = fake::the_world();
  ++w.polls;
  if (w.keys.empty())
    return "";
  text key = w.keys.front();
  w.keys.pop_front();
  return key;
}

std::int32_t await_key() {
  fake::world& w = fake::the_world();
  ++w.waits;
  if (w.keys_during_wait.empty())
    return w.await_result;
  w.keys.push_back(w.keys_during_wait.front());
  w.keys_during_wait.pop_front();
  return 0;
}

text current_directory() {
  fake::world& w = fake::the_world();
  w.calls.push_back("current_directory");
  return w.current;
}

std::int32_t change_directory(const text& path) {
  fake::world& w = fake::the_world();
  w.calls.push_back("change_directory:" + path);
  if (path.empty())
    return -1;
  const text target = resolve(w.current, path);
  if (w.directories.count(target) == 0)
    return -1;
  w.current = target;
  return 0;
}

text quote_argument(const text& argument) {
  return "<" + argument + ">";
}

std::int32_t run_command(const text& line) {
  fake::world& w = fake::the_world();
  w.calls.push_back("run_command");
  if (line.empty())
    return -1;
  w.commands.push_back(line);
  return w.command_result;
}

void end_program(std::int32_t code) {
  fake::the_world().calls.push_back("end_program");
  throw fake::program_ended{code};
}

}  // namespace qmr
