#!/usr/bin/env python3
"""Walks an injected fault over every counted system call of a small copy.

For each call group (open, read, write, copy_file_range, sendfile, clone,
fsync, rename, utimensat, mkdir, close), each call number N that a clean run
makes (with several threads, whichever call is the N-th), and each
fault (ENOSPC, EIO, EACCES, EINTR, a short transfer), the copier runs once over
an older copy of the tree with the N-th call failing. After every run:

- the exit code is one the copier documents for that fault (a transfer that
  came back short or was interrupted is no error at all: the run must succeed);
- no file under its final name is partial or newer-looking than its source:
  each holds either the old copy's bytes and time or the source's;
- no temporary file is left anywhere in the target;
- the source is untouched;
- a clean re-run makes the target hold the source.
"""

import argparse
import hashlib
import os
import random
import shutil
import subprocess
import sys
import tempfile

SWITCHES = ["/s", "/c", "/d", "/e", "/h", "/i", "/r", "/y"]
GROUPS = ["open", "read", "write", "copy_file_range", "sendfile", "clone", "fsync", "rename",
          "utimensat", "mkdir", "close"]
FAULTS = ["ENOSPC", "EIO", "EACCES", "EINTR", "short"]
# Calls that only ever touch the target: a failure there is a write error.
TARGET_ONLY = {"write", "fsync"}


def snapshot(root, digests=None):
    """Every entry below root: relative path -> (kind, digest, mtime_ns, mode).

    With a dict for `digests`, file contents are hashed once per (device,
    inode, size, mtime): for trees whose files are only ever replaced, never
    rewritten in place."""
    entries = {}
    for directory, subdirectories, files in os.walk(root):
        for name in subdirectories + files:
            path = os.path.join(directory, name)
            relative = os.path.relpath(path, root)
            info = os.lstat(path)
            if os.path.isdir(path):
                entries[relative] = ("dir", None, None, info.st_mode & 0o7777)
            else:
                key = (info.st_dev, info.st_ino, info.st_size, info.st_mtime_ns)
                digest = digests.get(key) if digests is not None else None
                if digest is None:
                    with open(path, "rb") as handle:
                        digest = hashlib.sha256(handle.read()).hexdigest()
                    if digests is not None:
                        digests[key] = digest
                entries[relative] = ("file", digest, info.st_mtime_ns, info.st_mode & 0o7777)
    return entries


def make_trees(base):
    """An older copy and a newer source that differ in every way /d cares about."""
    rng = random.Random(7)
    source = os.path.join(base, "source")
    old = os.path.join(base, "old")
    files = {
        "unchanged.txt": (b"same in both\n", b"same in both\n"),
        "changed.txt": (b"old text\n", b"new text, longer than before\n"),
        "new-only.bin": (None, rng.randbytes(5000)),
        "big.bin": (rng.randbytes(200_000), rng.randbytes(300_000)),
        "empty": (None, b""),
        "sub/inner.txt": (b"old inner\n", b"new inner\n"),
        "sub/deeper/leaf.bin": (None, rng.randbytes(70_000)),
        ".hidden/secret": (b"old secret", b"new secret"),
        "newdir/file": (None, b"in a directory the old copy lacks\n"),
    }
    old_time = 1_600_000_000_000_000_000
    new_time = 1_700_000_000_123_456_789
    for relative, (old_bytes, new_bytes) in files.items():
        for root, content, stamp in ((old, old_bytes, old_time), (source, new_bytes, new_time)):
            if content is None:
                continue
            path = os.path.join(root, relative)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as handle:
                handle.write(content)
            if relative == "unchanged.txt":
                stamp = old_time
            os.utime(path, ns=(stamp, stamp))
    os.makedirs(os.path.join(source, "empty-dir"), exist_ok=True)
    # A file with holes, copied extent by extent.
    with open(os.path.join(source, "sparse.img"), "wb") as handle:
        handle.truncate(3 * 1024 * 1024)
        handle.seek(1024 * 1024)
        handle.write(rng.randbytes(100_000))
    os.utime(os.path.join(source, "sparse.img"), ns=(new_time, new_time))
    return source, old


def run_copier(xcopy, source, target, environment):
    return subprocess.run([xcopy, source, target] + SWITCHES, env=environment,
                          stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, timeout=60)


def allowed_codes(group, fault):
    if fault in ("EINTR", "short"):
        return {0}
    if fault == "EACCES":
        return {4}
    if group in TARGET_ONLY:
        return {5}
    return {4, 5}


def check_invariants(target, old_state, source_state, problems, label):
    for relative, entry in snapshot(target).items():
        kind, digest, mtime, _ = entry
        if kind == "dir":
            continue
        versions = [state[relative] for state in (old_state, source_state) if relative in state]
        if not any(digest == v[1] and mtime == v[2] for v in versions):
            what = "left behind" if not versions else "partial or newer-looking"
            problems.append(f"{label}: {relative} is {what}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--xcopy", required=True)
    parser.add_argument("--shim", required=True)
    parser.add_argument("--threads", default="1")
    parser.add_argument("--no-offload", action="store_true",
                        help="make copy_file_range, sendfile and cloning unavailable, so the"
                        " buffer copy is walked")
    parser.add_argument("--no-copy-range", action="store_true",
                        help="make copy_file_range unavailable, so sendfile is walked")
    arguments = parser.parse_args()

    base = tempfile.mkdtemp(prefix="qmr-faults-")
    try:
        source, old = make_trees(base)
        source_state = snapshot(source)
        old_state = snapshot(old)
        target = os.path.join(base, "target")
        counts_file = os.path.join(base, "counts")
        environment = dict(os.environ, QMR_XCOPY_THREADS=arguments.threads)
        if arguments.no_offload:
            environment["QMR_FAULT_NO_OFFLOAD"] = "1"
        if arguments.no_copy_range:
            environment["QMR_FAULT_NO_COPY_RANGE"] = "1"

        shutil.copytree(old, target, copy_function=shutil.copy2)
        clean = run_copier(arguments.xcopy, source, target,
                           dict(environment, LD_PRELOAD=arguments.shim,
                                QMR_FAULT_COUNTS=counts_file))
        if clean.returncode != 0:
            print("the clean run failed:", clean.stderr.decode(errors="replace"))
            return 1
        with open(counts_file) as handle:
            counts = {name: int(n) for name, n in (line.split() for line in handle)}
        print("calls in a clean run:", ", ".join(f"{g} {counts[g]}" for g in GROUPS))

        problems = []
        runs = 0
        for group in GROUPS:
            for nth in range(1, counts[group] + 1):
                for fault in FAULTS:
                    label = f"{group} call {nth} {fault}"
                    shutil.rmtree(target)
                    shutil.copytree(old, target, copy_function=shutil.copy2)
                    result = run_copier(arguments.xcopy, source, target,
                                        dict(environment, LD_PRELOAD=arguments.shim,
                                             QMR_FAULT=f"{group}:{nth}:{fault}"))
                    runs += 1
                    code = result.returncode
                    after = snapshot(target)
                    identical = all(after.get(k, (None,) * 4)[:3] == v[:3]
                                    for k, v in source_state.items())
                    if code not in allowed_codes(group, fault) and not (code == 0 and identical):
                        problems.append(f"{label}: exit code {code}, stderr "
                                        f"{result.stderr.decode(errors='replace').strip()!r}")
                    check_invariants(target, old_state, source_state, problems, label)
                    if snapshot(source) != source_state:
                        problems.append(f"{label}: the source changed")
                        source_state = snapshot(source)
                    rerun = run_copier(arguments.xcopy, source, target, environment)
                    final = snapshot(target)
                    if rerun.returncode != 0 or any(final.get(k, (None,) * 4)[:3] != v[:3]
                                                    for k, v in source_state.items()
                                                    if v[0] == "file"):
                        problems.append(f"{label}: the clean re-run did not complete the copy "
                                        f"(exit {rerun.returncode})")
        print(f"{runs} faulty runs, {len(problems)} problems")
        for problem in problems:
            print("  " + problem)
        return 1 if problems else 0
    finally:
        shutil.rmtree(base, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
