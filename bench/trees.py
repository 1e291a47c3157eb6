"""The benchmark's source trees: planned from a fixed seed, then written to disk.

A plan lists every directory and file with its size before anything is written, so
the disk space a run needs is known up front and two runs with the same seed build
byte-identical trees (names, sizes, contents and modification times).
"""

import dataclasses
import math
import os
import random
import stat

KIB = 1024
MIB = 1024 * KIB
GIB = 1024 * MIB

# Every generated time lies in the year after this instant (2023-11-14), so trees
# are the same whenever they are built; the nanoseconds are random so that a copier
# that keeps only seconds or microseconds shows up in the comparison.
TIME_BASE_NS = 1_700_000_000 * 10**9
TIME_SPAN_NS = 365 * 24 * 3600 * 10**9

# All file data are windows into one random block: drawing each byte from the
# seeded generator would take longer than the copies being measured.
RANDOM_BLOCK_SIZE = 32 * MIB
WRITE_CHUNK = 4 * MIB

# Extensions and the odd names that real trees have: hidden entries (copied
# because of /h), spaces and non-ASCII letters.
EXTENSIONS = ["txt", "c", "h", "json", "png", "o", "md", "py"]


@dataclasses.dataclass
class TreePlan:
  """A tree of files with data, fully decided before it is written."""

  key: str  # short name used for folders and options: small, large, mixed
  title: str  # how the report names the tree
  seed: int
  dirs: list  # relative paths, each parent before its children ("" is the root)
  files: list  # (relative path, size in bytes) in the order they are written
  mtimes_ns: list  # one modification time per file, same order
  dir_mtimes_ns: list  # one modification time per directory, same order as dirs

  @property
  def data_bytes(self) -> int:
    return sum(size for _, size in self.files)

  def disk_bytes(self, block: int = 4096) -> int:
    """Space the tree takes on a filesystem with this block size (data and folders)."""
    data = sum(-(-size // block) * block for _, size in self.files)
    return data + len(self.dirs) * block

  def sample_files(self, fraction: float, seed: int) -> list:
    """A reproducible choice of this fraction of the files (at least one)."""
    count = max(1, round(len(self.files) * fraction))
    rng = random.Random(seed)
    return sorted(self.files[i][0] for i in rng.sample(range(len(self.files)), count))


@dataclasses.dataclass
class EmptyTreePlan:
  """A tree of empty files in folders of equal width, for the memory cases.

  Its layout is groups/folders/files (g00/d000/f0000): a tree of ten groups holds
  ten times the files of a tree of one group with the same depth and the same
  widest folder, which is what a memory bound may depend on.
  """

  title: str
  groups: int
  dirs_per_group: int
  files_per_dir: int

  @property
  def file_count(self) -> int:
    return self.groups * self.dirs_per_group * self.files_per_dir

  @property
  def dir_count(self) -> int:
    return self.groups * (1 + self.dirs_per_group)

  def disk_bytes(self, block: int = 4096) -> int:
    # A folder of n entries with names of about 10 bytes takes about 20 n bytes.
    per_dir = max(block, -(-self.files_per_dir * 20 // block) * block)
    return self.dir_count * per_dir


def _name(rng: random.Random, stem: str, index: int, extension: str) -> str:
  """A unique name; a few are hidden, have spaces or non-ASCII letters."""
  roll = rng.random()
  if roll < 0.01:
    name = f".{stem}{index}"
  elif roll < 0.03:
    name = f"my {stem} {index}"
  elif roll < 0.04:
    name = f"{stem}-\u00e9t\u00e9-{index}"
  else:
    name = f"{stem}{index:05d}"
  return f"{name}.{extension}" if extension else name


def _plan_dirs(rng: random.Random, count: int, depth: int) -> list:
  """count folders below the root, nested at most depth deep, the deepest chain reaching depth."""
  dirs = [""]
  depths = [0]
  for level in range(1, min(depth, count) + 1):
    dirs.append(os.path.join(dirs[-1], _name(rng, "dir", len(dirs), "")))
    depths.append(level)
  shallow = [i for i, d in enumerate(depths) if d < depth]
  while len(dirs) < count + 1:
    parent = rng.choice(shallow)
    dirs.append(os.path.join(dirs[parent], _name(rng, "dir", len(dirs), "")))
    depths.append(depths[parent] + 1)
    if depths[-1] < depth:
      shallow.append(len(dirs) - 1)
  return dirs


def _plan(key, title, seed, dir_count, depth, sizes) -> TreePlan:
  rng = random.Random(seed)
  dirs = _plan_dirs(rng, dir_count, depth)
  placed = [[] for _ in dirs]
  for index, size in enumerate(sizes):
    name = _name(rng, "file", index, rng.choice(EXTENSIONS))
    placed[rng.randrange(len(dirs))].append((name, size))
  # Files are written folder by folder, so each folder is opened once.
  files = [(os.path.join(dirs[d], name), size) for d, group in enumerate(placed)
           for name, size in group]
  mtimes = [TIME_BASE_NS + rng.randrange(TIME_SPAN_NS) for _ in files]
  dir_mtimes = [TIME_BASE_NS + rng.randrange(TIME_SPAN_NS) for _ in dirs]
  return TreePlan(key, title, seed, dirs, files, mtimes, dir_mtimes)


def plan_many_small(seed: int, files: int, dirs: int, depth: int = 6,
                    max_size: int = 8 * KIB) -> TreePlan:
  rng = random.Random(seed ^ 0x5EED)
  sizes = [rng.randint(0, max_size) for _ in range(files)]
  title = f"many small ({files:,} files, 0-{max_size // KIB} KiB, {dirs:,} folders)"
  return _plan("small", title, seed, dirs, depth, sizes)


def plan_few_large(seed: int, files: int, size: int) -> TreePlan:
  title = f"few large ({files} x {size // MIB} MiB)"
  return _plan("large", title, seed, 0, 0, [size] * files)


def plan_mixed(seed: int, files: int, dirs: int, depth: int = 4, min_size: int = 100,
               max_size: int = 2 * MIB) -> TreePlan:
  """Sizes spread evenly on a log scale, as in real trees: many small, a few big."""
  rng = random.Random(seed ^ 0x5EED)
  low, high = math.log(min_size), math.log(max_size)
  sizes = [int(math.exp(rng.uniform(low, high))) for _ in range(files)]
  title = f"mixed ({files:,} files, {min_size} B-{max_size // MIB} MiB)"
  return _plan("mixed", title, seed, dirs, depth, sizes)


class _Data:
  """Hands out reproducible pseudo-random bytes as views into one block."""

  def __init__(self, seed: int, block_size: int):
    self._rng = random.Random(seed)
    self._block = memoryview(self._rng.randbytes(block_size))

  def chunks(self, size: int):
    while size > 0:
      length = min(size, WRITE_CHUNK, len(self._block))
      start = self._rng.randrange(len(self._block) - length + 1)
      yield self._block[start:start + length]
      size -= length


def _write_all(fd: int, data: memoryview) -> None:
  while data:
    data = data[os.write(fd, data):]


def write_tree(plan: TreePlan, root: str) -> None:
  """Writes the planned tree under root (which must not exist yet)."""
  largest = max((size for _, size in plan.files), default=0)
  data = _Data(plan.seed, max(64 * KIB, min(RANDOM_BLOCK_SIZE, 2 * largest)))
  os.mkdir(root)
  for path in plan.dirs[1:]:
    os.mkdir(os.path.join(root, path), 0o755)
  folder, folder_fd = None, -1
  try:
    for (path, size), mtime in zip(plan.files, plan.mtimes_ns):
      parent, name = os.path.split(path)
      if parent != folder:
        if folder_fd >= 0:
          os.close(folder_fd)
        folder_fd = os.open(os.path.join(root, parent), os.O_RDONLY | os.O_DIRECTORY)
        folder = parent
      fd = os.open(name, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644, dir_fd=folder_fd)
      try:
        for chunk in data.chunks(size):
          _write_all(fd, chunk)
      finally:
        os.close(fd)
      os.utime(name, ns=(mtime, mtime), dir_fd=folder_fd)
  finally:
    if folder_fd >= 0:
      os.close(folder_fd)
  # Children before parents: creating an entry changes its folder's time.
  for path, mtime in reversed(list(zip(plan.dirs, plan.dir_mtimes_ns))):
    os.utime(os.path.join(root, path), ns=(mtime, mtime))


def write_empty_groups(plan: EmptyTreePlan, root: str, first_group: int, groups: int) -> None:
  """Adds groups first_group.. first_group+groups-1 of empty files under root.

  mknod makes an empty file in one system call (open and close take two), which
  keeps a million files to a few seconds.
  """
  os.makedirs(root, exist_ok=True)
  for group in range(first_group, first_group + groups):
    group_path = os.path.join(root, f"g{group:02d}")
    os.mkdir(group_path)
    for index in range(plan.dirs_per_group):
      folder = os.path.join(group_path, f"d{index:03d}")
      os.mkdir(folder)
      fd = os.open(folder, os.O_RDONLY | os.O_DIRECTORY)
      try:
        for file_index in range(plan.files_per_dir):
          os.mknod(f"f{file_index:04d}", 0o644 | stat.S_IFREG, dir_fd=fd)
      finally:
        os.close(fd)


def touch(root: str, paths: list, mtime_ns: int) -> None:
  """Gives the listed files a new modification time (their data stay as they are)."""
  for path in paths:
    os.utime(os.path.join(root, path), ns=(mtime_ns, mtime_ns))
