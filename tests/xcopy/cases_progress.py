"""The progress line on a terminal. A copy slowed down by the test library (each
transfer waits) runs long enough for the line to show, with the percentage of a
file that takes over a second; the screen afterwards, with the carriage
returns and erasures applied, holds exactly the lines of a run without a
terminal. With standard error not a terminal, no byte of it appears anywhere."""

import fcntl
import os
import pty
import select
import struct
import subprocess
import termios
import time

from harness import Checks, Skip, command, environment, scratch, write

FIXED = ["/s", "/c", "/d", "/e", "/h", "/i", "/r", "/y"]
BIG = 100_000_000  # in 16 MiB pieces, each slowed down: about two seconds in all
COLUMNS = 60


def slowed_environment():
    shim = os.environ.get("QMR_TEST_SLOW_SHIM", "")
    if not os.path.exists(shim):
        raise Skip("the fault library that slows the copy down was not given")
    return dict(environment(), LD_PRELOAD=shim, QMR_FAULT_SLOW="300")


def make_source(top):
    write(os.path.join(top, "src", "a_small.txt"), b"small")
    with open(os.path.join(top, "src", "big.bin"), "wb") as f:
        for _ in range(BIG // 1_000_000):
            f.write(os.urandom(1_000_000))
    write(os.path.join(top, "src", "sub", "inner.txt"), b"inner")
    # An error line, so that standard error has something to compare.
    os.symlink("nowhere", os.path.join(top, "src", "dangling"))


def run_on_terminal(top, target, env, stderr_on_terminal=True, stdout_on_terminal=True):
    """Runs the fixed command line with a pseudo-terminal of COLUMNS columns as
    standard input and, as asked, as standard output and error. Returns the
    exit code, the terminal's bytes, and what went elsewhere."""
    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, COLUMNS, 0, 0))
    process = subprocess.Popen(
        command(["src", target] + FIXED), cwd=top, env=env, stdin=slave,
        stdout=slave if stdout_on_terminal else subprocess.PIPE,
        stderr=slave if stderr_on_terminal else subprocess.PIPE)
    os.close(slave)
    seen = b""
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        ready, _, _ = select.select([master], [], [], 0.2)
        if ready:
            try:
                chunk = os.read(master, 65536)
            except OSError:  # the other side is closed: the run is over
                break
            if not chunk:
                break
            seen += chunk
        elif process.poll() is not None:
            break
    out, err = process.communicate(timeout=60)
    os.close(master)
    return process.returncode, seen, out or b"", err or b""


def screen_lines(data):
    """The lines a terminal shows after `data`: \\r goes to the start of the
    line, \\n to the next one, ESC [ K erases to the end of the line."""
    lines, row, column = [bytearray()], 0, 0
    at = 0
    while at < len(data):
        if data.startswith(b"\x1b[K", at):
            del lines[row][column:]
            at += 3
            continue
        byte = data[at]
        at += 1
        if byte == 0x0D:
            column = 0
        elif byte == 0x0A:
            row += 1
            if row == len(lines):
                lines.append(bytearray())
        else:
            line = lines[row]
            line.extend(b" " * (column - len(line)))
            line[column:column + 1] = bytes([byte])
            column += 1
    if not lines[-1]:
        lines.pop()
    return [bytes(line) for line in lines]


def status_lines(data):
    """Every status line drawn: what follows a \\r up to the erasure after it."""
    return [piece.split(b"\x1b[K")[0] for piece in data.split(b"\r")[1:]
            if b"\x1b[K" in piece and piece.split(b"\x1b[K")[0]]


def progress():
    checks = Checks()
    env = slowed_environment()
    with scratch() as top:
        make_source(top)
        plain = subprocess.run(command(["src", "plain"] + FIXED), cwd=top, env=env,
                               stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        merged = subprocess.run(command(["src", "merged"] + FIXED), cwd=top, env=env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, timeout=60).stdout
        checks.equal("without a terminal: exit code", plain.returncode, 4)
        plain_lines = plain.stdout.splitlines()
        checks.true("without a terminal: the files are listed",
                    b"src/big.bin" in plain_lines and plain_lines[-1] == b"3 File(s) copied")

        # Both streams on the terminal, as a user runs it.
        code, seen, _, _ = run_on_terminal(top, "shown", env)
        checks.equal("on a terminal: exit code", code, plain.returncode)
        drawn = [line for line in status_lines(seen) if b"files" in line or b"file," in line]
        checks.true(f"on a terminal: the progress line is drawn ({seen[:300]!r})", len(drawn) > 3)
        checks.true(f"on a terminal: the large file shows its percentage ({drawn[-3:]!r})",
                    any(b"%" in line for line in drawn))
        checks.true(f"on a terminal: no status line is wider than the terminal ({drawn[:3]!r})",
                    all(len(line) < COLUMNS for line in drawn))
        checks.equal("on a terminal: the final screen holds exactly the run's lines",
                     screen_lines(seen), merged.splitlines())

        # Standard error elsewhere: nothing of the line anywhere, byte for byte.
        code, seen, _, err = run_on_terminal(top, "redirected", env, stderr_on_terminal=False)
        checks.equal("standard error redirected: exit code", code, plain.returncode)
        checks.equal("standard error redirected: its bytes", err, plain.stderr)
        checks.equal("standard error redirected: the terminal shows standard output only",
                     seen, plain.stdout.replace(b"\n", b"\r\n"))

        # Standard output elsewhere, standard error on the terminal: the output
        # keeps no trace of the line, and the terminal ends empty but for the error.
        code, seen, out, _ = run_on_terminal(top, "to_file", env, stdout_on_terminal=False)
        checks.equal("standard output redirected: exit code", code, plain.returncode)
        checks.equal("standard output redirected: its bytes", out, plain.stdout)
        checks.true("standard output redirected: the line is drawn on the terminal",
                    len(status_lines(seen)) > 3)
        checks.equal("standard output redirected: the final screen holds the error line only",
                     screen_lines(seen), plain.stderr.splitlines())
    return checks
