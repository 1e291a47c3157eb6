#!/usr/bin/python3
"""Runs one group of end-to-end cases of the xcopy stand-in.

    xcopy_e2e.py XCOPY QMR GROUP

Exits 0 when every case passed, 1 when any failed (each difference is printed),
77 when the group cannot run here (CTest reports it as skipped)."""

import os
import sys

import harness
from cases_copy import fixed_line, reruns
from cases_errors import errors
from cases_filesystems import coarse_times, full_disk, shared_blocks
from cases_interrupts import interrupts
from cases_progress import progress
from cases_prompts import prompts
from cases_qmr import through_qmr
from cases_safety import safety
from cases_switches import switches
from cases_threads import threads

GROUPS = {
    "fixed_line": fixed_line,
    "reruns": reruns,
    "switches": switches,
    "errors": errors,
    "safety": safety,
    "interrupts": interrupts,
    "full_disk": full_disk,
    "coarse_times": coarse_times,
    "shared_blocks": shared_blocks,
    "prompts": prompts,
    "through_qmr": through_qmr,
    "threads": threads,
    "progress": progress,
}


def main():
    if len(sys.argv) != 4 or sys.argv[3] not in GROUPS:
        print(f"usage: {sys.argv[0]} XCOPY QMR {{{','.join(GROUPS)}}}", file=sys.stderr)
        return 2
    # The expected permission bits of what the cases create assume this mask.
    os.umask(0o022)
    # The cases run the programs from their own temporary folders.
    harness.programs["xcopy"] = os.path.abspath(sys.argv[1])
    harness.programs["qmr"] = os.path.abspath(sys.argv[2])
    try:
        checks = GROUPS[sys.argv[3]]()
    except harness.Skip as why:
        print(f"skipped: {why}")
        return harness.SKIPPED
    for failure in checks.failures:
        print(f"FAILED {failure}")
    return 1 if checks.failures else 0


if __name__ == "__main__":
    sys.exit(main())
