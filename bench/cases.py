"""The measured cases: full copy, unchanged re-run, touched re-run and peak memory.

Every timed run starts from the same state: the previous target deleted and the
disk synced (both untimed), the source freshly read so it is in the page cache.
The tools take turns, the order rotating each round, so that a slow spell of this
shared machine falls on all of them alike. Every run's copy is checked (names,
kinds, sizes, times, permission bits) and the first counted run of each tool in
each case also has its bytes compared.
"""

import dataclasses
import sys
import time

import compare
import scratch as scratch_dir
import tools as tool_kinds
import trees

# Touched files get times past every generated one, a whole second apart each run:
# rsync compares times in whole seconds, and it must see every touch.
TOUCH_BASE_NS = trees.TIME_BASE_NS + trees.TIME_SPAN_NS + 250_000_000
TOUCH_FRACTION = 0.01
TOUCH_SEED = 1


class CopyDiffers(Exception):
  """A tool's copy is not a faithful copy of the source."""


@dataclasses.dataclass
class Measured:
  """The counted samples of one case on one tree, per tool."""

  case: str
  tree: str  # the plan's key: small, large, mixed, empty
  samples: dict  # tool name -> [Sample]
  tree_bytes: int = 0


class Bench:
  """Runs the cases and keeps what they measured."""

  def __init__(self, scratch, copier, env, runs, warmups):
    self.scratch = scratch
    self.copier = copier
    self.env = env
    self.runs = runs
    self.warmups = warmups
    self.results = []
    self.disk_peak = 0
    self._started = time.monotonic()

  def log(self, text: str) -> None:
    elapsed = time.monotonic() - self._started
    print(f"[{elapsed:7.1f} s] {text}", file=sys.stderr, flush=True)

  def note_disk(self) -> None:
    """Samples the space the benchmark's trees take; called when they are largest."""
    self.disk_peak = max(self.disk_peak, scratch_dir.tree_bytes(self.scratch.path))

  def _check(self, problems: list, what: str) -> None:
    if problems:
      raise CopyDiffers(f"{what}:\n  " + "\n  ".join(problems))

  def _rounds(self, case: str, tree: str, tools: list, one_run) -> dict:
    """warmups + runs rounds of every tool; one_run(tool, round) does one timed run."""
    samples = {tool.name: [] for tool in tools}
    for round_index in range(-self.warmups, self.runs):
      shift = round_index % len(tools)
      for tool in tools[shift:] + tools[:shift]:
        sample = one_run(tool, round_index)
        label = "warm-up" if round_index < 0 else f"run {round_index + 1}"
        extra = f", on disk {sample.durable_seconds:.3f} s" if sample.durable_seconds else ""
        self.log(f"{case} / {tree} / {tool.name} {label}: {sample.seconds:.3f} s{extra},"
                 f" {sample.max_rss_kib / 1024:.1f} MiB")
        if round_index >= 0:
          samples[tool.name].append(sample)
    return samples

  def generate(self, plan: trees.TreePlan) -> str:
    source = self.scratch.join(f"source-{plan.key}")
    self.log(f"writing {plan.title}: {len(plan.files):,} files, {plan.data_bytes / 2**20:,.0f} MiB")
    trees.write_tree(plan, source)
    scratch_dir.syncfs(source)
    return source

  def full_copy(self, plan: trees.TreePlan, source: str, tools: list, on_disk: bool) -> None:
    """Copies source into a target that does not exist yet.

    With on_disk, each run also flushes the copy (timed, separately) and measures
    the space it took, for the disk-rate and block-sharing goals.
    """
    target = self.scratch.join("target")

    def one_run(tool, round_index):
      scratch_dir.remove(target)
      scratch_dir.syncfs(self.scratch.path)
      scratch_dir.warm(source)
      used_before = scratch_dir.used_bytes(self.scratch.path)
      sample = tool.run(source, target, self.env)
      if on_disk:
        start = time.perf_counter()
        scratch_dir.fsync_files(target)
        sample.durable_seconds = sample.seconds + time.perf_counter() - start
      if on_disk:
        sample.space_bytes = scratch_dir.used_bytes(self.scratch.path) - used_before
      if round_index == 0:
        self.note_disk()
      keeps_times = not isinstance(tool, tool_kinds.DiskWriter)
      self._check(compare.compare_trees(source, target, round_index == 0, keeps_times),
                  f"{tool.name} did not copy {plan.title} faithfully")
      return sample

    samples = self._rounds("full copy", plan.key, tools, one_run)
    scratch_dir.remove(target)
    self.results.append(Measured("full copy", plan.key, samples, plan.data_bytes))

  def reruns(self, plan: trees.TreePlan, source: str, tools: list) -> None:
    """Copies again into an up-to-date target: first with nothing changed, then with
    1% of the files given a newer time. Every tool works on the same target."""
    target = self.scratch.join("target")
    scratch_dir.remove(target)
    tool_kinds.CP.run(source, target, self.env)
    self._check(compare.compare_trees(source, target, True), "cp -a made a bad starting target")
    self.note_disk()

    def prepare():
      scratch_dir.syncfs(self.scratch.path)
      scratch_dir.warm(source)
      scratch_dir.warm(target, read_data=False)

    def unchanged(tool, round_index):
      prepare()
      sample = tool.run(source, target, self.env)
      self._check(compare.compare_trees(source, target, round_index == 0),
                  f"{tool.name} spoilt an up-to-date copy of {plan.title}")
      return sample

    samples = self._rounds("re-run, unchanged", plan.key, tools, unchanged)
    self.results.append(Measured("re-run, unchanged", plan.key, samples))

    touched = plan.sample_files(TOUCH_FRACTION, TOUCH_SEED)
    stamps = iter(range(1, 1 << 30))

    def touched_run(tool, round_index):
      trees.touch(source, touched, TOUCH_BASE_NS + next(stamps) * 1_000_000_000)
      prepare()
      sample = tool.run(source, target, self.env)
      what = f"{tool.name} did not bring the touched files of {plan.title} up to date"
      self._check(compare.compare_files(source, target, touched), what)
      if round_index == 0:
        self._check(compare.compare_trees(source, target, True), what)
      return sample

    samples = self._rounds("re-run, 1% touched", plan.key, tools, touched_run)
    self.results.append(Measured("re-run, 1% touched", plan.key, samples))
    scratch_dir.remove(target)

  def memory(self, smaller: trees.EmptyTreePlan, larger) -> None:
    """Peak memory of the copier on trees of empty files of the same depth and
    width, the larger (when given) with ten times the files of the smaller."""
    source, target = self.scratch.join("source-empty"), self.scratch.join("target")
    written = 0
    for plan in [smaller] + ([larger] if larger else []):
      self.log(f"writing {plan.file_count:,} empty files")
      trees.write_empty_groups(plan, source, written, plan.groups - written)
      written = plan.groups
      scratch_dir.remove(target)
      scratch_dir.syncfs(self.scratch.path)
      scratch_dir.warm(source, read_data=False)
      sample = self.copier.run(source, target, self.env)
      self.log(f"peak memory / {plan.file_count:,} empty files / copier: {sample.seconds:.1f} s,"
               f" {sample.max_rss_kib / 1024:.1f} MiB")
      self.note_disk()
      self._check(compare.compare_trees(source, target, False),
                  f"copier did not copy {plan.file_count:,} empty files faithfully")
      self.results.append(Measured("peak memory", f"empty-{plan.file_count}", {"copier": [sample]}))
      scratch_dir.remove(target)
    scratch_dir.remove(source)
