#!/usr/bin/env python3
"""The unattended mode's wait, natively.

Runs bench/layout/Tolvane (the in-process form) with the bench modules: the
monitor is unattended and its run_process() works for a set time, then
writes the monotonic clock's reading just before it sets done. Measured
per run: the launcher's CPU time (user + system, from wait4) over the
whole run, which should stay near zero as the wait sleeps, and the delay
from done to the launcher's exit as this script sees it. Work times that
end at different fractions of a second put done at different phases of
the once-a-second test; 10.05 s lands just after one, the worst case."""

import os
import shutil
import subprocess
import tempfile
import time

import benchlib


def run_once(launcher, work, tmp):
    deck = os.path.join(tmp, "deck.inp")
    open(deck, "wb").close()
    done_file = os.path.join(tmp, "done")
    if os.path.exists(done_file):
        os.remove(done_file)
    env = dict(os.environ, TOLVANE_BENCH_WORK_SECONDS=repr(work),
               TOLVANE_BENCH_DONE_FILE=done_file)
    started = time.monotonic()
    child = subprocess.Popen([launcher, deck], stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
    _, status, usage = os.wait4(child.pid, 0)
    ended = time.monotonic()
    child.returncode = os.waitstatus_to_exitcode(status)
    errors = child.stderr.read().decode(errors="replace").strip()
    child.stderr.close()
    if child.returncode != 0:
        benchlib.fail("the launcher ended with status %d: %s" % (child.returncode, errors))
    try:
        with open(done_file) as f:
            done = float(f.read())
    except (OSError, ValueError) as e:
        benchlib.fail("the monitor left no done time: %s" % e)
    return {"work": work, "wall": ended - started, "delay": ended - done,
            "cpu": usage.ru_utime + usage.ru_stime}


def main():
    p = benchlib.parser(__doc__, windows=False)
    p.add_argument("--work", type=float, nargs="+", default=[10.0, 10.05, 10.3, 10.7],
                   metavar="SECONDS", help="work times of the runs (default 10.0 10.05 10.3 10.7)")
    args = p.parse_args()
    build = benchlib.Build(args)
    launcher = build.file(os.path.join("bench", "layout", "Tolvane"))

    tmp = tempfile.mkdtemp(prefix="tolvane-bench-")
    try:
        runs = [run_once(launcher, work, tmp) for work in args.work]
    finally:
        shutil.rmtree(tmp, ignore_errors=True)

    print("unattended, native build")
    print("  %8s  %8s  %10s  %8s" % ("work s", "wall s", "delay s", "CPU ms"))
    for r in runs:
        print("  %8.2f  %8.3f  %10.3f  %8.1f"
              % (r["work"], r["wall"], r["delay"], 1000 * r["cpu"]))
    print()
    delays = [r["delay"] for r in runs]
    cpus = [r["cpu"] for r in runs]
    benchlib.table("summary", [
        ("delay, max", "%.3f s" % max(delays), "target <= 1.05 s"),
        ("delay, median", "%.3f s" % benchlib.median(delays), ""),
        ("launcher CPU, max", "%.1f ms" % (1000 * max(cpus)), "whole run; near zero expected"),
    ])


if __name__ == "__main__":
    main()
