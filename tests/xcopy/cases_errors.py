"""Entries that cannot be copied, with /c (the rest is copied, exit 4) and
without it (the run stops at the first error). Run as an unprivileged user,
since root ignores permission bits."""

import os

from harness import Checks, b, give_to_nobody, is_root, read, run, scratch, snapshot, write

# Every case has a file before the failing entry and one after it in the copy's
# order (a folder's files come before its subfolders, so the later one is in a
# subfolder named last).
FIRST, LAST = "a_first.txt", "z_after/last.txt"


def unreadable_source(top):
    write(os.path.join(top, "src", "m_secret.txt"), b"secret", 0o000)


def unwritable_target_folder(top):
    write(os.path.join(top, "src", "m_sub", "inner.txt"), b"inner")
    os.makedirs(os.path.join(top, "dst", "m_sub"))
    give_to_nobody(os.path.join(top, "src"), os.path.join(top, "dst"))
    # Owned by root and closed to others: the copier, run as nobody, cannot write here.
    os.chown(os.path.join(top, "dst", "m_sub"), 0, 0)
    os.chmod(os.path.join(top, "dst", "m_sub"), 0o755)
    return True


def read_only_target(top):
    write(os.path.join(top, "src", "m_file.txt"), b"new")
    write(os.path.join(top, "dst", "m_file.txt"), b"old", 0o444)


def folder_where_file_goes(top):
    write(os.path.join(top, "src", "m_file.txt"), b"new")
    write(os.path.join(top, "dst", "m_file.txt", "kept.txt"), b"kept")


def file_where_folder_goes(top):
    write(os.path.join(top, "src", "m_dir", "inner.txt"), b"inner")
    write(os.path.join(top, "dst", "m_dir"), b"kept")


# name, setup, the error line, what of the failing entry the target holds afterwards.
CASES = [
    ("unreadable source file", unreadable_source, b"Access denied - src/m_secret.txt", {}),
    ("read-only target file without /r", read_only_target,
     b"Access denied - dst/m_file.txt: read-only file", {"m_file.txt": ("file", 0o444, b"old")}),
    ("a folder where the source has a file", folder_where_file_goes,
     b"Unable to create file - dst/m_file.txt: Is a directory",
     {"m_file.txt": ("dir", 0o755, None), "m_file.txt/kept.txt": ("file", 0o644, b"kept")}),
    ("a file where the source has a folder", file_where_folder_goes,
     b"Unable to create directory - dst/m_dir: File exists",
     {"m_dir": ("file", 0o644, b"kept")}),
]
# Only root can make a folder that belongs to someone else.
if is_root():
    CASES.append(("unwritable target folder", unwritable_target_folder,
                  b"Access denied - dst/m_sub/inner.txt", {"m_sub": ("dir", 0o755, None)}))


def errors():
    checks = Checks()
    for name, setup, error_line, failing_entry in CASES:
        for keep_going in (True, False):
            label = f"{name} ({'/c' if keep_going else 'without /c'})"
            with scratch() as top:
                write(os.path.join(top, "src", FIRST), b"first")
                write(os.path.join(top, "src", LAST), b"last")
                os.makedirs(os.path.join(top, "dst"), exist_ok=True)
                if not setup(top):
                    give_to_nobody(os.path.join(top, "src"), os.path.join(top, "dst"))
                args = ["src", "dst", "/s", "/e", "/i", "/y"] + (["/c"] if keep_going else [])
                result = run(args, top, as_nobody=True)
                copied = [b"src/" + b(FIRST)] + ([b"src/" + b(LAST)] if keep_going else [])
                checks.equal(f"{label}: exit code", result.rc, 4)
                checks.equal(f"{label}: error lines", result.errors, [error_line])
                checks.equal(f"{label}: output", result.lines,
                             copied + [f"{len(copied)} File(s) copied".encode()])
                wanted = {b(FIRST): ("file", 0o644, b"first")}
                if keep_going:
                    wanted[b"z_after"] = ("dir", 0o755, None)
                    wanted[b(LAST)] = ("file", 0o644, b"last")
                wanted.update({b(k): v for k, v in failing_entry.items()})
                checks.equal(f"{label}: the target", snapshot(os.path.join(top, "dst")), wanted)

    # A read-only target folder of the user's own is opened for the run and closed again.
    with scratch() as top:
        write(os.path.join(top, "src", "sub", "new.txt"), b"new")
        write(os.path.join(top, "dst", "sub", "old.txt"), b"old")
        give_to_nobody(os.path.join(top, "src"), os.path.join(top, "dst"))
        os.chmod(os.path.join(top, "dst", "sub"), 0o555)
        result = run(["src", "dst", "/s", "/y"], top, as_nobody=True)
        checks.equal("own read-only folder: exit code", result.rc, 0)
        checks.equal("own read-only folder: new file", read(os.path.join(top, "dst", "sub",
                                                                            "new.txt")), b"new")
        checks.equal("own read-only folder: its bits are back",
                     os.stat(os.path.join(top, "dst", "sub")).st_mode & 0o777, 0o555)
    return checks
