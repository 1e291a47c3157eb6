#!/usr/bin/python3
"""qmr.exe under Wine in a tmux pane, where Wine gives it a console: what the
screen shows, where the cursor stands, that the key wait uses no processor
time, and that a key ends the run with the exit code.

console_test.py WINE_RUN QMR_EXE
"""

import os
import pathlib
import shlex
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

import qmr_wine

PROGRAM = None  # set by qmr_wine.main

PROMPT = qmr_wine.PROMPT.decode()
WIDTH, HEIGHT = 100, 30


class Pane:
    """One tmux pane on a server of its own, running one shell command."""

    def __init__(self, command, cwd):
        self.socket = f"qmr-e2e-{os.getpid()}-{time.monotonic_ns()}"
        # The pane stays after the command has ended, so that its last screen can be read.
        self.tmux("-f", "/dev/null", "new-session", "-d", "-x", str(WIDTH), "-y", str(HEIGHT),
                  "-c", str(cwd), f"{command}; echo CODE=$?; sleep 600")

    def tmux(self, *arguments):
        return subprocess.run(["tmux", "-L", self.socket, *arguments], capture_output=True,
                              text=True, check=True, timeout=60).stdout

    def screen(self):
        """The visible rows, trailing blanks removed."""
        return self.tmux("capture-pane", "-p").split("\n")[:HEIGHT]

    def cursor(self):
        column, row = self.tmux("display", "-p", "#{cursor_x} #{cursor_y}").split()
        return int(column), int(row)

    def wait_for(self, text, timeout=120):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            screen = self.screen()
            if any(text in row for row in screen):
                return screen
            time.sleep(0.25)
        raise AssertionError(f"{text!r} never appeared; the screen:\n" + "\n".join(self.screen()))

    def send(self, *keys):
        self.tmux("send-keys", *keys)

    def process_ticks(self, name):
        """Processor time (clock ticks) used so far by the pane's process whose
        command line holds `name`."""
        pending = [int(self.tmux("display", "-p", "#{pane_pid}").strip())]
        while pending:
            pid = pending.pop()
            try:
                if name in pathlib.Path(f"/proc/{pid}/cmdline").read_bytes().decode(errors="replace"):
                    fields = pathlib.Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
                    return int(fields[11]) + int(fields[12])  # utime + stime
                children = pathlib.Path(f"/proc/{pid}/task/{pid}/children").read_text().split()
            except OSError:
                continue
            pending.extend(int(child) for child in children)
        raise AssertionError(f"no process {name} in the pane")

    def close(self):
        subprocess.run(["tmux", "-L", self.socket, "kill-server"], capture_output=True, check=False)


class ConsoleTest(unittest.TestCase):
    def setUp(self):
        scratch = tempfile.TemporaryDirectory(prefix="qmr-e2e-")
        self.addCleanup(scratch.cleanup)
        self.dir = pathlib.Path(scratch.name)

    def start(self, *arguments):
        command = " ".join(shlex.quote(part) for part in PROGRAM.command(*arguments))
        pane = Pane(command, self.dir)
        self.addCleanup(pane.close)
        return pane

    def test_usage_screen_then_a_key_ends_with_87(self):
        pane = self.start()
        screen = pane.wait_for(PROMPT)
        self.assertEqual(screen[:8], [
            "",
            " -QMR - Quillmere-",
            "",
            "",
            "  Usage:",
            "  " + PROGRAM.argv0.decode() + " <SourcePath> <TargetPath>",
            "",
            PROMPT,
        ])
        self.assertEqual(pane.cursor(), (len(PROMPT), 7))
        # The wait sleeps: over two seconds it uses (almost) no processor time.
        before = pane.process_ticks("qmr.exe")
        time.sleep(2)
        used = pane.process_ticks("qmr.exe") - before
        self.assertLess(used, os.sysconf("SC_CLK_TCK") // 10, "the key wait keeps the processor busy")
        pane.send("x")
        screen = pane.wait_for("CODE=")
        self.assertIn(PROMPT + "CODE=87", screen)

    def test_copy_scrolls_the_screen_then_a_function_key_ends_with_0(self):
        files = 2 * HEIGHT
        (self.dir / "dst").mkdir()
        (self.dir / "src").mkdir()
        for n in range(files):
            (self.dir / "src" / f"file{n:02}.txt").write_text(str(n))
        pane = self.start("src", "dst")
        screen = pane.wait_for(PROMPT)
        # The copy's output ran past the bottom; the end of it stays in view.
        last = max(i for i, row in enumerate(screen) if row)
        self.assertEqual(screen[last - 2:last + 1], [f"{files} file(s) copied", "", PROMPT])
        self.assertEqual(pane.cursor(), (len(PROMPT), last))
        self.assertEqual(last, HEIGHT - 1)
        self.assertEqual(len(list((self.dir / "dst").iterdir())), files)
        pane.send("F1")
        screen = pane.wait_for("CODE=")
        self.assertIn(PROMPT + "CODE=0", screen)

    def test_missing_target_screen_then_an_arrow_ends_with_3(self):
        (self.dir / "src").mkdir()
        pane = self.start("src", "nowhere")
        screen = pane.wait_for(PROMPT)
        self.assertEqual(screen[2:7], ["", "", " Target Path not found...", "", "  Usage:"])
        pane.send("Up")
        screen = pane.wait_for("CODE=")
        self.assertIn(PROMPT + "CODE=3", screen)


if __name__ == "__main__":
    sys.exit(qmr_wine.main(sys.modules[__name__],
                           required=[(lambda _: shutil.which("tmux"), "tmux is not installed")]))
