"""Target file systems that behave differently: one that fills up (a small
tmpfs), one that keeps whole seconds only (ext4 with 128-byte inodes) and one
that can share blocks between files (btrfs). All are mounted for the test, so
they need root; without it, or without the file system's tools, they are skipped."""

import contextlib
import os
import shutil
import subprocess

from harness import Checks, Skip, is_root, read, run, scratch, snapshot, temp_files, write

FIXED = ["/s", "/c", "/d", "/e", "/h", "/i", "/r", "/y"]


@contextlib.contextmanager
def mounted(mount_point, *mount_args):
    if not is_root():
        raise Skip("mounting a file system for the test needs root")
    os.makedirs(mount_point, exist_ok=True)
    done = subprocess.run(["mount", *mount_args, mount_point], capture_output=True)
    if done.returncode != 0:
        raise Skip(f"cannot mount: {done.stderr.decode(errors='replace').strip()}")
    try:
        yield mount_point
    finally:
        subprocess.run(["umount", mount_point], check=False)


def full_disk():
    checks = Checks()
    with scratch() as top:
        write(os.path.join(top, "src", "a_small.txt"), b"a" * 10_000)
        write(os.path.join(top, "src", "b_big.bin"), os.urandom(3 * 1024 * 1024))
        write(os.path.join(top, "src", "c_small.txt"), b"c" * 10_000)
        # An entry that fails with 4 after the one that fails with 5: /c ends with the higher.
        os.symlink("nowhere", os.path.join(top, "src", "d_dangling"))
        with mounted(os.path.join(top, "mnt"), "-t", "tmpfs", "-o", "size=2m", "tmpfs"):
            for keep_going in (False, True):
                label = "full disk " + ("with /c" if keep_going else "without /c")
                dst = os.path.join("mnt", "c" if keep_going else "stop")
                args = ["src", dst, "/s", "/e", "/h", "/i", "/r", "/y"]
                result = run(args + (["/c"] if keep_going else []), top)
                checks.equal(f"{label}: exit code", result.rc, 5)
                errors = [f"Unable to write - {dst}/b_big.bin: No space left on device".encode()]
                if keep_going:
                    errors.append(b"Unable to follow link - src/d_dangling: No such file or directory")
                checks.equal(f"{label}: errors", result.errors, errors)
                wanted = {b"a_small.txt": ("file", 0o644, b"a" * 10_000)}
                if keep_going:
                    wanted[b"c_small.txt"] = ("file", 0o644, b"c" * 10_000)
                checks.equal(f"{label}: no partial file, no temporary file",
                             snapshot(os.path.join(top, dst)), wanted)
                # Room for the next case.
                subprocess.run(["rm", "-rf", os.path.join(top, dst)], check=True)
    return checks


def coarse_times():
    checks = Checks()
    with scratch() as top:
        # Fractions of a second that whole-second times must lose.
        for i, name in enumerate(["a.txt", "b.txt", "sub/c.txt", "sub/deeper/d.txt"]):
            write(os.path.join(top, "src", name), name.encode(), 0o644,
                  1_700_000_000_000_000_000 + i * 1_000_000_000 + 999_999_999)
        image = os.path.join(top, "ext4.img")
        with open(image, "wb") as f:
            f.truncate(32 * 1024 * 1024)
        made = subprocess.run(["mkfs.ext4", "-q", "-F", "-I", "128", image], capture_output=True)
        if made.returncode != 0:
            raise Skip(f"mkfs.ext4 failed: {made.stderr.decode(errors='replace').strip()}")
        with mounted(os.path.join(top, "mnt"), "-o", "loop", image):
            first = run(["src", "mnt/dst"] + FIXED, top)
            checks.equal("first run: exit code", first.rc, 0)
            checks.equal("first run: count", first.lines[-1:], [b"4 File(s) copied"])
            stored = os.stat(os.path.join(top, "mnt", "dst", "a.txt")).st_mtime_ns
            checks.equal("the target keeps whole seconds only", stored % 1_000_000_000, 0)

            second = run(["src", "mnt/dst"] + FIXED, top)
            checks.equal("second run: exit code", second.rc, 0)
            checks.equal("second run copies nothing", second.lines, [b"0 File(s) copied"])

            # Changes the target can tell apart are still copied.
            later = os.path.join(top, "src", "b.txt")
            os.utime(later, ns=(os.stat(later).st_mtime_ns + 3_000_000_000,) * 2)
            resized = os.path.join(top, "src", "sub", "c.txt")
            write(resized, b"same second, new size", None, os.stat(resized).st_mtime_ns + 1)
            third = run(["src", "mnt/dst"] + FIXED, top)
            checks.equal("changed files are copied", third.lines,
                         [b"src/b.txt", b"src/sub/c.txt", b"2 File(s) copied"])
            checks.equal("changed content arrived",
                         read(os.path.join(top, "mnt", "dst", "sub", "c.txt")),
                         b"same second, new size")
            fourth = run(["src", "mnt/dst"] + FIXED, top)
            checks.equal("and then nothing again", fourth.lines, [b"0 File(s) copied"])
            checks.equal("no temporary files", temp_files(os.path.join(top, "mnt")), [])
    return checks


def shared_blocks():
    """On a file system that can share blocks, a copy takes next to no space of
    its own, and is still a faithful copy."""
    checks = Checks()
    if shutil.which("mkfs.btrfs") is None:
        raise Skip("mkfs.btrfs is not installed")
    with scratch() as top:
        image = os.path.join(top, "btrfs.img")
        with open(image, "wb") as f:
            f.truncate(512 * 1024 * 1024)
        made = subprocess.run(["mkfs.btrfs", "-q", "-f", image], capture_output=True)
        if made.returncode != 0:
            raise Skip(f"mkfs.btrfs failed: {made.stderr.decode(errors='replace').strip()}")
        with mounted(os.path.join(top, "mnt"), "-o", "loop", image):
            source = os.path.join(top, "mnt", "src")
            big = os.urandom(32 * 1024 * 1024)
            write(os.path.join(source, "big.bin"), big, 0o640, 1_700_000_000_123_456_789)
            write(os.path.join(source, "sub", "odd-size.bin"), big[:1_000_003], 0o600)
            os.sync()
            before = os.statvfs(os.path.join(top, "mnt"))
            result = run(["mnt/src", "mnt/dst"] + FIXED, top)
            os.sync()
            after = os.statvfs(os.path.join(top, "mnt"))
            checks.equal("shared blocks: exit code", result.rc, 0)
            checks.equal("shared blocks: output", result.lines,
                         [b"mnt/src/big.bin", b"mnt/src/sub/odd-size.bin", b"2 File(s) copied"])
            used = (before.f_bfree - after.f_bfree) * before.f_frsize
            checks.true(f"shared blocks: the copies took {used} bytes of their own",
                        used < 4 * 1024 * 1024)
            checks.equal("shared blocks: the copy", snapshot(os.path.join(top, "mnt", "dst"),
                                                              times=True),
                         {k: (v[0], v[1] | (0o200 if v[0] == "file" else 0), *v[2:])
                          for k, v in snapshot(source, times=True).items()})
    return checks
