#!/usr/bin/env python3
"""The key wait under stress, in a pseudo-terminal.

Each round starts the program (with no arguments, so it ends with code 87)
as the session leader on a fresh pseudo-terminal, and while it waits at the
prompt sends it random bytes mixed with escape sequences, whole and cut off,
in random chunks, or hangs up at a random moment: by SIGHUP with the terminal
still there, or by closing the terminal's master side. Whatever arrives, the
program must end with its caller's code, and where the terminal is still
there its settings must be exactly those it found.

The bytes that make the terminal itself act are left out: Ctrl+C, Ctrl+\\
and Ctrl+Z end or stop the program by design, not with its code, and Ctrl+S
typed before the program takes over the terminal stops the terminal's output,
so the prompt could not appear until Ctrl+Q.
"""

import argparse
import fcntl
import os
import random
import select
import signal
import subprocess
import sys
import termios
import time

PROMPT = b"Press any Key to exit . . ."
SIGNAL_BYTES = {0x03, 0x1c, 0x1a, 0x11, 0x13}
SEQUENCES = [b"\x1b[A", b"\x1b[1;5H", b"\x1b[15;3~", b"\x1bOP", b"\x1b[[A", b"\x1b[2$",
             b"\x1bOa", b"\x1b[24^", b"\x1b", b"\x1b[", b"\x1b[1;", b"\x1b[99;99;99~",
             b"\x1bx", b"\x1b\x1b", b"\x1b[M", b"\xff\xfe", b"\x1bO"]


def random_bytes(rng, count):
    out = bytearray()
    while len(out) < count:
        if rng.random() < 0.4:
            out += rng.choice(SEQUENCES)
        else:
            byte = rng.randrange(256)
            if byte not in SIGNAL_BYTES:
                out.append(byte)
    return bytes(out)


def read_until(master, wanted, deadline):
    seen = b""
    while wanted not in seen and time.monotonic() < deadline:
        ready, _, _ = select.select([master], [], [], 0.05)
        if ready:
            try:
                seen += os.read(master, 4096)
            except OSError:
                break
    return wanted in seen


def waiting_mode_on(slave, deadline):
    """Whether the program took the terminal over for its key wait (the
    prompt comes just before it): from then on a hang-up ends the wait; before
    it, the process has not asked to hear of one yet and simply ends."""
    while time.monotonic() < deadline:
        if not termios.tcgetattr(slave)[3] & termios.ICANON:
            return True
        time.sleep(0.001)
    return False


def one_round(program, rng, mode):
    master, slave = os.openpty()
    before = termios.tcgetattr(slave)

    def become_session_leader():
        os.setsid()
        fcntl.ioctl(0, termios.TIOCSCTTY, 0)

    child = subprocess.Popen([program], stdin=slave, stdout=slave, stderr=slave,
                             preexec_fn=become_session_leader, close_fds=True)
    try:
        if mode == "typed-ahead":
            os.write(master, random_bytes(rng, rng.randrange(1, 64)))
        if not read_until(master, PROMPT, time.monotonic() + 10):
            return f"{mode}: no prompt"
        if mode in ("sighup", "hangup") and not waiting_mode_on(slave, time.monotonic() + 10):
            return f"{mode}: the terminal never went into the waiting mode"
        if mode in ("bytes", "typed-ahead"):
            payload = random_bytes(rng, rng.randrange(1, 3000))
            for start in range(0, len(payload), 97):
                try:
                    os.write(master, payload[start:start + rng.randrange(1, 97)])
                except OSError:
                    break
        elif mode == "sighup":
            time.sleep(rng.random() * 0.05)
            child.send_signal(signal.SIGHUP)
        elif mode == "hangup":
            time.sleep(rng.random() * 0.05)
            os.close(master)
            master = -1
        try:
            code = child.wait(timeout=10)
        except subprocess.TimeoutExpired:
            child.kill()
            return f"{mode}: still waiting after 10 s"
        if code != 87:
            return f"{mode}: ended with {code}, not its caller's 87"
        if master != -1 and termios.tcgetattr(slave) != before:
            return f"{mode}: terminal settings not restored"
        return None
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
        if master != -1:
            os.close(master)
        os.close(slave)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--qmr", required=True)
    parser.add_argument("--rounds", type=int, default=200)
    parser.add_argument("--seed", type=int, default=11)
    arguments = parser.parse_args()
    rng = random.Random(arguments.seed)
    modes = ["bytes", "typed-ahead", "sighup", "hangup"]
    problems = []
    for round_number in range(arguments.rounds):
        mode = modes[round_number % len(modes)]
        problem = one_round(arguments.qmr, rng, mode)
        if problem:
            problems.append(f"round {round_number}: {problem}")
    print(f"{arguments.rounds} rounds, {len(problems)} problems")
    for problem in problems[:30]:
        print("  " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
