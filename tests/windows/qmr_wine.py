"""What the end-to-end tests of qmr.exe under Wine share: how to start it, and
the bytes it prints.

Every driver takes the same two arguments, the wine-run wrapper of the build
and the built qmr.exe, and exits with 77 (reported by CTest as skipped) when
something it needs is missing here.
"""

import os
import pathlib
import subprocess
import sys
import tempfile
import unittest

SKIP = 77

BANNER = b"\r\n -QMR - Quillmere- \r\n\r\n"
PROMPT = b"Press any Key to exit . . ."
SOURCE_MISSING = b"\r\n Source Path not found...\r\n"
TARGET_MISSING = b"\r\n Target Path not found...\r\n"
BOTH_MISSING = b"\r\n Source Path and Target Path not found...\r\n"
FRAMING_LINE = b" \r\n"
COPY_SWITCHES = "/s /c /d /e /h /i /r /y"


class Program:
    """The built qmr.exe and the wrapper that runs it under Wine."""

    def __init__(self, wine_run, exe):
        self.wine_run = str(pathlib.Path(wine_run).resolve())
        self.exe = pathlib.Path(exe).resolve()
        self.build = self.exe.parent.parent
        self.test_programs = self.build / "tests"

    @property
    def argv0(self):
        """Argument 0 as Wine's loader passes it: the program's whole DOS path."""
        return ("Z:" + str(self.exe).replace("/", "\\")).encode()

    def usage(self):
        return b"\r\n  Usage:\r\n  " + self.argv0 + b" <SourcePath> <TargetPath>\r\n\r\n"

    def command(self, *arguments):
        return [self.wine_run, str(self.exe), *arguments]

    def run(self, *arguments, cwd, env=None):
        """Runs the program with standard input not a console and standard output
        redirected to a file; returns the exit code and every byte it wrote."""
        with tempfile.TemporaryFile() as output:
            completed = subprocess.run(self.command(*arguments), cwd=cwd, env=env,
                                       stdin=subprocess.DEVNULL, stdout=output,
                                       stderr=subprocess.PIPE, timeout=300, check=False)
            output.seek(0)
            return completed.returncode, output.read()


def dos_path(path):
    """The path as a Windows program under Wine names it (drive Z: is /)."""
    return "Z:" + str(pathlib.Path(path).resolve()).replace("/", "\\")


def main(test_case_module, required=()):
    """Runs the module's tests against the program named on the command line.

    `required` lists (check, reason) pairs; a failing check skips the suite."""
    if len(sys.argv) != 3:
        sys.stderr.write(f"usage: {sys.argv[0]} WINE_RUN QMR_EXE\n")
        return 2
    program = Program(sys.argv[1], sys.argv[2])
    for check, reason in required:
        if not check(program):
            print(f"SKIPPED: {reason}")
            return SKIP
    test_case_module.PROGRAM = program
    suite = unittest.defaultTestLoader.loadTestsFromModule(test_case_module)
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    return 0 if result.wasSuccessful() else 1

