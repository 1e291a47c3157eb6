"""The fixed command line on a tree with every awkward kind of entry, and the
runs after it."""

import os
import stat

from harness import Checks, read, run, scratch, snapshot, write

FIXED = ["/s", "/c", "/d", "/e", "/h", "/i", "/r", "/y"]

# Distinct nanosecond times, so a copy that rounds or swaps them shows.
BASE_NS = 1_600_000_000_123_456_789


def when(i):
    return BASE_NS + i * 1_000_000_007


# (path, content or None for a folder, mode). Folders are listed before their contents.
TREE = [
    (b"-dash.txt", b"leading dash", 0o644),
    (b".hidden", b"hidden file", 0o644),
    (b"allbytes.bin", bytes(range(256)) * 16, 0o644),
    (b"bad\xffname.bin", b"not UTF-8", 0o644),
    (b"empty.dat", b"", 0o644),
    (b"new\nline.txt", b"newline in name", 0o644),
    (b"private.txt", b"owner only", 0o600),
    (b"ro.txt", b"read only", 0o444),
    (b"ro_exec.sh", b"#!/bin/sh\n", 0o555),
    (b"with blank.txt", b"blank", 0o640),
    (b".hdir", None, 0o700),
    (b".hdir/inner.txt", b"in a hidden folder", 0o644),
    (b"Zcap", None, 0o755),
    (b"Zcap/file.txt", b"capital folder", 0o644),
    (b"a", None, 0o755),
    (b"a/top.txt", b"top", 0o644),
    (b"a/b", None, 0o750),
    (b"a/b/c", None, 0o755),
    (b"a/b/c/deep.txt", b"deep", 0o644),
    (b"a/b/empty2", None, 0o755),
    (b"empty", None, 0o755),
    (b"rodir", None, 0o555),
    (b"rodir/inside.txt", b"in a read-only folder", 0o644),
]

# The files of each folder by byte order of their names, then its subfolders.
EXPECTED_LINES = [
    b"src/-dash.txt",
    b"src/.hidden",
    b"src/allbytes.bin",
    b"src/bad\xffname.bin",
    b"src/empty.dat",
    b"src/new\\x0aline.txt",
    b"src/private.txt",
    b"src/ro.txt",
    b"src/ro_exec.sh",
    b"src/with blank.txt",
    b"src/.hdir/inner.txt",
    b"src/Zcap/file.txt",
    b"src/a/top.txt",
    b"src/a/b/c/deep.txt",
    b"src/rodir/inside.txt",
    b"15 File(s) copied",
]


def make_tree(top):
    os.makedirs(top)
    for path, content, _ in TREE:
        full = os.path.join(top.encode(), path)
        if content is None:
            os.mkdir(full)
        else:
            write(full, content)
    # Modes and times last, deepest first, so filling a folder does not change them.
    for i, (path, content, mode) in reversed(list(enumerate(TREE))):
        full = os.path.join(top.encode(), path)
        os.chmod(full, mode)
        os.utime(full, ns=(when(i), when(i)))


def expected_copy(source):
    """What the copy of `source` must be: the same, except that files gain the owner's write bit."""
    wanted = {}
    for path, (kind, mode, content, mtime) in snapshot(source, times=True).items():
        if kind == "file":
            mode |= stat.S_IWUSR
        wanted[path] = (kind, mode, content, mtime)
    return wanted


def fixed_line():
    checks = Checks()
    with scratch() as top:
        make_tree(os.path.join(top, "src"))
        result = run(["src", "dst"] + FIXED, top)
        checks.equal("exit code", result.rc, 0)
        checks.equal("output lines", result.lines, EXPECTED_LINES)
        checks.equal("error lines", result.errors, [])
        checks.equal("the copy", snapshot(os.path.join(top, "dst"), times=True),
                     expected_copy(os.path.join(top, "src")))
    return checks


def reruns():
    checks = Checks()
    with scratch() as top:
        src, dst = os.path.join(top, "src"), os.path.join(top, "dst")
        make_tree(src)
        run(["src", "dst"] + FIXED, top)
        before = snapshot(dst, times=True)

        again = run(["src", "dst"] + FIXED, top)
        checks.equal("second run: exit code", again.rc, 0)
        checks.equal("second run: output", again.lines, [b"0 File(s) copied"])
        checks.equal("second run: target untouched, folder times included",
                     snapshot(dst, times=True), before)

        touched = os.path.join(src, "a", "top.txt")
        os.utime(touched, ns=(when(100), when(100)))
        after_touch = run(["src", "dst"] + FIXED, top)
        checks.equal("after a touch: output", after_touch.lines,
                     [b"src/a/top.txt", b"1 File(s) copied"])
        checks.equal("after a touch: the copy", snapshot(dst, times=True), expected_copy(src))

        # A target file newer than its source is left alone, content and all.
        newer = os.path.join(dst, "with blank.txt")
        write(newer, b"edited in the target", 0o644, when(200))
        left_alone = run(["src", "dst"] + FIXED, top)
        checks.equal("newer target: output", left_alone.lines, [b"0 File(s) copied"])
        checks.equal("newer target: content", read(newer), b"edited in the target")

        # A changed source file (new content, later time) is copied again.
        changed = os.path.join(src, "empty.dat")
        write(changed, b"no longer empty", None, when(300))
        recopy = run(["src", "dst"] + FIXED, top)
        checks.equal("changed source: output", recopy.lines,
                     [b"src/empty.dat", b"1 File(s) copied"])
        checks.equal("changed source: content", read(os.path.join(dst, "empty.dat")),
                     b"no longer empty")
    return checks
