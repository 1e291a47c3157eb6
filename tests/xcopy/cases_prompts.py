"""The questions, answered on a terminal (a pseudo-terminal as standard input),
and the same questions without one: exit 2 at once, never a wait."""

import os

from harness import Checks, read, run, run_on_terminal, scratch, snapshot, write

OLD_NS = 1_100_000_000_000_000_000
FILE_OR_FOLDER = "(F = file, D = directory)? "


def tree(top):
    write(os.path.join(top, "src", "a.txt"), b"A")
    write(os.path.join(top, "src", "b.txt"), b"B")
    write(os.path.join(top, "src", "c.txt"), b"C")


def old_copies(top, *names):
    for name in names:
        write(os.path.join(top, "dst", name), b"old", 0o644, OLD_NS)


def contents(top):
    return {k.decode(): v[2] for k, v in snapshot(os.path.join(top, "dst")).items()}


# name, setup, arguments, [(question, typed answer)], exit code, target contents afterwards.
ON_A_TERMINAL = [
    ("TARGET is a file", None, ["src/a.txt", "dst/new.txt"],
     [("Does dst/new.txt specify a file name\nor directory name on the target\n" + FILE_OR_FOLDER,
       "f\n")], 0, {"new.txt": b"A"}),
    ("TARGET is a folder", None, ["src/a.txt", "dst/new"],
     [(FILE_OR_FOLDER, "D\n")], 0, {"new": None, "new/a.txt": b"A"}),
    ("an unknown answer asks again", None, ["src/a.txt", "dst/new"],
     [(FILE_OR_FOLDER, "x\n"), (FILE_OR_FOLDER, "d\n")], 0, {"new": None, "new/a.txt": b"A"}),
    ("overwrite: no, yes", lambda t: old_copies(t, "a.txt", "b.txt"), ["src", "dst", "/-y"],
     [("Overwrite dst/a.txt (Yes/No/All)? ", "n\n"), ("Overwrite dst/b.txt (Yes/No/All)? ", "yes\n")],
     0, {"a.txt": b"old", "b.txt": b"B", "c.txt": b"C"}),
    ("overwrite: all", lambda t: old_copies(t, "a.txt", "b.txt", "c.txt"), ["src", "dst", "/-y"],
     [("Overwrite dst/a.txt (Yes/No/All)? ", "a\n")], 0, {"a.txt": b"A", "b.txt": b"B", "c.txt": b"C"}),
    ("/p: yes, no, yes", None, ["src", "dst", "/p", "/i"],
     [("src/a.txt (Y/N)? ", "y\n"), ("src/b.txt (Y/N)? ", "n\n"), ("src/c.txt (Y/N)? ", "Y\n")],
     0, {"a.txt": b"A", "c.txt": b"C"}),
    ("/w waits for one key", None, ["src", "dst", "/w", "/i"],
     [("Press any key when ready to begin copying file(s)", "k")], 0,
     {"a.txt": b"A", "b.txt": b"B", "c.txt": b"C"}),
    ("end of input is no answer", None, ["src/a.txt", "dst/new"],
     [(FILE_OR_FOLDER, "\x04")], 2, None),
]

# name, setup, arguments, exit code, target contents afterwards: no terminal.
WITHOUT_A_TERMINAL = [
    ("file or folder", None, ["src/a.txt", "dst/new"], 2, None),
    ("overwrite", lambda t: old_copies(t, "a.txt"), ["src", "dst", "/-y"], 2, {"a.txt": b"old"}),
    ("/p", None, ["src", "dst", "/p", "/i"], 2, None),
    ("/w", None, ["src", "dst", "/w", "/i"], 2, None),
]


def prompts():
    checks = Checks()
    for name, setup, args, exchanges, code, wanted in ON_A_TERMINAL:
        with scratch() as top:
            tree(top)
            if setup:
                setup(top)
            result = run_on_terminal(args, top, exchanges)
            checks.equal(f"{name}: exit code", result.rc, code)
            if wanted is None:
                checks.true(f"{name}: nothing written", not os.path.exists(os.path.join(top, "dst")))
            else:
                checks.equal(f"{name}: the target", contents(top), wanted)
    for name, setup, args, code, wanted in WITHOUT_A_TERMINAL:
        with scratch() as top:
            tree(top)
            if setup:
                setup(top)
            result = run(args, top, timeout=10)
            checks.equal(f"no terminal, {name}: exit code", result.rc, code)
            checks.equal(f"no terminal, {name}: output", result.lines, [b"0 File(s) copied"])
            checks.equal(f"no terminal, {name}: one error line", len(result.errors), 1)
            if wanted is None:
                checks.true(f"no terminal, {name}: nothing written",
                            not os.path.exists(os.path.join(top, "dst")))
            else:
                checks.equal(f"no terminal, {name}: the target", contents(top), wanted)
    return checks
