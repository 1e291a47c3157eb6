"""The program itself hands the copy to this stand-in: `qmr SRC DST` copies the
tree with the fixed command line, and a second run copies nothing."""

import os
import subprocess

from cases_copy import EXPECTED_LINES, expected_copy, make_tree
from harness import Checks, environment, programs, scratch, snapshot


def run_qmr(top):
    done = subprocess.run([programs["qmr"], "src", "dst"], cwd=top, stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=60, env=environment())
    # The program ends its own lines in CR LF; the copier's lines end in LF.
    return done.returncode, [line.rstrip(b"\r") for line in done.stdout.split(b"\n")]


def copier_lines(lines, first):
    """The copier's part of the program's output: from `first` to the summary."""
    if first not in lines:
        return []
    start = lines.index(first)
    end = next((i for i in range(start, len(lines)) if lines[i].endswith(b"File(s) copied")),
               len(lines) - 1)
    return lines[start:end + 1]


def through_qmr():
    checks = Checks()
    with scratch() as top:
        make_tree(os.path.join(top, "src"))
        os.mkdir(os.path.join(top, "dst"))
        code, lines = run_qmr(top)
        checks.equal("first run: exit code", code, 0)
        checks.equal("first run: the copier's lines", copier_lines(lines, EXPECTED_LINES[0]),
                     EXPECTED_LINES)
        checks.equal("first run: the copy", snapshot(os.path.join(top, "dst"), times=True),
                     expected_copy(os.path.join(top, "src")))
        code, lines = run_qmr(top)
        checks.equal("second run: exit code", code, 0)
        checks.equal("second run copies nothing", copier_lines(lines, b"0 File(s) copied"),
                     [b"0 File(s) copied"])
        checks.equal("second run: the copy is unchanged", snapshot(os.path.join(top, "dst")),
                     {k: v[:3] for k, v in expected_copy(os.path.join(top, "src")).items()})
    return checks
