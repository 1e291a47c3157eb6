"""Prints the figures of the key wait, each beside a peer measured in the same
run: processor time used while waiting at the prompt (peer: cat blocked on
the same kind of terminal), and the time from start to end when no key can
arrive (peer: /bin/true).

    /usr/bin/python3 tests/benchmark_key_wait.py build/release/bin/qmr [idle seconds] [runs]
"""

import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402


def idle_ticks_of_qmr(seconds):
    with harness.TerminalJob([]) as job:
        job.wait_for_prompt()
        before = harness.processor_ticks(job.pid)
        time.sleep(seconds)
        used = harness.processor_ticks(job.pid) - before
        job.type(b"x")
        job.finish()
    return used


def idle_ticks_of_cat(seconds):
    master, slave = os.openpty()
    cat = subprocess.Popen(["cat"], stdin=slave, stdout=subprocess.DEVNULL)
    try:
        time.sleep(0.2)
        before = harness.processor_ticks(cat.pid)
        time.sleep(seconds)
        return harness.processor_ticks(cat.pid) - before
    finally:
        cat.kill()
        cat.wait()
        os.close(master)
        os.close(slave)


def median_run_time(argv, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, check=False)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main():
    harness.BINARY = os.path.abspath(sys.argv[1])
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 10.0
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 20
    hertz = os.sysconf("SC_CLK_TCK")

    qmr_ticks, cat_ticks = idle_ticks_of_qmr(seconds), idle_ticks_of_cat(seconds)
    print(f"idle at the prompt for {seconds:g} s: qmr {qmr_ticks} ticks "
          f"({qmr_ticks / hertz * 1000:.0f} ms of processor), "
          f"cat blocked on a terminal {cat_ticks} ticks (1 tick = {1000 / hertz:.0f} ms)")

    qmr_time = median_run_time([harness.BINARY], runs)
    true_time = median_run_time(["/bin/true"], runs)
    print(f"start to end, standard input /dev/null, median of {runs}: "
          f"qmr {qmr_time * 1000:.2f} ms, /bin/true {true_time * 1000:.2f} ms, "
          f"ratio {qmr_time / true_time:.2f}")


if __name__ == "__main__":
    main()
