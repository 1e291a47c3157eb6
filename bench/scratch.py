"""The benchmark's scratch folder and the untimed chores around each timed run.

Everything the benchmark writes lives in one fresh folder that is removed when the
run ends, also on Ctrl+C, SIGTERM and SIGHUP.
"""

import ctypes
import ctypes.util
import os
import signal
import subprocess
import sys
import tempfile

_libc = ctypes.CDLL(ctypes.util.find_library("c") or "libc.so.6", use_errno=True)


class Interrupted(Exception):
  """SIGTERM or SIGHUP arrived; raised so that the scratch folder is cleaned up."""


def _raise_interrupted(signum, _frame):
  raise Interrupted(signal.Signals(signum).name)


class Scratch:
  """A fresh folder under base, removed with everything in it on every way out."""

  def __init__(self, base: str):
    os.makedirs(base, exist_ok=True)
    self.base = base
    self.path = tempfile.mkdtemp(prefix="qmr-bench-", dir=base)

  def __enter__(self):
    # A shell starts background jobs with SIGINT ignored; `kill -INT` must still clean up.
    signal.signal(signal.SIGINT, signal.default_int_handler)
    for signum in (signal.SIGTERM, signal.SIGHUP):
      signal.signal(signum, _raise_interrupted)
    return self

  def __exit__(self, *_):
    # A second Ctrl+C must not leave gigabytes behind; rm inherits the ignoring.
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    print(f"bench: removing {self.path}", file=sys.stderr, flush=True)
    remove(self.path)
    return False

  def join(self, *parts: str) -> str:
    return os.path.join(self.path, *parts)


def remove(path: str) -> None:
  """Deletes a tree (untimed); rm is faster than Python's walk on big trees."""
  if os.path.lexists(path):
    subprocess.run(["rm", "-rf", "--", path], check=True, stdin=subprocess.DEVNULL)


def syncfs(path: str) -> None:
  """Writes back everything dirty on path's filesystem, so no timed run pays for
  the previous run's writes or deletions (this disk discards freed blocks)."""
  fd = os.open(path, os.O_RDONLY)
  try:
    if _libc.syncfs(fd) != 0:
      os.sync()
  finally:
    os.close(fd)


def fsync_files(root: str) -> None:
  """Flushes every file below root to the disk."""
  for folder, _, files in os.walk(root):
    for name in files:
      fd = os.open(os.path.join(folder, name), os.O_RDONLY)
      try:
        os.fsync(fd)
      finally:
        os.close(fd)


def warm(root: str, read_data: bool = True) -> None:
  """Reads a tree (untimed) so its data and metadata are in the page cache.

  On these virtual machines file data left idle for about a minute is evicted, so
  without this the first tool after a pause would pay for reading the disk.
  """
  buffer = bytearray(1 << 20)
  for folder, _, files in os.walk(root):
    for name in files:
      path = os.path.join(folder, name)
      if not read_data:
        os.stat(path)
        continue
      with open(path, "rb", buffering=0) as f:
        while f.readinto(buffer):
          pass


def free_space(path: str) -> tuple:
  """(free bytes, free inodes) for an unprivileged user on path's filesystem."""
  info = os.statvfs(path)
  return info.f_bavail * info.f_frsize, info.f_favail


def used_bytes(path: str) -> int:
  """Bytes in use on path's whole filesystem (others' files included)."""
  info = os.statvfs(path)
  return (info.f_blocks - info.f_bfree) * info.f_frsize


def tree_bytes(path: str) -> int:
  """Disk space the files below path take (du: faster than a walk in Python)."""
  result = subprocess.run(["du", "-s", "-B1", path], capture_output=True, text=True, check=True)
  return int(result.stdout.split()[0])
