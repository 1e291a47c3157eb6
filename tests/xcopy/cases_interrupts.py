"""A run ended in the middle of a large file: by SIGKILL (the next run cleans up
and finishes), and by SIGINT, SIGTERM or SIGHUP (exit 2, no temporary files).
The run is frozen with SIGSTOP once its temporary file has data but not all of
it, so the signal arrives mid-file on any machine, however fast."""

import filecmp
import os
import signal
import subprocess
import time

from harness import Checks, command, environment, read, run, scratch, temp_files, write

FIXED = ["/s", "/c", "/d", "/e", "/h", "/i", "/r", "/y"]
BIG = 256 * 1024 * 1024  # random, so nothing can make its copy cheap
OLD_NS = 1_100_000_000_000_000_000


def make_big(path):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        for _ in range(BIG // (1 << 20)):
            f.write(os.urandom(1 << 20))


def freeze_mid_file(top, target_folder, reset, attempts=5):
    """Starts the fixed command line and freezes it while its temporary file
    holds part of the big file. Returns the process, or None if every attempt
    finished the copy before it could be caught (`reset` puts the target back
    as it was before each attempt)."""
    for _ in range(attempts):
        reset()
        process = subprocess.Popen(command(["src", "dst"] + FIXED), cwd=top,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, env=environment())
        deadline = time.monotonic() + 30
        while process.poll() is None and time.monotonic() < deadline:
            partial = [p for p in temp_files(target_folder)
                       if 0 < os.stat(p).st_size < BIG] if os.path.isdir(target_folder) else []
            if partial:
                process.send_signal(signal.SIGSTOP)
                if 0 < os.stat(partial[0]).st_size < BIG:
                    return process
                process.send_signal(signal.SIGCONT)
        process.communicate()
    return None


def killed(checks, with_old_file):
    label = "SIGKILL " + ("over an old copy" if with_old_file else "into an empty target")
    with scratch() as top:
        make_big(os.path.join(top, "src", "big.bin"))
        write(os.path.join(top, "src", "small.txt"), b"small")
        target = os.path.join(top, "dst")
        big = os.path.join(target, "big.bin")

        def reset():
            if with_old_file:
                write(big, b"old content", 0o644, OLD_NS)
            elif os.path.exists(big):
                os.remove(big)

        process = freeze_mid_file(top, target, reset)
        if process is None:
            checks.true(f"{label}: the copy could not be caught mid-file", False)
            return
        process.send_signal(signal.SIGKILL)
        process.communicate()
        if with_old_file:
            checks.equal(f"{label}: the final name keeps the old file", read(big), b"old content")
            checks.equal(f"{label}: with the old time", os.stat(big).st_mtime_ns, OLD_NS)
        else:
            checks.true(f"{label}: no file under the final name", not os.path.exists(big))
        checks.equal(f"{label}: the killed run leaves its temporary file", len(temp_files(target)), 1)

        again = run(["src", "dst"] + FIXED, top)
        checks.equal(f"{label}: next run's exit code", again.rc, 0)
        checks.true(f"{label}: next run copies the file",
                    filecmp.cmp(os.path.join(top, "src", "big.bin"), big, shallow=False))
        checks.equal(f"{label}: next run removes the leftover", temp_files(target), [])


INTERRUPTS = [("SIGINT", signal.SIGINT), ("SIGTERM", signal.SIGTERM), ("SIGHUP", signal.SIGHUP)]


def interrupted(checks):
    with scratch() as top:
        make_big(os.path.join(top, "src", "big.bin"))
        target = os.path.join(top, "dst")
        big = os.path.join(target, "big.bin")
        for name, number in INTERRUPTS:
            process = freeze_mid_file(top, target,
                                      lambda: write(big, b"old content", 0o644, OLD_NS))
            if process is None:
                checks.true(f"{name}: the copy could not be caught mid-file", False)
                continue
            process.send_signal(number)
            process.send_signal(signal.SIGCONT)
            process.communicate(timeout=30)
            checks.equal(f"{name}: exit code", process.returncode, 2)
            checks.equal(f"{name}: no temporary files", temp_files(target), [])
            checks.equal(f"{name}: the final name keeps the old file", read(big), b"old content")


def interrupts():
    checks = Checks()
    killed(checks, with_old_file=True)
    killed(checks, with_old_file=False)
    interrupted(checks)
    return checks
