"""The key wait at the prompt, in a real pseudo-terminal: what ends it, with
which code, what it does to the terminal, and that it does not burn a
processor."""

import os
import signal
import termios
import time
import unittest

from harness import PROMPT, TerminalJob, processor_ticks, require_binary

# The caller's code of a run without arguments.
USAGE_CODE = 87


class KeyWaitTest(unittest.TestCase):
    def setUp(self):
        require_binary()

    def assert_settings_restored(self, job):
        self.assertEqual(job.settings(), job.settings_before,
                         "the terminal's settings differ from those before the run")

    def test_any_key_ends_the_wait_with_the_callers_code(self):
        keys = {
            "letter": b"x",
            "Enter": b"\r",
            "Up (xterm)": b"\x1b[A",
            "F1 (SS3)": b"\x1bOP",
            "Ctrl+F5 (xterm)": b"\x1b[15;5~",
            "F1 (Linux console)": b"\x1b[[A",
            "Alt+A": b"\x1ba",
            "lone Esc": b"\x1b",
            "Ctrl+S": b"\x13",
        }
        for name, key in keys.items():
            with self.subTest(key=name), TerminalJob([]) as job:
                job.wait_for_prompt()
                job.type(key)
                self.assertEqual(job.finish(), USAGE_CODE)
                # Nothing follows the prompt: no line end, and no echo of the key.
                job.read_output(timeout=0.2)
                self.assertTrue(job.output.endswith(PROMPT), job.output)
                self.assert_settings_restored(job)

    def test_path_validation_wait_ends_with_its_own_code(self):
        with TerminalJob(["/nonexistent/source", "/nonexistent/target"]) as job:
            job.wait_for_prompt()
            job.type(b"q")
            self.assertEqual(job.finish(), 3)
            self.assert_settings_restored(job)

    def test_key_typed_before_the_prompt_ends_the_wait_at_once(self):
        with TerminalJob([], typed_ahead=b"k") as job:
            self.assertEqual(job.finish(), USAGE_CODE)
            self.assert_settings_restored(job)

    def test_waiting_terminal_is_non_canonical_without_echo_with_signals(self):
        with TerminalJob([]) as job:
            job.wait_for_prompt()
            local_modes = job.settings()[3]
            self.assertEqual(local_modes & termios.ICANON, 0)
            self.assertEqual(local_modes & termios.ECHO, 0)
            self.assertNotEqual(local_modes & termios.ISIG, 0)
            job.type(b"x")
            self.assertEqual(job.finish(), USAGE_CODE)
            self.assert_settings_restored(job)

    def test_cut_off_sequence_is_swallowed_and_the_wait_goes_on(self):
        # Were the bytes of the unfinished sequence taken as characters, the
        # first of them would end the wait.
        with TerminalJob([]) as job:
            job.wait_for_prompt()
            job.type(b"\x1b[1;5")
            self.assertTrue(job.still_running(0.5), "a cut-off sequence ended the wait")
            job.type(b"q")
            self.assertEqual(job.finish(), USAGE_CODE)
            self.assert_settings_restored(job)

    def test_close_signals_end_the_wait_with_the_callers_code(self):
        for sent in (signal.SIGHUP, signal.SIGTERM):
            with self.subTest(signal=sent.name), TerminalJob([]) as job:
                job.wait_for_prompt()
                os.kill(job.pid, sent)
                self.assertEqual(job.finish(), USAGE_CODE)
                self.assert_settings_restored(job)

    def test_closing_the_terminal_ends_the_wait_with_the_callers_code(self):
        # With SIGHUP ignored (as under nohup) only the hang-up seen on the
        # terminal itself can end the wait; it must neither hang nor spin.
        for ignored in (False, True):
            with self.subTest(sighup_ignored=ignored), TerminalJob(
                    [], ignore_hangup=ignored) as job:
                job.wait_for_prompt()
                job.hang_up()
                self.assertEqual(job.finish(), USAGE_CODE)

    def test_interrupt_keys_end_the_process_by_their_signal(self):
        for key, expected in ((b"\x03", signal.SIGINT), (b"\x1c", signal.SIGQUIT)):
            with self.subTest(signal=expected.name), TerminalJob([]) as job:
                job.wait_for_prompt()
                job.type(key)
                self.assertEqual(job.finish(), -expected)
                self.assert_settings_restored(job)

    def test_stop_restores_the_terminal_and_continue_resumes_the_wait(self):
        with TerminalJob([]) as job:
            job.wait_for_prompt()
            job.type(b"\x1a")  # Ctrl+Z
            self.assertTrue(job.wait_state("T"), "Ctrl+Z did not stop the program")
            self.assert_settings_restored(job)
            os.kill(job.pid, signal.SIGCONT)
            deadline = time.monotonic() + 5
            while job.settings() == job.settings_before and time.monotonic() < deadline:
                time.sleep(0.01)
            self.assertEqual(job.settings()[3] & termios.ICANON, 0,
                             "the waiting mode did not come back on continue")
            self.assertTrue(job.still_running(0.2))
            job.type(b"x")
            self.assertEqual(job.finish(), USAGE_CODE)
            self.assert_settings_restored(job)

    def test_job_started_in_the_background_waits_once_brought_forward(self):
        with TerminalJob([], background=True) as job:
            job.read_output(until=PROMPT)
            # A line typed for the shell: reading it from the background stops
            # qmr (SIGTTIN), and the shell takes it.
            job.type(b"ls\n")
            self.assertTrue(job.wait_state("T"), "reading in the background did not stop")
            self.assert_settings_restored(job)
            self.assertEqual(os.read(job.slave, 100), b"ls\n")
            job.bring_to_foreground()
            job.wait_for_prompt()
            # The read that was stopped now finds nothing: that is no hang-up.
            self.assertTrue(job.still_running(0.5), "the wait ended without a key")
            job.type(b"x")
            self.assertEqual(job.finish(), USAGE_CODE)
            self.assert_settings_restored(job)

    def test_waiting_uses_no_processor_time(self):
        # A check that the wait sleeps instead of polling in a loop: a busy
        # wait would use about 200 ticks in these two seconds.
        with TerminalJob([]) as job:
            job.wait_for_prompt()
            time.sleep(2)
            ticks = processor_ticks(job.pid)
            job.type(b"x")
            self.assertEqual(job.finish(), USAGE_CODE)
            self.assertLess(ticks, 5, f"{ticks} clock ticks used while waiting 2 s")


if __name__ == "__main__":
    unittest.main()
