"""The benchmark's table: medians per tool, the copier's ratio to its peer, the goal."""

import dataclasses
import statistics

from tools import DISK_FLUSH

MIB = 1 << 20
MEMORY_LIMIT_MIB = 64
# Peak memory on ten times the files may grow by this much before it counts as growing.
MEMORY_GROWTH_LIMIT = 1.10
# A copy that shares blocks takes at most this share of the tree's size on the disk.
SHARED_SPACE_LIMIT = 0.01
TOOL_COLUMNS = ["copier", "cp -a", "rsync -a", "cp -au", DISK_FLUSH]


@dataclasses.dataclass
class TimeGoal:
  """The copier's median must be at most limit times the peer's median."""

  case: str
  tree: str
  peer: str
  limit: float
  label: str  # the goal as the table shows it
  durable: bool = False  # compare copy-plus-fsync times instead of copy times


TIME_GOALS = [
    TimeGoal("full copy", "small", "cp -a", 0.6, "<= 0.60 x cp -a"),
    TimeGoal("full copy", "large", "cp -a", 1.0, "<= 1.00 x cp -a"),
    TimeGoal("full copy", "large", DISK_FLUSH, 1 / 0.9, ">= 90% of disk rate", durable=True),
    TimeGoal("full copy", "mixed", "cp -a", 0.7, "<= 0.70 x cp -a"),
    TimeGoal("re-run, unchanged", "small", "rsync -a", 0.4, "<= 0.40 x rsync -a"),
    TimeGoal("re-run, 1% touched", "small", "rsync -a", 0.4, "<= 0.40 x rsync -a"),
]


def _seconds(value: float) -> str:
  return f"{value:.3f} s" if value < 10 else f"{value:.2f} s"


def _median(samples: list, durable: bool) -> float:
  return statistics.median(s.durable_seconds if durable else s.seconds for s in samples)


def _find(results: list, case: str, tree: str):
  return next((r for r in results if r.case == case and r.tree == tree), None)


def _yes(met: bool) -> str:
  return "yes" if met else "NO"


def goal_rows(results: list, trees: dict, shares_blocks: bool) -> list:
  """One row per goal whose case was run: case, tree, tool columns, ratio, goal, met."""
  rows = []
  for goal in TIME_GOALS:
    measured = _find(results, goal.case, goal.tree)
    if not measured or goal.peer not in measured.samples:
      continue
    # The disk's reference writes untimed; it has a time only until on disk.
    medians = {name: _median(s, goal.durable) for name, s in measured.samples.items()
               if goal.durable or name != DISK_FLUSH}
    ratio = medians["copier"] / medians[goal.peer]
    case = "copy until on disk" if goal.durable else goal.case
    columns = [_seconds(medians[name]) if name in medians else "" for name in TOOL_COLUMNS]
    rows.append([case, trees[goal.tree], *columns, f"{ratio:.2f}", goal.label,
                 _yes(ratio <= goal.limit)])
  large = _find(results, "full copy", "large")
  if large:
    # A change of the whole filesystem's usage: others' writes blur it, so never below 0.
    share = max(0.0, statistics.median(s.space_bytes for s in large.samples["copier"])
                / large.tree_bytes)
    if shares_blocks:
      rows.append(["blocks shared", trees["large"], f"{share:.3f} of tree", "", "", "", "",
                   f"{share:.3f}", f"<= {SHARED_SPACE_LIMIT} of tree", _yes(share <= SHARED_SPACE_LIMIT)])
    else:
      rows.append(["blocks shared", trees["large"], f"{share:.2f} of tree", "", "", "", "", "",
                   "O(1) data", "n/a: fs cannot"])
  # Memory trees are keyed empty-<number of files>; the smaller comes first.
  memory = sorted((r for r in results if r.case == "peak memory"),
                  key=lambda r: int(r.tree.split("-")[1]))
  for measured in memory:
    peak = measured.samples["copier"][0].max_rss_kib / 1024
    rows.append(["peak memory", trees[measured.tree], f"{peak:.1f} MiB", "", "", "", "", "",
                 f"< {MEMORY_LIMIT_MIB} MiB", _yes(peak < MEMORY_LIMIT_MIB)])
  if len(memory) == 2:
    small, large_tree = (m.samples["copier"][0].max_rss_kib for m in memory)
    growth = large_tree / small
    rows.append(["memory growth", f"{trees[memory[0].tree]} -> x10", f"{growth:.2f} x", "", "", "",
                 "", f"{growth:.2f}", f"<= {MEMORY_GROWTH_LIMIT:.2f} x", _yes(growth <= MEMORY_GROWTH_LIMIT)])
  return rows


def disk_rates(results: list) -> str:
  """The disk's own write rate beside the copier's, on the large files."""
  large = _find(results, "full copy", "large")
  if not large or DISK_FLUSH not in large.samples:
    return ""
  rate = lambda seconds: large.tree_bytes / seconds / 1e6
  disk = rate(_median(large.samples[DISK_FLUSH], True))
  on_disk = rate(_median(large.samples["copier"], True))
  cached = rate(_median(large.samples["copier"], False))
  return (f"disk write rate (flush of files already written): {disk:,.0f} MB/s; copier:"
          f" {on_disk:,.0f} MB/s until on disk ({100 * on_disk / disk:.0f}% of it),"
          f" {cached:,.0f} MB/s into the page cache")


def detail_rows(results: list, trees: dict) -> list:
  """Per case and tool: median, fastest and slowest run, CPU time, peak memory."""
  rows = []
  for measured in results:
    for name, samples in measured.samples.items():
      times = [s.seconds for s in samples]
      cpu = statistics.median(s.cpu_seconds for s in samples)
      untimed = name == DISK_FLUSH
      peak = max(s.max_rss_kib for s in samples) / 1024
      durable = (_seconds(_median(samples, True)) if any(s.durable_seconds for s in samples)
                 else "")
      spread = ([""] * 3 if untimed else
                [_seconds(statistics.median(times)), _seconds(min(times)), _seconds(max(times))])
      rows.append([measured.case, trees[measured.tree], name, str(len(samples)), *spread, durable,
                   "" if untimed else _seconds(cpu), f"{peak:.1f} MiB"])
  return rows


def table(header: list, rows: list) -> str:
  widths = [max(len(str(row[i])) for row in [header] + rows) for i in range(len(header))]
  lines = []
  for row in [header, ["-" * w for w in widths]] + rows:
    lines.append("  ".join(str(cell).ljust(w) for cell, w in zip(row, widths)).rstrip())
  return "\n".join(lines)


def render(results: list, trees: dict, shares_blocks: bool) -> str:
  goals = goal_rows(results, trees, shares_blocks)
  details = detail_rows(results, trees)
  parts = [
      table(["case", "tree", *TOOL_COLUMNS, "ratio", "goal", "met"], goals),
      "",
      "medians; ratio = copier / the goal's peer, measured in this run",
      disk_rates(results),
      "",
      table(["case", "tree", "tool", "runs", "median", "fastest", "slowest", "on disk",
             "cpu", "peak memory"], details),
  ]
  met = sum(1 for row in goals if row[-1] == "yes")
  judged = sum(1 for row in goals if row[-1] in ("yes", "NO"))
  parts += ["", f"goals met: {met} of {judged}"]
  return "\n".join(parts)
