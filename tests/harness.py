"""Runs the built qmr for the end-to-end suites: with its output in a file, or
as a job in the foreground of a fresh pseudo-terminal, the way an interactive
shell starts it."""

import fcntl
import os
import resource
import select
import shutil
import signal
import subprocess
import tempfile
import termios
import time
import unittest

BINARY = os.environ.get("QMR_BINARY", "")

BANNER = b"\r\n -QMR - Quillmere- \r\n\r\n"
PROMPT = b"Press any Key to exit . . ."
FRAME = b" \r\n"
SWITCHES = [b"/s", b"/c", b"/d", b"/e", b"/h", b"/i", b"/r", b"/y"]


def usage(argv0):
    return b"\r\n  Usage:\r\n  " + argv0 + b" <SourcePath> <TargetPath>\r\n\r\n"


def require_binary():
    if not BINARY or not os.access(BINARY, os.X_OK):
        raise unittest.SkipTest("QMR_BINARY does not name the built program")


def run_with_output_in_file(args, stdin=subprocess.DEVNULL, argv0=None, binary=None,
                            cwd=None, env=None, close_stdin=False, preexec=None):
    """Runs the program to its end with standard output in a file; returns the
    exit code and the bytes of the file."""
    binary = binary or BINARY
    argv = [argv0 if argv0 is not None else os.fsencode(binary)] + list(args)

    def prepare():
        if close_stdin:
            os.close(0)
        if preexec:
            preexec()

    with tempfile.TemporaryFile() as out:
        # A program that waited for a key here would never end: the time-out
        # turns that into a failure.
        completed = subprocess.run(argv, executable=binary, stdin=stdin, stdout=out,
                                   stderr=subprocess.DEVNULL, cwd=cwd, env=env,
                                   preexec_fn=prepare, timeout=20)
        out.seek(0)
        return completed.returncode, out.read()


def process_state(pid):
    """The state letter of /proc/<pid>/stat (R, S, T, Z ...), or None once gone."""
    try:
        with open(f"/proc/{pid}/stat", "rb") as stat:
            fields = stat.read().rsplit(b")", 1)[1].split()
    except FileNotFoundError:
        return None
    return fields[0].decode()


def processor_ticks(pid):
    """User plus system time of the process so far, in clock ticks."""
    with open(f"/proc/{pid}/stat", "rb") as stat:
        fields = stat.read().rsplit(b")", 1)[1].split()
    # After the command name: state is field 3, utime 14 and stime 15.
    return int(fields[11]) + int(fields[12])


class TerminalJob:
    """qmr in the foreground of a new pseudo-terminal. A keeper process leads
    the terminal's session, like a shell; qmr runs in a process group of its
    own that owns the terminal, so Ctrl+C, Ctrl+\\ and Ctrl+Z typed into the
    terminal reach it and a stop really stops it."""

    def __init__(self, args, typed_ahead=b"", ignore_hangup=False, background=False):
        self.master, self.slave = os.openpty()
        self.settings_before = termios.tcgetattr(self.slave)
        self.output = b""
        self.status = None
        if typed_ahead:
            os.write(self.master, typed_ahead)
        status_read, status_write = os.pipe()
        command_read, self.command_pipe = os.pipe()
        self.keeper = os.fork()
        if self.keeper == 0:
            try:
                os.close(status_read)
                os.close(self.command_pipe)
                self._keep(args, status_write, command_read, ignore_hangup, background)
            finally:
                os._exit(127)
        os.close(status_write)
        os.close(command_read)
        self.status_pipe = status_read
        self.pid = int(self._read_status_line(10))

    def _keep(self, args, status_write, command_read, ignore_hangup, background):
        os.close(self.master)
        os.setsid()
        fcntl.ioctl(self.slave, termios.TIOCSCTTY, 0)
        # The keeper must outlive a hang-up to report how qmr ended.
        signal.signal(signal.SIGHUP, signal.SIG_IGN)
        signal.signal(signal.SIGTTOU, signal.SIG_IGN)
        child = os.fork()
        if child == 0:
            os.close(command_read)
            os.setpgid(0, 0)
            if not background:
                os.tcsetpgrp(self.slave, os.getpgrp())
            for s in (signal.SIGTTOU, signal.SIGPIPE, signal.SIGXFSZ, signal.SIGINT,
                      signal.SIGQUIT, signal.SIGTSTP, signal.SIGTERM, signal.SIGHUP):
                signal.signal(s, signal.SIG_DFL)
            if ignore_hangup:
                signal.signal(signal.SIGHUP, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
            for fd in (0, 1, 2):
                os.dup2(self.slave, fd)
            os.execv(BINARY, [BINARY] + list(args))
        try:
            os.setpgid(child, child)
        except OSError:
            pass
        os.write(status_write, b"%d\n" % child)
        # Like a shell's "fg": on request, hand the terminal to qmr's process
        # group and let it go on.
        while True:
            ended, status = os.waitpid(child, os.WNOHANG)
            if ended:
                break
            if select.select([command_read], [], [], 0.01)[0] and os.read(command_read, 1):
                os.tcsetpgrp(self.slave, child)
                os.killpg(child, signal.SIGCONT)
        os.write(status_write, b"%d\n" % status)
        os._exit(0)

    def _read_status_line(self, timeout):
        line = b""
        deadline = time.monotonic() + timeout
        while not line.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.status_pipe], [], [], left)[0]:
                return None
            chunk = os.read(self.status_pipe, 1)
            if not chunk:
                return None
            line += chunk
        return line

    def read_output(self, until=None, timeout=10.0):
        """Collects what qmr wrote to the terminal, until `until` has been
        seen or, without it, until nothing came for `timeout` seconds."""
        deadline = time.monotonic() + timeout
        while until is None or until not in self.output:
            left = deadline - time.monotonic()
            if left <= 0:
                break
            try:
                ready = select.select([self.master], [], [], left)[0]
            except ValueError:
                break
            if not ready:
                break
            try:
                chunk = os.read(self.master, 4096)
            except OSError:
                break
            if not chunk:
                break
            self.output += chunk
        return self.output

    def wait_for_prompt(self):
        """Returns once the prompt is shown and the wait has begun: the
        prompt goes out just before the first poll, which switches the
        terminal's mode and installs the signal handlers."""
        self.read_output(until=PROMPT)
        if PROMPT not in self.output:
            raise AssertionError(f"no prompt; the terminal showed {self.output!r}")
        deadline = time.monotonic() + 10
        while self.settings() == self.settings_before:
            if time.monotonic() > deadline:
                raise AssertionError("the terminal never left its own settings")
            time.sleep(0.005)

    def type(self, data):
        os.write(self.master, data)

    def bring_to_foreground(self):
        os.write(self.command_pipe, b"f")

    def hang_up(self):
        """Closes the terminal, as closing a terminal window does."""
        os.close(self.master)
        self.master = None

    def settings(self):
        return termios.tcgetattr(self.slave)

    def wait_state(self, wanted, timeout=10.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if process_state(self.pid) == wanted:
                return True
            time.sleep(0.01)
        return False

    def finish(self, timeout=10.0):
        """The exit code as subprocess gives it (minus the signal number for a
        process ended by a signal), or None when qmr did not end in time."""
        if self.status is None:
            line = self._read_status_line(timeout)
            if line is None:
                return None
            self.status = os.waitstatus_to_exitcode(int(line))
        return self.status

    def still_running(self, seconds):
        """True when qmr has not ended within the given time."""
        return self._read_status_line(seconds) is None

    def close(self):
        if self.status is None and process_state(self.pid) not in (None, "Z"):
            try:
                os.kill(self.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        try:
            os.waitpid(self.keeper, 0)
        except ChildProcessError:
            pass
        for fd in (self.master, self.slave, self.status_pipe, self.command_pipe):
            if fd is not None:
                os.close(fd)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class CopierLayout:
    """A copy of qmr installed in a temporary prefix (bin/qmr) with a stand-in
    libexec/qmr/xcopy that records the arguments it was given, byte for byte,
    and exits with the code QMR_TEST_XCOPY_CODE names."""

    FAKE_XCOPY = b"""#!/bin/sh
printf '%s\\0' "$@" >"$QMR_TEST_XCOPY_ARGUMENTS"
test -d "$9" && test -d "${10}" || exit 9
printf 'fake xcopy ran\\n'
exit "${QMR_TEST_XCOPY_CODE:-0}"
"""

    def __init__(self, with_xcopy=True):
        self.root = tempfile.mkdtemp(prefix="qmr-e2e-")
        self.binary = os.path.join(self.root, "bin", "qmr")
        os.makedirs(os.path.dirname(self.binary))
        shutil.copy2(BINARY, self.binary)
        self.arguments_file = os.path.join(self.root, "xcopy-arguments")
        if with_xcopy:
            libexec = os.path.join(self.root, "libexec", "qmr")
            os.makedirs(libexec)
            xcopy = os.path.join(libexec, "xcopy")
            with open(xcopy, "wb") as script:
                script.write(self.FAKE_XCOPY)
            os.chmod(xcopy, 0o755)
        self.work = os.path.join(self.root, "work")
        os.mkdir(self.work)

    def environment(self, code=0, path=None):
        env = dict(os.environ)
        env["QMR_TEST_XCOPY_ARGUMENTS"] = self.arguments_file
        env["QMR_TEST_XCOPY_CODE"] = str(code)
        if path is not None:
            env["PATH"] = path
        return env

    def received_arguments(self):
        """The arguments the stand-in got, or None when it did not run."""
        try:
            with open(self.arguments_file, "rb") as received:
                data = received.read()
        except FileNotFoundError:
            return None
        os.unlink(self.arguments_file)
        return data.split(b"\0")[:-1]

    def close(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
