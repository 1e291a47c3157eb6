#!/usr/bin/env python3
"""Kills the copier with SIGKILL at random moments and checks what it leaves.

Each iteration lays an older copy of a mixed tree as the target (hard links to
a pristine copy, which the copier must never write through, since it replaces
files by renaming), starts the copier over it, kills it after a random delay
within the time a whole run takes, and checks that no file under its final
name is partial or newer-looking than its source and that the source is
untouched. Temporary files may be left by a kill; every few iterations a
clean run over the killed target must complete the copy and leave none.
"""

import argparse
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fault"))
from run_faults import SWITCHES, snapshot  # noqa: E402


def make_trees(base, rng):
    source = os.path.join(base, "source")
    old = os.path.join(base, "old")
    old_time = 1_600_000_000_000_000_000
    new_time = 1_700_000_000_987_654_321
    for index in range(120):
        relative = os.path.join(f"d{index % 7}", f"s{index % 3}", f"f{index:03}.bin")
        # Sizes from 100 bytes to 2 MiB, spread on a log scale.
        size = int(100 * (2 ** (rng.random() * 14.4)))
        for root, stamp, fill in ((old, old_time, b"o"), (source, new_time, None)):
            if root == old and index % 4 == 0:
                continue  # files the old copy does not have yet
            path = os.path.join(root, relative)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as handle:
                handle.write(fill * (size // 2) if fill else rng.randbytes(size))
            os.utime(path, ns=(stamp, stamp))
    return source, old


# Digests of the target's files, which the copier only ever replaces by renaming.
DIGESTS = {}


def problems_in(target, old_state, source_state, allow_unknown):
    found = problems_in_snapshot(snapshot(target, DIGESTS), old_state, source_state, allow_unknown)
    if found:
        # Read everything again: a digest remembered for a reused inode must
        # not pass for a fault of the copier.
        DIGESTS.clear()
        found = problems_in_snapshot(snapshot(target), old_state, source_state, allow_unknown)
    return found


def problems_in_snapshot(state, old_state, source_state, allow_unknown):
    problems = []
    for relative, (kind, digest, mtime, _) in state.items():
        if kind == "dir":
            continue
        versions = [s[relative] for s in (old_state, source_state) if relative in s]
        if not versions:
            if not allow_unknown:
                problems.append(f"{relative} left behind")
        elif not any(digest == v[1] and mtime == v[2] for v in versions):
            problems.append(f"{relative} is partial or newer-looking")
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--xcopy", required=True)
    parser.add_argument("--iterations", type=int, default=200)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--threads", help="QMR_XCOPY_THREADS for the copier (default: unset)")
    arguments = parser.parse_args()
    rng = random.Random(arguments.seed)

    base = tempfile.mkdtemp(prefix="qmr-kills-")
    try:
        source, old = make_trees(base, rng)
        source_state, old_state = snapshot(source), snapshot(old)
        target = os.path.join(base, "target")
        environment = dict(os.environ)
        if arguments.threads:
            environment["QMR_XCOPY_THREADS"] = arguments.threads
        quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL, env=environment)

        def lay_old_copy():
            shutil.rmtree(target, ignore_errors=True)
            subprocess.run(["cp", "-al", old, target], check=True)

        lay_old_copy()
        started = time.monotonic()
        subprocess.run([arguments.xcopy, source, target] + SWITCHES, check=True, **quiet)
        whole_run = time.monotonic() - started

        problems = []
        kills = 0
        for iteration in range(arguments.iterations):
            lay_old_copy()
            copier = subprocess.Popen([arguments.xcopy, source, target] + SWITCHES, **quiet)
            time.sleep(rng.random() * whole_run)
            copier.send_signal(signal.SIGKILL)
            copier.wait()
            kills += copier.returncode == -signal.SIGKILL
            found = problems_in(target, old_state, source_state, allow_unknown=True)
            problems += [f"kill {iteration}: {p}" for p in found]
            if iteration % 10 == 9:
                rerun = subprocess.run([arguments.xcopy, source, target] + SWITCHES, **quiet)
                found = problems_in(target, old_state, source_state, allow_unknown=False)
                incomplete = [k for k, v in source_state.items()
                              if v[0] == "file" and snapshot(target, DIGESTS).get(k, ())[:3] != v[:3]]
                if rerun.returncode != 0 or found or incomplete:
                    problems.append(f"re-run after kill {iteration}: exit {rerun.returncode}, "
                                    f"{found[:3]}, {len(incomplete)} files not copied")
        if snapshot(source) != source_state:
            problems.append("the source changed")
        if snapshot(old) != old_state:
            problems.append("the copier wrote through a target file instead of replacing it")
        print(f"{arguments.iterations} iterations, {kills} killed mid-run, "
              f"a whole run takes {whole_run * 1000:.0f} ms, {len(problems)} problems")
        for problem in problems[:40]:
            print("  " + problem)
        return 1 if problems else 0
    finally:
        shutil.rmtree(base, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
