"""Facts about the machine and the scratch filesystem that the figures depend on."""

import os
import platform
import subprocess


def cores() -> int:
  """Cores this process may run on (what a copier's default thread count sees)."""
  return len(os.sched_getaffinity(0))


def cpu_model() -> str:
  try:
    with open("/proc/cpuinfo") as info:
      for line in info:
        if line.startswith("model name"):
          return line.split(":", 1)[1].strip()
  except OSError:
    pass
  return platform.processor() or "unknown"


def filesystem_type(path: str) -> str:
  """The type as `stat -f` names it (ext4 shows as ext2/ext3)."""
  result = subprocess.run(["stat", "-f", "-c", "%T", path], capture_output=True, text=True)
  return result.stdout.strip() or "unknown"


def mount_of(path: str) -> str:
  """The mounted filesystem type and options of the mount holding path."""
  path = os.path.realpath(path)
  best, found = "", "unknown"
  try:
    with open("/proc/self/mounts") as mounts:
      for line in mounts:
        fields = line.split()
        point = fields[1].replace("\\040", " ")
        inside = path == point or path.startswith(point.rstrip("/") + "/")
        if inside and len(point) >= len(best):
          best, found = point, f"{fields[2]} on {point} ({fields[3]})"
  except OSError:
    pass
  return found


def can_share_blocks(folder: str) -> bool:
  """Whether the filesystem under folder can clone a file (reflink) instead of copying it."""
  source, clone = os.path.join(folder, "reflink-probe"), os.path.join(folder, "reflink-clone")
  try:
    with open(source, "wb") as f:
      f.write(b"x" * 65536)
    result = subprocess.run(["cp", "--reflink=always", source, clone], capture_output=True)
    return result.returncode == 0
  finally:
    for path in (source, clone):
      if os.path.exists(path):
        os.unlink(path)


def threads_setting(env: dict) -> str:
  value = env.get("QMR_XCOPY_THREADS")
  return f"QMR_XCOPY_THREADS={value}" if value else "QMR_XCOPY_THREADS unset (the copier's default)"


def describe(scratch: str, env: dict) -> list:
  """The lines that head the report."""
  return [
      f"machine: {cores()} cores ({cpu_model()}), {os.sysconf('SC_PHYS_PAGES') * os.sysconf('SC_PAGE_SIZE') / 2**30:.0f} GiB,"
      f" Linux {platform.release()}",
      f"filesystem: {filesystem_type(scratch)} (stat -f), {mount_of(scratch)}",
      f"block sharing (cp --reflink=always): {'yes' if can_share_blocks(scratch) else 'no'}",
      f"threads: {threads_setting(env)}",
  ]
