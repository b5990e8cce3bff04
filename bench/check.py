#!/usr/bin/env python3
"""How long a full check takes: tolvane-check on the build tree's own
layout, the sample components in both forms (all 24 checks, every run),
a few times, with the median and the slowest. Most of it is waiting by
design: the unattended runs wait for the launcher's one-second poll and
then watch as long as the launcher could still run. With --windows the
Windows build runs under Wine through cmake/wine-run.sh."""

import os
import subprocess
import time

import benchlib


def main():
    p = benchlib.parser(__doc__)
    p.add_argument("--runs", type=int, default=5, help="full checks (default 5)")
    args = p.parse_args()
    build = benchlib.Build(args)
    checker = build.file("tolvane-check" + build.suffix)
    env = dict(build.env, LC_ALL="C.UTF-8")
    times = []
    with benchlib.WineServer(build):
        for _ in range(args.runs):
            start = time.perf_counter()
            done = subprocess.run(build.command(checker, [build.target_path(build.dir)]),
                                  stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, env=env, cwd=build.dir)
            times.append(time.perf_counter() - start)
            if done.returncode != 0:
                benchlib.fail("tolvane-check ended with status %d:\n%s" % (
                    done.returncode, done.stdout.decode(errors="replace")))
    summary = done.stdout.decode(errors="replace").splitlines()[-1]
    benchlib.table("tolvane-check on the samples (%s, %d runs)" % (
        "Windows under Wine" if build.windows else "native", args.runs), [
        ("median", "%.2f s" % benchlib.median(times), summary.split(": ", 1)[1]),
        ("slowest", "%.2f s" % max(times), ""),
    ])


if __name__ == "__main__":
    main()
