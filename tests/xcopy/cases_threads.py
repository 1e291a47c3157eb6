"""The number of copying threads changes nothing a user can see. On a tree with
errors of every kind among enough files to fill the copier's window of work in
flight, and large files that finish long after the small ones beside them, the
output (each stream alone and both merged into one), the exit code and the
target afterwards are the same for 1, 2 and 8 threads: with /c, where the run
goes on after each error, and without it, where the first error ends the run."""

import os
import random
import stat
import subprocess

from harness import (Checks, command, environment, give_to_nobody, is_root, scratch, snapshot,
                     temp_files, write)

THREADS = ["1", "2", "8"]
# No /r, so that a read-only target file is an error.
SWITCHES = ["/s", "/e", "/d", "/h", "/i", "/y"]
OLD_NS = 1_500_000_000_000_000_000
NEW_NS = 1_700_000_000_000_000_000


def make_trees(top):
    """SOURCE with 2,000 files in 25 folders (more than the copier keeps in flight)
    and an older copy of part of it as TARGET."""
    rng = random.Random(5)
    src, old = os.path.join(top, "src"), os.path.join(top, "old")
    for folder in range(25):
        for index in range(80):
            relative = os.path.join(f"d{folder:02}", f"f{index:03}.bin")
            # Some files are large, so that small files after them finish first.
            size = 2_000_000 if index % 37 == 5 and folder % 5 == 0 else rng.randrange(0, 3000)
            write(os.path.join(src, relative), rng.randbytes(size), 0o644, NEW_NS + index)
            if index % 3 == 0:  # up to date in the target already
                write(os.path.join(old, relative), b"", 0o644, NEW_NS + index + 5_000_000_000)
            elif index % 3 == 1:  # an older copy, replaced
                write(os.path.join(old, relative), b"old", 0o644, OLD_NS)
    # Errors spread over the walk, each of a different kind.
    os.chmod(os.path.join(src, "d03", "f010.bin"), 0o000)  # unreadable source file
    os.symlink("missing", os.path.join(src, "d07", "f050-dangling"))
    os.mkfifo(os.path.join(src, "d09", "f020-fifo"))  # skipped, not an error
    write(os.path.join(old, "d12", "f041.bin", "kept.txt"), b"a folder where a file goes")
    os.chmod(os.path.join(old, "d15", "f061.bin"), 0o444)  # read-only target file
    write(os.path.join(src, "d18", "sub", "inner.txt"), b"inner", 0o644, NEW_NS)
    write(os.path.join(old, "d18", "sub"), b"a file where a folder goes")
    os.symlink("..", os.path.join(src, "d21", "up"))  # a cycle
    os.makedirs(os.path.join(src, "d20", "unreadable"))
    os.chmod(os.path.join(src, "d20", "unreadable"), 0o000)
    give_to_nobody(src, old)
    if is_root():
        # A target folder of someone else's, closed to the copier.
        os.chown(os.path.join(old, "d22"), 0, 0)
    return src, old


def run_copier(top, target, threads, switches, merged):
    env = dict(environment(), QMR_XCOPY_THREADS=threads)
    done = subprocess.run(command(["src", target] + switches, as_nobody=True), cwd=top,
                          stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT if merged else subprocess.PIPE, env=env,
                          timeout=120)
    return done.returncode, done.stdout, done.stderr


def lay_target(old, target):
    """A fresh copy of the old target: modes, times and, as root, owners kept."""
    subprocess.run(["rm", "-rf", target], check=True)
    subprocess.run(["cp", "-a", old, target], check=True)


def threads():
    checks = Checks()
    with scratch() as top:
        src, old = make_trees(top)
        target = os.path.join(top, "dst")
        for keep_going in (True, False):
            switches = SWITCHES + (["/c"] if keep_going else [])
            mode = "/c" if keep_going else "without /c"
            seen = {}
            for count in THREADS:
                lay_target(old, target)
                code, out, err = run_copier(top, "dst", count, switches, merged=False)
                copy = snapshot(target, times=True)
                leftovers = temp_files(target)
                lay_target(old, target)
                merged_code, merged, _ = run_copier(top, "dst", count, switches, merged=True)
                seen[count] = (code, out, err, copy, merged_code, merged)
                checks.equal(f"{mode}, {count} threads: no temporary files", leftovers, [])
            first = seen[THREADS[0]]
            # The case must show what it is meant to: errors, and with /c the
            # files after them.
            checks.true(f"{mode}: the run meets errors ({first[0]}, {first[2][:200]!r})",
                        first[0] == 4 and first[2].count(b"\n") >= (8 if keep_going else 1))
            checks.true(f"{mode}: files are copied ({first[1][-40:]!r})",
                        first[1].count(b"\n") > (1000 if keep_going else 10))
            for count in THREADS[1:]:
                got = seen[count]
                label = f"{mode}, {count} threads against 1"
                checks.equal(f"{label}: exit code", got[0], first[0])
                checks.true(f"{label}: standard output differs", got[1] == first[1])
                checks.equal(f"{label}: standard error", got[2], first[2])
                checks.true(f"{label}: the target differs",
                            got[3] == first[3])
                checks.equal(f"{label}: merged exit code", got[4], first[4])
                checks.true(f"{label}: the merged stream differs", got[5] == first[5])
        # The unreadable folder must be readable again for the clean-up.
        os.chmod(os.path.join(src, "d20", "unreadable"), stat.S_IRWXU)
    return checks
