"""The program's bytes and exit codes with its output in a file, the command
line its copier receives, and runs where no key can ever arrive."""

import os
import shutil
import subprocess
import tempfile
import unittest

from harness import (BANNER, BINARY, FRAME, PROMPT, SWITCHES, CopierLayout, require_binary,
                     run_with_output_in_file, usage)

SOURCE_MISSING = b"\r\n Source Path not found...\r\n"
TARGET_MISSING = b"\r\n Target Path not found...\r\n"
BOTH_MISSING = b"\r\n Source Path and Target Path not found...\r\n"


class OutputTest(unittest.TestCase):
    def setUp(self):
        require_binary()
        self.temporary = tempfile.mkdtemp(prefix="qmr-e2e-")
        self.addCleanup(shutil.rmtree, self.temporary, ignore_errors=True)

    def path(self, *names):
        return os.fsencode(os.path.join(self.temporary, *names))

    def test_wrong_argument_count_prints_banner_usage_prompt_and_ends_with_87(self):
        argv0 = os.fsencode(BINARY)
        for args in ([], [b"one"], [b"a", b"b", b"c"]):
            with self.subTest(args=args):
                self.assertEqual(run_with_output_in_file(args),
                                 (87, BANNER + usage(argv0) + PROMPT))

    def test_usage_names_the_program_as_it_was_called(self):
        for argv0 in (b"qmr", b"./bin/qmr", b"QMR.EXE"):
            with self.subTest(argv0=argv0):
                code, output = run_with_output_in_file([], argv0=argv0)
                self.assertEqual(code, 87)
                self.assertEqual(output, BANNER + usage(argv0) + PROMPT)

    def test_missing_paths_name_what_is_missing_and_end_with_3(self):
        os.mkdir(self.path("there"))
        with open(self.path("file"), "w"):
            pass
        there, missing, file = self.path("there"), self.path("missing"), self.path("file")
        cases = {
            "source missing": ([missing, there], SOURCE_MISSING),
            "target missing": ([there, missing], TARGET_MISSING),
            "both missing": ([missing, self.path("missing", "too")], BOTH_MISSING),
            "a file as source": ([file, there], SOURCE_MISSING),
            "empty target": ([there, b""], TARGET_MISSING),
        }
        argv0 = os.fsencode(BINARY)
        for name, (args, message) in cases.items():
            with self.subTest(name):
                self.assertEqual(run_with_output_in_file(args),
                                 (3, BANNER + message + usage(argv0) + PROMPT))

    def test_no_terminal_on_standard_input_ends_at_once(self):
        # No key can ever come: the prompt is printed and the program ends with
        # its caller's code instead of waiting.
        expected = (87, BANNER + usage(os.fsencode(BINARY)) + PROMPT)
        with self.subTest("/dev/null"):
            self.assertEqual(run_with_output_in_file([], stdin=subprocess.DEVNULL), expected)
        with self.subTest("closed"):
            self.assertEqual(run_with_output_in_file([], close_stdin=True), expected)
        with self.subTest("a file with bytes in it"):
            with tempfile.TemporaryFile() as keys:
                keys.write(b"x\n")
                keys.seek(0)
                self.assertEqual(run_with_output_in_file([], stdin=keys), expected)
        with self.subTest("a pipe whose writer stays open"):
            read_end, write_end = os.pipe()
            try:
                self.assertEqual(run_with_output_in_file([], stdin=read_end), expected)
            finally:
                os.close(read_end)
                os.close(write_end)


class CopyCommandTest(unittest.TestCase):
    """The copy run against a stand-in xcopy installed beside a copy of qmr."""

    def setUp(self):
        require_binary()
        self.layout = CopierLayout()
        self.addCleanup(self.layout.close)

    def directory(self, name):
        path = os.path.join(os.fsencode(self.layout.work), name)
        os.mkdir(path)
        return path

    def run_copy(self, source, target, code=0, cwd=None, preexec=None):
        return run_with_output_in_file([source, target], binary=self.layout.binary,
                                       env=self.layout.environment(code),
                                       cwd=cwd or self.layout.work, preexec=preexec)

    def test_copy_run_frames_the_copier_and_ends_with_0(self):
        source, target = self.directory(b"source"), self.directory(b"target")
        self.assertEqual(self.run_copy(source, target),
                         (0, BANNER + FRAME + b"fake xcopy ran\n" + FRAME + PROMPT))
        self.assertEqual(self.layout.received_arguments(), SWITCHES + [source, target])

    def test_failed_copy_ends_with_the_copiers_code(self):
        source, target = self.directory(b"source"), self.directory(b"target")
        self.assertEqual(self.run_copy(source, target, code=4),
                         (4, BANNER + FRAME + b"fake xcopy ran\n" + FRAME + PROMPT))

    def test_missing_copier_ends_with_the_interpreters_127(self):
        with CopierLayout(with_xcopy=False) as bare:
            if shutil.which("xcopy", path="/usr/bin:/bin"):
                self.skipTest("an xcopy is installed in /usr/bin or /bin")
            source = os.path.join(os.fsencode(bare.work), b"s")
            target = os.path.join(os.fsencode(bare.work), b"t")
            os.mkdir(source)
            os.mkdir(target)
            code, output = run_with_output_in_file([source, target], binary=bare.binary,
                                                   env=bare.environment(path="/usr/bin:/bin"))
            self.assertEqual(code, 127)
            self.assertTrue(output.startswith(BANNER + FRAME), output)
            self.assertTrue(output.endswith(FRAME + PROMPT), output)

    def test_every_path_reaches_the_copier_as_one_argument_byte_for_byte(self):
        # Each of these, inserted into the command line bare, would split into
        # several words or run a command of its own.
        names = [b"with blank", b"two  blanks ", b"it's", b"'", b'say "hi"', b"semi;colon",
                 b"amp&ersand", b"pi|pe", b"$(touch ran-dollar)", b"`touch ran-backquote`",
                 b"x; touch ran-semicolon", b"new\nline", b"tab\there", b"\xff\xfe-not-utf-8",
                 b"$HOME", b"*", b"-n", b"back\\slash", b"<in >out", b"#hash"]
        made = set()
        for name in names:
            with self.subTest(name=name):
                source = self.directory(name)
                target = self.directory(name + b" target")
                made |= {os.path.basename(source), os.path.basename(target)}
                code, output = self.run_copy(source, target)
                self.assertEqual(code, 0, output)
                self.assertEqual(self.layout.received_arguments(), SWITCHES + [source, target])
        # Nothing but the directories made here appeared: no command ran.
        self.assertEqual(set(os.listdir(os.fsencode(self.layout.work))), made)

    def test_relative_paths_are_resolved_from_the_starting_directory(self):
        self.directory(b"source")
        self.directory(b"target")
        self.assertEqual(self.run_copy(b"source", b"target")[0], 0)
        self.assertEqual(self.layout.received_arguments(), SWITCHES + [b"source", b"target"])

    def test_probe_returns_to_a_current_directory_longer_than_path_max(self):
        # Both paths are relative, so the target is found only when the probe
        # of the source got back into the deep directory, whose name is longer
        # than any path the kernel takes in one call.
        component = b"d" * 200
        depth = 0
        deep = os.fsencode(self.layout.work)
        descriptor = os.open(self.layout.work, os.O_RDONLY | os.O_DIRECTORY)
        try:
            while len(deep) <= os.pathconf("/", "PC_PATH_MAX") + 200:
                os.mkdir(component, dir_fd=descriptor)
                inner = os.open(component, os.O_RDONLY | os.O_DIRECTORY, dir_fd=descriptor)
                os.close(descriptor)
                descriptor = inner
                deep += b"/" + component
                depth += 1
            for name in (b"source", b"target"):
                os.mkdir(name, dir_fd=descriptor)
        finally:
            os.close(descriptor)

        def enter_deep_directory():
            os.chdir(self.layout.work)
            for _ in range(depth):
                os.chdir(component)

        code, output = self.run_copy(b"source", b"target", cwd="/", preexec=enter_deep_directory)
        self.assertEqual(code, 0, output)
        self.assertEqual(output, BANNER + FRAME + b"fake xcopy ran\n" + FRAME + PROMPT)
        self.assertEqual(self.layout.received_arguments(), SWITCHES + [b"source", b"target"])


if __name__ == "__main__":
    unittest.main()
