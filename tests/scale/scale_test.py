#!/usr/bin/env python3
"""Trees at the edges of what a filesystem allows, copied with the program's
own switches:

- deep: a chain of directories with 255-byte names, far deeper than PATH_MAX,
  with a file at the bottom;
- wide: one directory of 100,000 entries, copied, then found up to date;
- sparse: a file that is mostly holes keeps its holes in the copy, where the
  filesystem has holes at all.

Usage: scale_test.py --xcopy PATH CASE
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

SWITCHES = ["/s", "/c", "/d", "/e", "/h", "/i", "/r", "/y"]
SKIP = 77


def copy(xcopy, source, target):
    return subprocess.run([xcopy, source, target] + SWITCHES, stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=600)


def summary(result):
    lines = result.stdout.decode(errors="replace").splitlines()
    return lines[-1] if lines else ""


def deep(xcopy, base):
    name = "d" * 255
    levels = 24  # 24 * 256 bytes: six times PATH_MAX
    source = os.path.join(base, "source")
    os.mkdir(source)
    fd = os.open(source, os.O_RDONLY | os.O_DIRECTORY)
    for _ in range(levels):
        os.mkdir(name, dir_fd=fd)
        child = os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
        os.close(fd)
        fd = child
    leaf = os.open("f" * 255, os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd)
    os.write(leaf, b"at the bottom\n")
    os.close(leaf)
    os.close(fd)

    target = os.path.join(base, "target")
    result = copy(xcopy, source, target)
    if result.returncode != 0 or summary(result) != "1 File(s) copied":
        return f"deep copy failed: {result.returncode} {result.stderr[-300:]!r}"
    fd = os.open(target, os.O_RDONLY | os.O_DIRECTORY)
    try:
        for level in range(levels):
            try:
                child = os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
            except OSError as error:
                return f"level {level + 1} missing in the copy: {error}"
            os.close(fd)
            fd = child
        leaf = os.open("f" * 255, os.O_RDONLY, dir_fd=fd)
        content = os.read(leaf, 100)
        os.close(leaf)
    finally:
        os.close(fd)
    if content != b"at the bottom\n":
        return f"the file at the bottom holds {content!r}"
    # Removing a tree this deep needs the same care; rmtree works by descriptors.
    return None


def wide(xcopy, base):
    count = 100_000
    source = os.path.join(base, "source")
    os.mkdir(source)
    fd = os.open(source, os.O_RDONLY | os.O_DIRECTORY)
    for index in range(count):
        os.close(os.open(f"entry-{index:06}", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd))
    os.close(fd)
    target = os.path.join(base, "target")
    result = copy(xcopy, source, target)
    if result.returncode != 0 or summary(result) != f"{count} File(s) copied":
        return f"wide copy: exit {result.returncode}, {summary(result)!r}"
    lines = result.stdout.decode().splitlines()[:-1]
    expected = [f"{source}/entry-{index:06}" for index in range(count)]
    if lines != expected:
        return "the per-file lines are not the entries in byte order"
    if len(os.listdir(target)) != count:
        return f"the copy holds {len(os.listdir(target))} entries"
    again = copy(xcopy, source, target)
    if again.returncode != 0 or summary(again) != "0 File(s) copied":
        return f"the re-run copied again: {summary(again)!r}"
    return None


def sparse(xcopy, base):
    source = os.path.join(base, "source")
    os.mkdir(source)
    path = os.path.join(source, "disk.img")
    size = 256 * 1024 * 1024
    pieces = {0: b"boot" * 1024, 100 * 1024 * 1024: b"middle" * 2000, size - 4096: b"end!" * 1024}
    with open(path, "wb") as handle:
        handle.truncate(size)
        for offset, data in pieces.items():
            handle.seek(offset)
            handle.write(data)
    allocated = os.stat(path).st_blocks * 512
    if allocated > size // 4:
        print(f"SKIPPED: this filesystem keeps no holes ({allocated} bytes allocated)")
        return SKIP
    target = os.path.join(base, "target")
    result = copy(xcopy, source, target)
    if result.returncode != 0:
        return f"sparse copy failed: {result.returncode} {result.stderr[-300:]!r}"
    copied = os.path.join(target, "disk.img")
    if os.stat(copied).st_size != size:
        return f"the copy is {os.stat(copied).st_size} bytes long"
    with open(copied, "rb") as handle:
        for offset, data in pieces.items():
            handle.seek(offset)
            if handle.read(len(data)) != data:
                return f"the data at {offset} differs"
        handle.seek(4 * 1024 * 1024)
        if handle.read(1 << 20) != bytes(1 << 20):
            return "a hole reads back as something other than zeros"
    copy_allocated = os.stat(copied).st_blocks * 512
    # Block-size rounding may add a little around each piece of data.
    if copy_allocated > allocated + 1024 * 1024:
        return f"the holes were filled: {copy_allocated} bytes allocated, source {allocated}"
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--xcopy", required=True)
    parser.add_argument("case", choices=["deep", "wide", "sparse"])
    arguments = parser.parse_args()
    base = tempfile.mkdtemp(prefix=f"qmr-scale-{arguments.case}-")
    try:
        outcome = {"deep": deep, "wide": wide, "sparse": sparse}[arguments.case](
            arguments.xcopy, base)
    finally:
        shutil.rmtree(base, ignore_errors=True)
    if outcome == SKIP:
        return SKIP
    if outcome:
        print(outcome)
        return 1
    print(f"{arguments.case}: ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
