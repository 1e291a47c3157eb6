"""The copy tools under test and how one timed run of a tool is measured."""

import dataclasses
import os
import signal
import tempfile
import time

# The program runs the copier with exactly these switches, so the benchmark
# measures the work users get (the per-file lines included, sent to /dev/null).
COPIER_SWITCHES = ["/s", "/c", "/d", "/e", "/h", "/i", "/r", "/y"]


@dataclasses.dataclass
class Sample:
  """What one run of a tool cost."""

  seconds: float  # wall time from start to exit
  max_rss_kib: int  # peak resident memory of the process or of any child it waited for
  cpu_seconds: float  # user plus system time of the process and its children
  # Filled in by cases that also measure them:
  durable_seconds: float = 0.0  # wall time until the copy was on the disk (copy plus fsync)
  space_bytes: int = 0  # disk space the copy took (near zero when blocks are shared)


class ToolFailed(Exception):
  """A tool exited with a failure; the benchmark stops rather than time a broken copy."""


# GNU time reports the peak memory of the command it runs. wait4 on our own child
# cannot: a child forked from this Python process inherits its high-water mark of
# resident memory (tens of MiB) through exec, while GNU time is small.
TIME = "/usr/bin/time"


def run_measured(argv: list, env: dict) -> Sample:
  """Runs argv with its output discarded and measures it.

  The child gets a process group of its own, so that stopping the benchmark can
  stop the tool and everything it started, and nothing else.
  """
  with tempfile.TemporaryFile() as errors, tempfile.NamedTemporaryFile("r") as usage:
    actions = [
        (os.POSIX_SPAWN_OPEN, 0, os.devnull, os.O_RDONLY, 0),
        (os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0),
        (os.POSIX_SPAWN_DUP2, errors.fileno(), 2),
    ]
    wrapped = [TIME, "-f", "%M %U %S", "-o", usage.name, "--", *argv]
    start = time.perf_counter()
    pid = os.posix_spawn(TIME, wrapped, env, file_actions=actions, setpgroup=0)
    try:
      _, status = os.waitpid(pid, 0)
    except BaseException:
      _stop(pid)
      raise
    seconds = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
      errors.seek(0)
      text = errors.read(4000).decode(errors="replace").strip()
      raise ToolFailed(f"{' '.join(argv)} exited with {code}" + (f":\n{text}" if text else ""))
    # The last line is ours; GNU time puts notes about the exit status before it.
    peak_kib, user, system = usage.read().split("\n")[-2].split()
  return Sample(seconds, int(peak_kib), float(user) + float(system))


def _stop(pid: int) -> None:
  """Ends the tool's process group when the benchmark itself is stopped."""
  try:
    os.killpg(pid, signal.SIGTERM)
    for _ in range(50):
      if os.waitpid(pid, os.WNOHANG)[0]:
        break
      time.sleep(0.1)
    else:
      os.killpg(pid, signal.SIGKILL)
      os.waitpid(pid, 0)
  except (ChildProcessError, ProcessLookupError):
    pass


@dataclasses.dataclass
class Tool:
  """A named way of copying SOURCE into TARGET."""

  name: str
  argv: callable  # (source, target) -> argument list

  def run(self, source: str, target: str, env: dict) -> Sample:
    return run_measured(self.argv(source, target), env)


def copier(path: str) -> Tool:
  return Tool("copier", lambda s, t: [path, *COPIER_SWITCHES, s, t])


# The peers, each in the form that copies the contents of SOURCE into TARGET.
CP = Tool("cp -a", lambda s, t: ["cp", "-a", "--", s, t])
CP_UPDATE = Tool("cp -au", lambda s, t: ["cp", "-au", "--", os.path.join(s, "."), t])
RSYNC = Tool("rsync -a", lambda s, t: ["rsync", "-a", "--", s + "/", t + "/"])


DISK_FLUSH = "disk (flush)"


class DiskWriter(Tool):
  """The disk's own write rate, measured beside the copies: it writes the files
  untimed (dd, which never shares blocks) and leaves only the flush that follows
  every tool's copy to be timed, so its time until on disk is the disk's alone.

  dd with O_DIRECT was tried: one direct write at a time leaves the disk idle
  between requests and measured about half the rate the kernel's writeback reaches.
  """

  def __init__(self):
    super().__init__(DISK_FLUSH, None)

  def run(self, source: str, target: str, env: dict) -> Sample:
    os.mkdir(target)
    peak = 0
    for name in sorted(os.listdir(source)):
      sample = run_measured([
          "dd", f"if={os.path.join(source, name)}", f"of={os.path.join(target, name)}", "bs=16M",
          "status=none"
      ], env)
      peak = max(peak, sample.max_rss_kib)
    return Sample(0.0, peak, 0.0)
