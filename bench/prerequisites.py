"""What the benchmark needs before it starts: the copier, the peers and GNU time,
and room on the disk. Each check either passes or says what to do."""

import os
import shutil
import subprocess
import sys

import scratch as scratch_dir
import tools

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_COPIER = os.path.join("build", "release", "libexec", "qmr", "xcopy")
# Left free on the disk beyond what the run needs, so others on it keep working.
RESERVE = {False: 1 << 30, True: 64 << 20}


class CannotRun(Exception):
  """The benchmark cannot start; the message says why and what to do."""


class Skipped(Exception):
  """The smoke run cannot run here (a tool is missing): a skip, not a pass."""


def build_copier() -> str:
  """Builds the copier in the release tree (a no-op when it is up to date) so that a
  benchmark never measures stale code."""
  build = os.path.join(REPO, "build", "release")
  log = os.path.join(REPO, "build", "bench-build.log")
  os.makedirs(os.path.dirname(log), exist_ok=True)
  print("bench: building the copier", file=sys.stderr, flush=True)
  with open(log, "w") as out:
    steps = [[os.path.join(REPO, "scripts", "install-deps"), "build"]]
    if not os.path.exists(os.path.join(build, "build.ninja")):
      steps.append(["cmake", "--preset", "release"])
    steps.append(["cmake", "--build", build, "--target", "xcopy"])
    for step in steps:
      if subprocess.run(step, cwd=REPO, stdout=out, stderr=subprocess.STDOUT).returncode != 0:
        raise CannotRun(f"building the copier failed (log: {log}); pass --copier PATH to"
                        " measure a copier built elsewhere")
  return os.path.join(REPO, DEFAULT_COPIER)


def find_copier(args) -> str:
  path = os.path.abspath(args.copier) if args.copier else build_copier()
  if not (os.path.isfile(path) and os.access(path, os.X_OK)):
    raise CannotRun(f"no copier at {path}: build it or pass --copier PATH")
  return path


def ensure_tools(smoke: bool) -> None:
  """cp and dd come with every Debian; rsync and GNU time are installed when missing
  (as root), except by --smoke, which leaves installing to scripts/install-deps."""
  for name in ("cp", "dd", "rm", "stat"):
    if not shutil.which(name):
      raise CannotRun(f"{name} is missing")
  missing = [package for package, path in (("rsync", shutil.which("rsync")),
                                           ("time", os.access(tools.TIME, os.X_OK)))
             if not path]
  if not missing:
    return
  if smoke:
    raise Skipped(f"missing {' '.join(missing)} (scripts/install-deps test installs them)")
  if os.geteuid() != 0 or not shutil.which("apt-get"):
    raise CannotRun(f"missing {' '.join(missing)}: install them (apt-get install"
                    f" {' '.join(missing)}) and run again")
  print(f"bench: installing {' '.join(missing)}", file=sys.stderr, flush=True)
  env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
  quiet = {"stdout": subprocess.DEVNULL, "env": env}
  subprocess.run(["apt-get", "update", "-qq"], check=False, **quiet)
  result = subprocess.run(["apt-get", "install", "-y", "-q", "--no-install-recommends",
                           "-o", "DPkg::Lock::Timeout=600", *missing], **quiet)
  if result.returncode != 0:
    raise CannotRun(f"installing {' '.join(missing)} failed: install them and run again")


def check_space(args, base, tree_plans, empty_plans) -> bool:
  """Refuses to start without room for the largest phase (its source and one copy);
  returns whether the million-file tree fits as well (its lack only skips it)."""
  free, inodes = scratch_dir.free_space(base)
  reserve = RESERVE[args.smoke]
  needs = [2 * plan.disk_bytes() for key, plan in tree_plans.items() if key in args.only]
  if "memory" in args.only:
    needs.append(2 * empty_plans[0].disk_bytes())
  need = max(needs, default=0) + reserve
  if free < need:
    raise CannotRun(f"{base} has {free / 2**30:.1f} GiB free; this run needs {need / 2**30:.1f}"
                    f" GiB (with {reserve / 2**30:.2f} GiB left over): free some space or pass"
                    " --scratch on another disk")
  print(f"bench: disk: needs up to {(need - reserve) / 2**30:.1f} GiB at a time,"
        f" {free / 2**30:.1f} GiB free in {base}", file=sys.stderr)
  if "memory" not in args.only or args.no_million:
    return False
  larger = empty_plans[1]
  need_inodes = 2 * (larger.file_count + larger.dir_count) + 100_000
  if inodes < need_inodes or free < 2 * larger.disk_bytes() + reserve:
    print(f"bench: skipping the {larger.title} memory case: it needs {need_inodes:,} free inodes"
          f" and {2 * larger.disk_bytes() / 2**20:,.0f} MiB; {base} has {inodes:,} inodes and"
          f" {free / 2**20:,.0f} MiB", file=sys.stderr)
    return False
  return True
