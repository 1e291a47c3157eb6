"""What every end-to-end case of the xcopy stand-in needs: real trees in
temporary folders, running the program (as ourselves, as an unprivileged user,
or on a terminal), and snapshots of trees to compare."""

import contextlib
import os
import pty
import select
import shutil
import stat
import subprocess
import tempfile
import time

SKIPPED = 77
NOBODY = 65534

# Set by the driver: the program under test, and the front end when a group needs it.
programs = {}


class Skip(Exception):
    """The group cannot run here (not root, no loop device...)."""


class Checks:
    """Collects failed expectations, so one run reports every difference."""

    def __init__(self):
        self.failures = []

    def equal(self, what, got, want):
        if got != want:
            self.failures.append(f"{what}:\n    got:  {got!r}\n    want: {want!r}")

    def true(self, what, condition):
        if not condition:
            self.failures.append(what)


class Result:
    def __init__(self, returncode, stdout, stderr):
        self.rc = returncode
        self.stdout = stdout
        self.stderr = stderr

    @property
    def lines(self):
        """Standard output as a list of byte strings, one per LF-ended line."""
        text = self.stdout
        if text.endswith(b"\n"):
            text = text[:-1]
        return text.split(b"\n") if text else []

    @property
    def errors(self):
        text = self.stderr
        if text.endswith(b"\n"):
            text = text[:-1]
        return text.split(b"\n") if text else []


def is_root():
    return os.geteuid() == 0


def b(text):
    return text if isinstance(text, bytes) else text.encode()


def environment():
    env = dict(os.environ)
    # COPYCMD could preset /Y or /-Y and change what a case means.
    env.pop("COPYCMD", None)
    return env


def command(args, as_nobody=False):
    line = [programs["xcopy"]] + [b(a) for a in args]
    if as_nobody and is_root():
        line = ["setpriv", f"--reuid={NOBODY}", f"--regid={NOBODY}", "--clear-groups"] + line
    return line


def run(args, cwd, as_nobody=False, timeout=60, stdin=subprocess.DEVNULL):
    """Runs the copier with `args`; no terminal anywhere unless asked for."""
    done = subprocess.run(command(args, as_nobody), cwd=cwd, stdin=stdin, capture_output=True,
                          timeout=timeout, env=environment())
    return Result(done.returncode, done.stdout, done.stderr)


def run_on_terminal(args, cwd, exchanges, timeout=20):
    """Runs the copier with a terminal as standard input. `exchanges` is a list
    of (text, reply): wait until `text` is on standard output, then type `reply`."""
    master, slave = pty.openpty()
    process = subprocess.Popen(command(args), cwd=cwd, stdin=slave, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, start_new_session=True,
                               env=environment())
    os.close(slave)
    deadline = time.monotonic() + timeout
    seen = b""
    matched = 0  # the output up to here answered earlier questions
    try:
        for text, reply in exchanges:
            while b(text) not in seen[matched:]:
                left = deadline - time.monotonic()
                if left <= 0:
                    raise TimeoutError(f"no {text!r} on standard output, got {seen!r}")
                ready, _, _ = select.select([process.stdout, master], [], [], left)
                if master in ready:
                    os.read(master, 4096)  # the terminal's echo of what was typed
                if process.stdout in ready:
                    chunk = os.read(process.stdout.fileno(), 4096)
                    if not chunk:
                        raise TimeoutError(f"output ended before {text!r}: {seen!r}")
                    seen += chunk
            matched = seen.index(b(text), matched) + len(b(text))
            os.write(master, b(reply))
        rest, errors = process.communicate(timeout=max(1, deadline - time.monotonic()))
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
        os.close(master)
    return Result(process.returncode, seen + rest, errors)


@contextlib.contextmanager
def scratch():
    """A temporary folder that anyone may enter (the unprivileged cases run in it)."""
    folder = tempfile.mkdtemp(prefix="xcopy-e2e-")
    os.chmod(folder, 0o755)
    try:
        yield folder
    finally:
        for root, dirs, _ in os.walk(folder):
            for d in dirs:
                path = os.path.join(root, d)
                if not os.path.islink(path):
                    os.chmod(path, 0o755)
        shutil.rmtree(folder, ignore_errors=True)


def write(path, data=b"", mode=None, mtime_ns=None):
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    with open(path, "wb") as f:
        f.write(b(data))
    if mode is not None:
        os.chmod(path, mode)
    if mtime_ns is not None:
        os.utime(path, ns=(mtime_ns, mtime_ns))


def read(path):
    with open(path, "rb") as f:
        return f.read()


def give_to_nobody(*paths):
    """Makes the trees belong to the unprivileged user that the error cases run as."""
    if not is_root():
        return
    for top in paths:
        os.lchown(top, NOBODY, NOBODY)
        for root, dirs, files in os.walk(top):
            for name in dirs + files:
                os.lchown(os.path.join(root, name), NOBODY, NOBODY)


def snapshot(top, times=False):
    """Every entry under `top` as {relative path: (kind, mode, content or link text[, mtime])}."""
    entries = {}
    top = b(top)
    for root, dirs, files in os.walk(top):
        for name in dirs + files:
            path = os.path.join(root, name)
            relative = os.path.relpath(path, top)
            st = os.lstat(path)
            if stat.S_ISLNK(st.st_mode):
                entry = ("link", None, os.readlink(path))
            elif stat.S_ISDIR(st.st_mode):
                entry = ("dir", stat.S_IMODE(st.st_mode), None)
            elif stat.S_ISREG(st.st_mode):
                entry = ("file", stat.S_IMODE(st.st_mode), read(path))
            else:
                entry = ("special", stat.S_IMODE(st.st_mode), None)
            if times and entry[0] != "link":
                entry += (st.st_mtime_ns,)
            entries[relative] = entry
    return entries


def temp_files(top):
    """The copier's temporary files anywhere under `top`."""
    found = []
    for root, dirs, files in os.walk(top):
        found += [os.path.join(root, n) for n in files if n.startswith(".xcopy-tmp-")]
    return found
