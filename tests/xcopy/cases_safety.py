"""What must never happen: a copy into itself, an endless walk, a hang on a
FIFO, a temporary file taken for a real one, a file written onto itself."""

import os
import subprocess

from harness import Checks, read, run, scratch, snapshot, write

FIXED = ["/s", "/c", "/d", "/e", "/h", "/i", "/r", "/y"]


def small_tree(top):
    write(os.path.join(top, "src", "a.txt"), b"A")
    write(os.path.join(top, "src", "sub", "b.txt"), b"B")


# name, setup(top), SOURCE, TARGET. TARGET is SOURCE or inside it, so nothing is written.
CYCLIC = [
    ("TARGET inside SOURCE", None, "src", "src/sub/copy"),
    ("TARGET equal to SOURCE", None, "src", "src"),
    ("TARGET equal to SOURCE by another name", None, "src", "./src/sub/.."),
    ("TARGET inside SOURCE through a link",
     lambda t: os.symlink("src/sub", os.path.join(t, "into")), "src", "into/new/deeper"),
    ("SOURCE a link to TARGET's parent",
     lambda t: os.symlink("src", os.path.join(t, "alias")), "alias", "src/sub"),
    ("pattern whose folder holds TARGET", None, "src/*.txt", "src/sub/copy"),
]


def cyclic(checks):
    for name, setup, source, target in CYCLIC:
        with scratch() as top:
            small_tree(top)
            if setup:
                setup(top)
            before = snapshot(os.path.join(top, "src"), times=True)
            result = run([source, target] + FIXED, top)
            checks.equal(f"{name}: exit code", result.rc, 4)
            checks.equal(f"{name}: error", result.errors, [b"Cannot perform a cyclic copy"])
            checks.equal(f"{name}: output", result.lines, [b"0 File(s) copied"])
            checks.equal(f"{name}: nothing written", snapshot(os.path.join(top, "src"), times=True),
                         before)


def link_loops(checks):
    with scratch() as top:
        small_tree(top)
        os.symlink("..", os.path.join(top, "src", "sub", "up"))
        os.symlink("loop2", os.path.join(top, "src", "loop1"))
        os.symlink("loop1", os.path.join(top, "src", "loop2"))
        os.symlink("missing", os.path.join(top, "src", "dangling"))
        result = run(["src", "dst"] + FIXED, top, timeout=20)
        checks.equal("link loops: exit code", result.rc, 4)
        checks.equal("link loops: errors", result.errors, [
            b"Unable to follow link - src/dangling: No such file or directory",
            b"Unable to follow link - src/loop1: Too many levels of symbolic links",
            b"Unable to follow link - src/loop2: Too many levels of symbolic links",
            b"Cannot perform a cyclic copy - src/sub/up",
        ])
        checks.equal("link loops: output", result.lines,
                     [b"src/a.txt", b"src/sub/b.txt", b"2 File(s) copied"])
        checks.equal("link loops: the copy", snapshot(os.path.join(top, "dst")), {
            b"a.txt": ("file", 0o644, b"A"),
            b"sub": ("dir", 0o755, None),
            b"sub/b.txt": ("file", 0o644, b"B"),
        })
        # With /b the links are copied as they are, loops and all.
        as_links = run(["src", "links", "/b"] + FIXED, top, timeout=20)
        checks.equal("/b: exit code", as_links.rc, 0)
        checks.equal("/b: the loop", os.readlink(os.path.join(top, "links", "sub", "up")), "..")
        checks.equal("/b: the dangling link",
                     os.readlink(os.path.join(top, "links", "dangling")), "missing")


def special_files(checks):
    with scratch() as top:
        small_tree(top)
        os.mkfifo(os.path.join(top, "src", "fifo"))
        os.symlink("fifo", os.path.join(top, "src", "link-to-fifo"))
        result = run(["src", "dst"] + FIXED, top, timeout=20)
        checks.equal("FIFO: exit code", result.rc, 0)
        checks.equal("FIFO: skipped, not an error", result.errors,
                     [b"Skipped special file - src/fifo",
                      b"Skipped special file - src/link-to-fifo"])
        checks.equal("FIFO: output", result.lines,
                     [b"src/a.txt", b"src/sub/b.txt", b"2 File(s) copied"])
        checks.true("FIFO: not in the copy", not os.path.lexists(os.path.join(top, "dst", "fifo")))
        # A FIFO named as SOURCE is not opened either.
        alone = run(["src/fifo", "single/"], top, timeout=20)
        checks.equal("FIFO as SOURCE: exit code", alone.rc, 0)
        checks.equal("FIFO as SOURCE: errors", alone.errors, [b"Skipped special file - src/fifo"])


def temporary_names(checks):
    with scratch() as top:
        small_tree(top)
        # A file left by a killed run, and a source file that looks like one.
        write(os.path.join(top, "dst", "sub", ".xcopy-tmp-AbCd1234"), b"partial")
        write(os.path.join(top, "src", ".xcopy-tmp-Zz9Zz9Zz"), b"looks temporary")
        write(os.path.join(top, "src", ".xcopy-tmp-longer-name"), b"an ordinary hidden file")
        result = run(["src", "dst"] + FIXED, top)
        checks.equal("leftovers: exit code", result.rc, 0)
        checks.equal("leftovers: output", result.lines, [
            b"src/.xcopy-tmp-longer-name", b"src/a.txt", b"src/sub/b.txt", b"3 File(s) copied"])
        checks.equal("leftovers: removed, look-alike not copied", snapshot(os.path.join(top, "dst")), {
            b".xcopy-tmp-longer-name": ("file", 0o644, b"an ordinary hidden file"),
            b"a.txt": ("file", 0o644, b"A"),
            b"sub": ("dir", 0o755, None),
            b"sub/b.txt": ("file", 0o644, b"B"),
        })


def same_file(checks):
    with scratch() as top:
        small_tree(top)
        os.link(os.path.join(top, "src", "a.txt"), os.path.join(top, "hard.txt"))
        for name, args in [("file onto itself", ["src/a.txt", "src", "/y"]),
                           ("file onto a hard link of itself", ["src/a.txt", "hard.txt", "/y"])]:
            result = run(args, top)
            checks.equal(f"{name}: exit code", result.rc, 4)
            checks.equal(f"{name}: error", result.errors,
                         [b"File cannot be copied onto itself - src/a.txt"])
            checks.equal(f"{name}: content", read(os.path.join(top, "src", "a.txt")), b"A")
        # Hard-linked source files become separate files.
        os.link(os.path.join(top, "src", "a.txt"), os.path.join(top, "src", "sub", "a-again.txt"))
        run(["src", "dst"] + FIXED, top)
        one = os.stat(os.path.join(top, "dst", "a.txt"))
        two = os.stat(os.path.join(top, "dst", "sub", "a-again.txt"))
        checks.true("hard links: copied as separate files", one.st_ino != two.st_ino)


def deeper_than_path_max(checks):
    """Every folder is reached through its parent's descriptor, so a path longer
    than PATH_MAX (4096) is no limit."""
    names = [f"level{i:03d}-" + "x" * 20 for i in range(200)]  # about 5,800 bytes deep

    def open_chain(top, create):
        fd = os.open(top, os.O_RDONLY)
        for name in names:
            if create:
                os.mkdir(name, dir_fd=fd)
            deeper = os.open(name, os.O_RDONLY, dir_fd=fd)
            os.close(fd)
            fd = deeper
        return fd

    with scratch() as top:
        os.mkdir(os.path.join(top, "src"))
        leaf = open_chain(os.path.join(top, "src"), create=True)
        made = os.open("leaf.txt", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=leaf)
        os.write(made, b"deep")
        os.close(made)
        os.close(leaf)
        result = run(["src", "dst"] + FIXED, top)
        checks.equal("deep tree: exit code", result.rc, 0)
        checks.equal("deep tree: output", result.lines,
                     [b"src/" + "/".join(names).encode() + b"/leaf.txt", b"1 File(s) copied"])
        copied = open_chain(os.path.join(top, "dst"), create=False)
        fd = os.open("leaf.txt", os.O_RDONLY, dir_fd=copied)
        checks.equal("deep tree: the copy", os.read(fd, 100), b"deep")
        os.close(fd)
        os.close(copied)
        again = run(["src", "dst"] + FIXED, top)
        checks.equal("deep tree: second run", again.lines, [b"0 File(s) copied"])
        # Python's own tree removal cannot go this deep by path; rm can.
        subprocess.run(["rm", "-rf", os.path.join(top, "src"), os.path.join(top, "dst")],
                       check=True)


def safety():
    checks = Checks()
    deeper_than_path_max(checks)
    cyclic(checks)
    link_loops(checks)
    special_files(checks)
    temporary_names(checks)
    same_file(checks)
    return checks
