"""Each switch against the same small tree: one table, where a case lists the
switches, anything already in the target, and exactly what must differ from
the plain run (`src dst /i /y`)."""

import os

from harness import Checks, b, run, scratch, snapshot, write

OLD_NS = 1_100_000_000_000_000_000  # 2004: older than anything the tree has
NEW_NS = 1_900_000_000_000_000_000  # 2030: newer than anything the tree has


def make_tree(top):
    src = os.path.join(top, "src")
    write(os.path.join(src, "a.txt"), b"A", 0o644, 1_000_000_000_000_000_000)  # 2001
    write(os.path.join(src, "b.log"), b"B", 0o644)
    write(os.path.join(src, ".hid"), b"H", 0o644)
    write(os.path.join(src, "ro.txt"), b"R", 0o444)
    os.symlink("a.txt", os.path.join(src, "link.txt"))
    write(os.path.join(src, "sub", "c.txt"), b"C", 0o644)
    write(os.path.join(src, "sub", ".hsub"), b"HS", 0o644)
    write(os.path.join(src, ".hdir", "d.txt"), b"D", 0o644)
    os.mkdir(os.path.join(src, "empty"), 0o750)
    os.chmod(os.path.join(src, "empty"), 0o750)


def f(content, mode=0o644):
    return ("file", mode, content)


def d(mode=0o755):
    return ("dir", mode, None)


# The plain run copies the top folder's files that are not hidden, following
# the link, and makes every copy writable by its owner.
PLAIN_LINES = [b"src/a.txt", b"src/b.log", b"src/link.txt", b"src/ro.txt"]
PLAIN_COPY = {"a.txt": f(b"A"), "b.log": f(b"B"), "link.txt": f(b"A"), "ro.txt": f(b"R")}


def with_changes(base, **changes):
    result = dict(base)
    for key, value in changes.items():
        path = key.replace("__", "/").replace("_DOT_", ".")
        if value is None:
            result.pop(path, None)
        else:
            result[path] = value
    return result


def summary(count, listing=False):
    return f"{count} File(s)".encode() + (b"" if listing else b" copied")


def absolute(top, *parts):
    return os.path.join(os.path.realpath(top), *parts).encode()


PLAIN = ["/i", "/y"]

# name, switches, setup(top), expected lines (top -> list), exit code, expected
# target (None: no target folder at all).
CASES = [
    ("plain", PLAIN, None, lambda t: PLAIN_LINES + [summary(4)], 0, PLAIN_COPY),
    ("/s recurses, no empty folders", PLAIN + ["/s"], None,
     lambda t: PLAIN_LINES + [b"src/sub/c.txt", summary(5)], 0,
     with_changes(PLAIN_COPY, sub=d(), sub__c_DOT_txt=f(b"C"))),
    ("/e recurses with empty folders", PLAIN + ["/e"], None,
     lambda t: PLAIN_LINES + [b"src/sub/c.txt", summary(5)], 0,
     with_changes(PLAIN_COPY, sub=d(), sub__c_DOT_txt=f(b"C"), empty=d(0o750))),
    ("/h takes hidden files", PLAIN + ["/h"], None,
     lambda t: [b"src/.hid"] + PLAIN_LINES + [summary(5)], 0,
     with_changes(PLAIN_COPY, _DOT_hid=f(b"H"))),
    ("/s /h takes hidden folders", PLAIN + ["/s", "/h"], None,
     lambda t: [b"src/.hid"] + PLAIN_LINES +
     [b"src/.hdir/d.txt", b"src/sub/.hsub", b"src/sub/c.txt", summary(8)], 0,
     with_changes(PLAIN_COPY, _DOT_hid=f(b"H"), _DOT_hdir=d(), _DOT_hdir__d_DOT_txt=f(b"D"),
                  sub=d(), sub___DOT_hsub=f(b"HS"), sub__c_DOT_txt=f(b"C"))),
    ("/q prints only the summary", PLAIN + ["/q"], None, lambda t: [summary(4)], 0, PLAIN_COPY),
    ("/f prints full source and target", PLAIN + ["/f"], None,
     lambda t: [absolute(t, "src", n) + b" -> " + absolute(t, "dst", n)
                for n in ("a.txt", "b.log", "link.txt", "ro.txt")] + [summary(4)], 0, PLAIN_COPY),
    ("/l lists and writes nothing", PLAIN + ["/l"], None,
     lambda t: PLAIN_LINES + [summary(4, listing=True)], 0, None),
    ("/t makes only the folders that get files", PLAIN + ["/t"], None,
     lambda t: [summary(0)], 0, {"sub": d()}),
    ("/t /e makes every folder", PLAIN + ["/t", "/e"], None,
     lambda t: [summary(0)], 0, {"sub": d(), "empty": d(0o750)}),
    ("/u copies only what the target has", PLAIN + ["/u"],
     lambda t: write(os.path.join(t, "dst", "b.log"), b"old", 0o644, OLD_NS),
     lambda t: [b"src/b.log", summary(1)], 0, {"b.log": f(b"B")}),
    ("/k keeps the read-only bits", PLAIN + ["/k"], None,
     lambda t: PLAIN_LINES + [summary(4)], 0, with_changes(PLAIN_COPY, ro_DOT_txt=f(b"R", 0o444))),
    ("/b copies links as links", PLAIN + ["/b"], None,
     lambda t: PLAIN_LINES + [summary(4)], 0,
     with_changes(PLAIN_COPY, link_DOT_txt=("link", None, b"a.txt"))),
    ("/v checks and changes nothing", PLAIN + ["/v"], None,
     lambda t: PLAIN_LINES + [summary(4)], 0, PLAIN_COPY),
    ("/d skips files the target has newer", PLAIN + ["/d"],
     lambda t: write(os.path.join(t, "dst", "b.log"), b"newer", 0o644, NEW_NS),
     lambda t: [b"src/a.txt", b"src/link.txt", b"src/ro.txt", summary(3)], 0,
     with_changes(PLAIN_COPY, b_DOT_log=f(b"newer"))),
    ("/d:date skips files modified before it", PLAIN + ["/d:1-1-2010"], None,
     lambda t: [b"src/b.log", b"src/ro.txt", summary(2)], 0,
     {"b.log": f(b"B"), "ro.txt": f(b"R")}),
    ("/r overwrites a read-only target", PLAIN + ["/r"],
     lambda t: write(os.path.join(t, "dst", "ro.txt"), b"old", 0o444, OLD_NS),
     lambda t: PLAIN_LINES + [summary(4)], 0, PLAIN_COPY),
    ("/exclude: skips paths holding a listed string", PLAIN + ["/exclude:list.txt"],
     lambda t: write(os.path.join(t, "list.txt"), b".log\nno-such-name\n"),
     lambda t: [b"src/a.txt", b"src/link.txt", b"src/ro.txt", summary(3)], 0,
     with_changes(PLAIN_COPY, b_DOT_log=None)),
    ("/exclude: a folder's string leaves out the whole folder",
     PLAIN + ["/e", "/exclude:list.txt"],
     lambda t: write(os.path.join(t, "list.txt"), b"/src/sub/\n"),
     lambda t: PLAIN_LINES + [summary(4)], 0, with_changes(PLAIN_COPY, empty=d(0o750))),
    ("/-y without a terminal asks nothing and stops", PLAIN + ["/-y"],
     lambda t: write(os.path.join(t, "dst", "b.log"), b"old", 0o644, OLD_NS),
     lambda t: [b"src/a.txt", summary(1)], 2, {"a.txt": f(b"A"), "b.log": f(b"old")}),
    ("/p without a terminal copies nothing", PLAIN + ["/p"], None,
     lambda t: [summary(0)], 2, None),
    ("/w without a terminal copies nothing", PLAIN + ["/w"], None,
     lambda t: [summary(0)], 2, None),
    ("without /i a folder SOURCE still makes a folder", ["/y"], None,
     lambda t: PLAIN_LINES + [summary(4)], 0, PLAIN_COPY),
]

# Other kinds of SOURCE: a pattern (in every folder with /s) and a single file.
# name, arguments, setup(top), expected lines, exit code, expected target.
SOURCE_CASES = [
    ("pattern with /s", ["src/*.txt", "dst", "/s", "/i", "/y"], None,
     [b"src/a.txt", b"src/link.txt", b"src/ro.txt", b"src/sub/c.txt", summary(4)], 0,
     {"a.txt": f(b"A"), "link.txt": f(b"A"), "ro.txt": f(b"R"), "sub": d(),
      "sub/c.txt": f(b"C")}),
    ("pattern matching nothing", ["src/*.none", "dst", "/i"], None, [summary(0)], 0, None),
    ("pattern in a missing folder", ["nowhere/*.txt", "dst", "/i"], None, [summary(0)], 4, None),
    ("single file into a new folder", ["src/b.log", "dst/"], None,
     [b"src/b.log", summary(1)], 0, {"b.log": f(b"B")}),
    ("single file with /i makes a folder", ["src/b.log", "dst/new", "/i"], None,
     [b"src/b.log", summary(1)], 0, {"new": d(), "new/b.log": f(b"B")}),
    ("single file onto an existing file", ["src/b.log", "dst/other.log", "/y"],
     lambda t: write(os.path.join(t, "dst", "other.log"), b"old", 0o644, OLD_NS),
     [b"src/b.log", summary(1)], 0, {"other.log": f(b"B")}),
    ("single hidden file needs /h", ["src/.hid", "dst/", "/y"], None, [summary(0)], 0, None),
    ("missing SOURCE", ["nothing-here", "dst", "/i"], None, [summary(0)], 4, None),
]


def check_case(checks, name, top, args, setup, lines, code, copy):
    make_tree(top)
    if setup:
        setup(top)
    src = os.path.join(top, "src")
    before = snapshot(src, times=True)
    result = run(args, top)
    checks.equal(f"{name}: output", result.lines, lines)
    checks.equal(f"{name}: exit code", result.rc, code)
    dst = os.path.join(top, "dst")
    if copy is None:
        checks.true(f"{name}: no target was made", not os.path.exists(dst))
    else:
        checks.equal(f"{name}: the target", snapshot(dst), {b(k): v for k, v in copy.items()})
    checks.equal(f"{name}: the source is untouched", snapshot(src, times=True), before)


def switches():
    checks = Checks()
    for name, args, setup, lines, code, copy in CASES:
        with scratch() as top:
            check_case(checks, name, top, ["src", "dst"] + args, setup, lines(top), code, copy)
    for name, args, setup, lines, code, copy in SOURCE_CASES:
        with scratch() as top:
            check_case(checks, name, top, args, setup, lines, code, copy)
    return checks
