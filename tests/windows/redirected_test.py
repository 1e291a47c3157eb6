#!/usr/bin/python3
"""qmr.exe under Wine with standard output redirected to a file and standard
input not a console: the exact bytes, the exit codes, and a real copy made by
Wine's own cmd and xcopy.

redirected_test.py WINE_RUN QMR_EXE
"""

import os
import pathlib
import re
import shutil
import sys
import tempfile
import unittest

import qmr_wine
from qmr_wine import BANNER, BOTH_MISSING, FRAMING_LINE, PROMPT, SOURCE_MISSING, TARGET_MISSING

PROGRAM = None  # set by qmr_wine.main


def make_tree(root, files):
    """Creates the files (relative path -> bytes) under root."""
    for name, data in files.items():
        path = pathlib.Path(root, name)
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)


def read_tree(root):
    """Every file under root as relative path -> bytes."""
    root = pathlib.Path(root)
    return {str(p.relative_to(root)): p.read_bytes() for p in root.rglob("*") if p.is_file()}


class ScratchTest(unittest.TestCase):
    def setUp(self):
        scratch = tempfile.TemporaryDirectory(prefix="qmr-e2e-")
        self.addCleanup(scratch.cleanup)
        self.dir = pathlib.Path(scratch.name)

    def run_qmr(self, *arguments, env=None):
        return PROGRAM.run(*arguments, cwd=self.dir, env=env)


class ArgumentCountTest(ScratchTest):
    def test_no_arguments_prints_banner_usage_and_prompt(self):
        code, output = self.run_qmr()
        self.assertEqual(output, BANNER + PROGRAM.usage() + PROMPT)
        self.assertTrue(output.startswith(bytes([13, 10, 32, 45])))
        self.assertEqual(code, 87)

    def test_one_or_three_arguments_are_treated_alike(self):
        (self.dir / "a").mkdir()
        for arguments in (["a"], ["a", "a", "a"]):
            with self.subTest(arguments=arguments):
                code, output = self.run_qmr(*arguments)
                self.assertEqual(output, BANNER + PROGRAM.usage() + PROMPT)
                self.assertEqual(code, 87)

    def test_wildcards_are_expanded_before_the_count(self):
        # Unexpanded, "*.txt dst" would be two arguments and a missing source (3).
        make_tree(self.dir, {"one.txt": b"1", "two.txt": b"2"})
        (self.dir / "dst").mkdir()
        code, output = self.run_qmr("*.txt", "dst")
        self.assertEqual(output, BANNER + PROGRAM.usage() + PROMPT)
        self.assertEqual(code, 87)

    def test_wildcards_name_the_directories_to_copy(self):
        make_tree(self.dir, {"source_tree/f.txt": b"data"})
        (self.dir / "target_tree").mkdir()
        code, output = self.run_qmr("sou*", "tar*")
        self.assertEqual(code, 0, output)
        self.assertEqual(read_tree(self.dir / "target_tree"), {"f.txt": b"data"})


class MissingPathTest(ScratchTest):
    def test_each_missing_path_is_named(self):
        (self.dir / "here").mkdir()
        (self.dir / "file.txt").write_bytes(b"not a directory")
        cases = [
            ("nowhere", "here", SOURCE_MISSING),
            ("here", "nowhere", TARGET_MISSING),
            ("nowhere", "nowhere either", BOTH_MISSING),
            ("file.txt", "here", SOURCE_MISSING),
            ("here", "file.txt", TARGET_MISSING),
            ("", "here", SOURCE_MISSING),
        ]
        for source, target, message in cases:
            with self.subTest(source=source, target=target):
                code, output = self.run_qmr(source, target)
                self.assertEqual(output, BANNER + message + PROGRAM.usage() + PROMPT)
                self.assertEqual(code, 3)
        self.assertEqual(sorted(p.name for p in self.dir.iterdir()), ["file.txt", "here"])
        self.assertEqual(list((self.dir / "here").iterdir()), [])


class CopyTest(ScratchTest):
    TREE = {
        "a.txt": b"alpha\r\n",
        "sub/b.txt": b"beta",
        "sub/deeper/c.bin": bytes(range(256)),
    }

    def assert_copy_output(self, output):
        self.assertTrue(output.startswith(BANNER + FRAMING_LINE), output)
        self.assertTrue(output.endswith(FRAMING_LINE + PROMPT), output)
        self.assertRegex(output, rb"\r\n3 file\(s\) copied\r\n")

    def test_copies_the_tree(self):
        make_tree(self.dir / "src", self.TREE)
        (self.dir / "src" / "empty").mkdir()
        (self.dir / "dst").mkdir()
        code, output = self.run_qmr("src", "dst")
        self.assert_copy_output(output)
        self.assertEqual(code, 0)
        self.assertEqual(read_tree(self.dir / "dst"), self.TREE)
        self.assertTrue((self.dir / "dst" / "empty").is_dir())

    def test_copies_between_absolute_windows_paths(self):
        make_tree(self.dir / "src", self.TREE)
        (self.dir / "dst").mkdir()
        code, output = self.run_qmr(qmr_wine.dos_path(self.dir / "src"),
                                    qmr_wine.dos_path(self.dir / "dst") + "\\")
        self.assert_copy_output(output)
        self.assertEqual(code, 0)
        self.assertEqual(read_tree(self.dir / "dst"), self.TREE)

    def test_paths_with_blanks_and_metacharacters_copy_right(self):
        environment = dict(os.environ, QMR_DEFINED="expanded")
        # | < > and " cannot stand in Windows file names; the quoting tests of the
        # platform services check them.
        names = [
            ("my src & co", "my dst & co"),
            ("(x) ^y", "t (1) ^ & z"),
            ("100% %PATH% src", "%QMR_DEFINED% dst"),
        ]
        for source, target in names:
            with self.subTest(source=source, target=target):
                make_tree(self.dir / source, self.TREE)
                (self.dir / target).mkdir()
                code, output = self.run_qmr(source, target, env=environment)
                self.assert_copy_output(output)
                self.assertEqual(code, 0)
                self.assertEqual(read_tree(self.dir / target), self.TREE)
                self.assertFalse((self.dir / "expanded dst").exists())

    def test_second_run_copies_nothing_unchanged(self):
        make_tree(self.dir / "src", self.TREE)
        (self.dir / "dst").mkdir()
        self.run_qmr("src", "dst")
        code, output = self.run_qmr("src", "dst")
        self.assertEqual(code, 0)
        self.assertRegex(output, rb"\r\n0 file\(s\) copied\r\n")


class CopyCommandTest(ScratchTest):
    """The echo program stands in for xcopy: cmd finds it in the current folder
    before the system's, and it records what reached it."""

    def run_with_stand_in(self, source, target, exit_code):
        shutil.copy(PROGRAM.test_programs / "argument_echo.exe", self.dir / "xcopy.exe")
        record = self.dir / "xcopy.out"
        environment = dict(os.environ, QMR_ECHO_OUTPUT=qmr_wine.dos_path(record),
                           QMR_ECHO_EXIT=str(exit_code), QMR_DEFINED="expanded")
        code, output = self.run_qmr(source, target, env=environment)
        items = record.read_bytes().split(b"\0")[:-1]
        return code, output, items

    def test_command_line_names_both_paths_quoted(self):
        for source, target in (("src", "dst"), ("my src & co", "%QMR_DEFINED% (1)")):
            with self.subTest(source=source, target=target):
                (self.dir / source).mkdir()
                (self.dir / target).mkdir()
                code, output, items = self.run_with_stand_in(source, target, 0)
                self.assertEqual(code, 0)
                self.assertEqual(output, BANNER + FRAMING_LINE + FRAMING_LINE + PROMPT)
                self.assertTrue(items[0].startswith(f"xcopy {qmr_wine.COPY_SWITCHES} ".encode()),
                                items[0])
                self.assertEqual(items[1:], [*qmr_wine.COPY_SWITCHES.encode().split(),
                                             source.encode(), target.encode()])

    def test_failed_copy_ends_with_the_command_code(self):
        (self.dir / "src").mkdir()
        (self.dir / "dst").mkdir()
        code, output, _ = self.run_with_stand_in("src", "dst", 5)
        self.assertEqual(code, 5)
        self.assertEqual(output, BANNER + FRAMING_LINE + FRAMING_LINE + PROMPT)


if __name__ == "__main__":
    sys.exit(qmr_wine.main(sys.modules[__name__]))
