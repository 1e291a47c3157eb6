// Directories, the command interpreter and the end of the process on POSIX.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/platform.h"

extern char** environ;

namespace qmr {
namespace {

// The folder that holds our own xcopy: <folder of the running executable>/../libexec/qmr.
text copier_directory() {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0)
      return {};
    if (static_cast<std::size_t>(length) < buffer.size()) {
      text executable(buffer.data(), static_cast<std::size_t>(length));
      const std::size_t slash = executable.rfind('/');
      if (slash == text::npos)
        return {};
      return executable.substr(0, slash) + "/../libexec/qmr";
    }
    buffer.resize(buffer.size() * 2);
  }
}

// The environment for the interpreter: ours, with the copier's folder in front
// of PATH so that "xcopy" is the one installed beside the program.
std::vector<text> interpreter_environment() {
  std::vector<text> environment;
  text path;
  bool have_path = false;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    if (std::strncmp(*variable, "PATH=", 5) == 0) {
      path = *variable + 5;
      have_path = true;
    } else {
      environment.emplace_back(*variable);
    }
  }
  if (!have_path) {
    // The shell's own default search path, which an unset PATH would have given.
    const std::size_t size = confstr(_CS_PATH, nullptr, 0);
    std::vector<char> fallback(size > 0 ? size : 1);
    if (size > 0)
      confstr(_CS_PATH, fallback.data(), size);
    path = fallback.data();
  }
  const text copier = copier_directory();
  if (!copier.empty())
    path = path.empty() ? copier : copier + ":" + path;
  environment.push_back("PATH=" + path);
  return environment;
}

// The kernel takes at most PATH_MAX bytes of a path in one call, but a current
// directory can be deeper than that, and the probe must be able to return to
// it. So a longer path is walked in pieces of whole components that each fit,
// from directory handle to directory handle; the current directory changes
// only at the end, when the whole path was found.
std::int32_t change_directory_in_pieces(const text& path) {
  constexpr std::size_t piece_limit = PATH_MAX - 1;
  int directory = open(path[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  std::size_t start = 0;
  while (directory >= 0) {
    while (start < path.size() && path[start] == '/')
      ++start;
    if (start == path.size())
      break;
    std::size_t end = path.size();
    if (end - start > piece_limit) {
      end = path.rfind('/', start + piece_limit);
      if (end == text::npos || end <= start) {
        // One name longer than any path the kernel takes cannot exist.
        close(directory);
        return -1;
      }
    }
    const text piece = path.substr(start, end - start);
    const int next = openat(directory, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    close(directory);
    directory = next;
    start = end;
  }
  if (directory < 0)
    return -1;
  const int result = fchdir(directory);
  close(directory);
  return result == 0 ? 0 : -1;
}

}  // namespace

text current_directory() {
  // glibc sizes the buffer itself, so a directory of any depth comes back whole.
  std::unique_ptr<char, decltype(&std::free)> directory(getcwd(nullptr, 0), &std::free);
  return directory ? text(directory.get()) : text{};
}

std::int32_t change_directory(const text& path) {
  if (path.empty())
    return -1;
  if (chdir(path.c_str()) == 0)
    return 0;
  return errno == ENAMETOOLONG ? change_directory_in_pieces(path) : -1;
}

text quote_argument(const text& argument) {
  // Inside single quotes /bin/sh takes every byte literally; a single quote
  // itself closes the quotes, is written escaped and opens them again.
  text quoted = "'";
  for (const char c : argument) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  quoted += '\'';
  return quoted;
}

std::int32_t run_command(const text& line) {
  if (line.empty())
    return -1;
  const std::vector<text> environment = interpreter_environment();
  std::vector<char*> envp;
  for (const text& variable : environment)
    envp.push_back(const_cast<char*>(variable.c_str()));
  envp.push_back(nullptr);
  const char* argv[] = {"sh", "-c", line.c_str(), nullptr};

  pid_t child = 0;
  if (posix_spawn(&child, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), envp.data()) !=
      0) {
    return -1;
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR)
      return -1;
  }
  if (WIFEXITED(status))
    return WEXITSTATUS(status);
  if (WIFSIGNALED(status))
    return 128 + WTERMSIG(status);
  return -1;
}

void end_program(std::int32_t code) {
  std::exit(code);
}

}  // namespace qmr
