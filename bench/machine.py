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


def holds_freed_inodes(path: str) -> bool:
  """Whether path's filesystem is ext4 without a journal.

  Such an ext4 does not hand out an inode again for 60 s after its deletion, or
  360 s while the inode's table block is dirty, and every create looks at each
  such inode from the start of its block group onwards. A copy that starts right
  after the previous copy was deleted pays for that, per file, whatever the tool;
  the benchmark deletes each target before the next run, as its user would.
  """
  device = os.stat(path).st_dev
  try:
    with open(f"/sys/dev/block/{os.major(device)}:{os.minor(device)}/uevent") as uevent:
      name = next(line.split("=", 1)[1].strip() for line in uevent if line.startswith("DEVNAME="))
    with open(f"/sys/fs/ext4/{name}/journal_task") as journal:
      return journal.read().strip() == "<none>"
  except (OSError, StopIteration):
    return False


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
      *(["journal: none (ext4 passes over inodes freed in the last 60 to 360 s on every create,"
         " so creates right after a deletion are slower for every tool)"]
        if holds_freed_inodes(scratch) else []),
      f"threads: {threads_setting(env)}",
  ]
