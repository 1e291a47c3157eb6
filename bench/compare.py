"""Checks that a copy is what it should be, so that a broken copier cannot look fast.

A copy matches when below the two roots the same names exist with the same kinds,
every file has the source's size, modification time (to the nanosecond) and
permission bits (the owner's write bit may be added), every folder has the
source's modification time, and, when asked, every file has the source's bytes.
The roots themselves are the caller's folders and are not compared.
"""

import os
import stat

MAX_REPORTED = 10
_CHUNK = 1 << 20


def _same_bytes(source: str, target: str) -> bool:
  with open(source, "rb", buffering=0) as a, open(target, "rb", buffering=0) as b:
    while True:
      left, right = a.read(_CHUNK), b.read(_CHUNK)
      if left != right:
        return False
      if not left:
        return True


def _compare_entry(source: str, target: str, is_dir: bool, content: bool, times: bool) -> str:
  """Why target is not a good copy of source, or "" when it is."""
  want, have = os.stat(source), os.stat(target, follow_symlinks=False)
  kind = stat.S_ISDIR if is_dir else stat.S_ISREG
  if not kind(have.st_mode):
    return "is of another kind"
  if times and want.st_mtime_ns != have.st_mtime_ns:
    return f"modification time {have.st_mtime_ns} ns, source has {want.st_mtime_ns} ns"
  if is_dir:
    return ""
  want_bits, have_bits = stat.S_IMODE(want.st_mode), stat.S_IMODE(have.st_mode)
  if times and have_bits not in (want_bits, want_bits | stat.S_IWUSR):
    return f"permission bits {have_bits:o}, source has {want_bits:o}"
  if want.st_size != have.st_size:
    return f"size {have.st_size}, source has {want.st_size}"
  if content and not _same_bytes(source, target):
    return "content differs"
  return ""


def compare_trees(source: str, target: str, content: bool, times: bool = True) -> list:
  """The differences between two trees (at most MAX_REPORTED), empty when they match.

  times=False skips times and permission bits, for copies made by tools that
  do not keep them (dd).
  """
  problems = []
  pending = [""]
  while pending and len(problems) < MAX_REPORTED:
    relative = pending.pop()
    try:
      with os.scandir(os.path.join(source, relative)) as entries:
        wanted = {e.name: e.is_dir(follow_symlinks=False) for e in entries}
      present = set(os.listdir(os.path.join(target, relative)))
    except OSError as error:
      problems.append(f"{relative or '.'}: {error.strerror}")
      continue
    for name in sorted(present - wanted.keys()):
      problems.append(f"{os.path.join(relative, name)}: not in the source")
    for name, is_dir in sorted(wanted.items()):
      path = os.path.join(relative, name)
      if name not in present:
        problems.append(f"{path}: missing")
        continue
      why = _compare_entry(os.path.join(source, path), os.path.join(target, path), is_dir, content,
                         times)
      if why:
        problems.append(f"{path}: {why}")
      if is_dir:
        pending.append(path)
  return problems[:MAX_REPORTED]


def compare_files(source: str, target: str, paths: list) -> list:
  """The differences for just these files (size, time, bits and bytes)."""
  problems = []
  for path in paths:
    try:
      why = _compare_entry(os.path.join(source, path), os.path.join(target, path), False, True,
                           True)
    except OSError as error:
      why = error.strerror
    if why:
      problems.append(f"{path}: {why}")
      if len(problems) == MAX_REPORTED:
        break
  return problems
