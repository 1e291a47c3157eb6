// Round trip of the copy command line: whatever bytes the two paths hold, the
// line composed for /bin/sh hands the copier exactly those two paths as its
// last two arguments, and nothing in them runs.
//
// The input is split at its first zero byte into the source and the target
// (other zero bytes are dropped: a path cannot hold one). The line runs in an
// empty scratch directory with a PATH that holds only a stand-in xcopy, which
// writes its arguments, each ended by a zero byte, to a file outside it.
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/frontend.h"

namespace {

struct sandbox {
  std::string root;
  std::string bin;
  std::string work;
  std::string arguments_file;
};

const sandbox& the_sandbox() {
  static const sandbox box = [] {
    char pattern[] = "/tmp/qmr-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
      std::abort();
    sandbox b{pattern, std::string(pattern) + "/bin", std::string(pattern) + "/work",
              std::string(pattern) + "/arguments"};
    mkdir(b.bin.c_str(), 0755);
    mkdir(b.work.c_str(), 0755);
    const std::string xcopy = b.bin + "/xcopy";
    std::ofstream(xcopy) << "#!/bin/sh\nprintf '%s\\0' \"$@\" > '" << b.arguments_file << "'\n";
    chmod(xcopy.c_str(), 0755);
    return b;
  }();
  return box;
}

// Runs the line as the program's run_command would, but confined to the sandbox.
int run_in_sandbox(const std::string& line) {
  const sandbox& box = the_sandbox();
  const std::string path = "PATH=" + box.bin;
  char* envp[] = {const_cast<char*>(path.c_str()), nullptr};
  const char* argv[] = {"sh", "-c", line.c_str(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, box.work.c_str());
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  const int spawned =
      posix_spawn(&child, "/bin/sh", &actions, nullptr, const_cast<char**>(argv), envp);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0)
    std::abort();
  int status = 0;
  waitpid(child, &status, 0);
  return status;
}

bool directory_is_empty(const std::string& path) {
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr)
    return false;
  bool empty = true;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..")
      empty = false;
  }
  closedir(dir);
  return empty;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string source;
  std::string target;
  bool in_target = false;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      in_target = true;
    } else {
      (in_target ? target : source) += static_cast<char>(data[i]);
    }
  }
  const sandbox& box = the_sandbox();
  std::remove(box.arguments_file.c_str());
  const int status = run_in_sandbox(qmr::compose_copy_command(source, target));

  std::ifstream file(box.arguments_file, std::ios::binary);
  const std::string received{std::istreambuf_iterator<char>(file), {}};
  const std::string expected =
      std::string("/s\0/c\0/d\0/e\0/h\0/i\0/r\0/y\0", 24) + source + '\0' + target + '\0';
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || received != expected) {
    std::fprintf(stderr, "paths did not arrive intact (status %d)\n", status);
    std::abort();
  }
  if (!directory_is_empty(box.work)) {
    std::fprintf(stderr, "a path ran something that wrote into the work directory\n");
    std::abort();
  }
  return 0;
}
