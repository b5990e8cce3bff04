#!/usr/bin/env python3
"""How fast the launcher drains a converter that floods its output.

The converter is bench/flood (1 GiB of 80-byte lines by default, and then
the same amount as one single line), the editor bench/trivial and the
monitor bench/hwm, which prints the launcher's peak resident memory while
the launcher waits for it. Each
launcher run is set against `flood | cat > /dev/null` through a real pipe,
run alternately, and the medians are compared. Under Wine the pipe in
`flood.exe | cat` is a host pipe, so flood.exe is also drained by
bench/sink.exe, a Windows reader that does nothing with the data."""

import os
import re
import subprocess
import time

import benchlib

HWM = re.compile(rb"VmHWM:\s*(\d+)\s*kB")


def timed_run(build, what, program, args, env, stdout):
    """Runs program to its end; its time and its output (if captured)."""
    start = time.perf_counter()
    done = subprocess.run(build.command(program, args), stdin=subprocess.DEVNULL,
                          stdout=stdout, stderr=subprocess.PIPE, env=env)
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        benchlib.fail("%s ended with status %d: %s"
                      % (what, done.returncode, done.stderr.decode(errors="replace").strip()))
    return elapsed, done.stdout


def run_launcher(build, layout, env):
    elapsed, out = timed_run(build, "the launcher", layout.launcher,
                             [build.target_path(layout.deck)], env, subprocess.PIPE)
    found = HWM.search(out)
    return elapsed, int(found.group(1)) if found else None


def run_pipe(build, flood, env):
    start = time.perf_counter()
    writer = subprocess.Popen(build.command(flood), stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, env=env)
    reader = subprocess.Popen(["cat"], stdin=writer.stdout, stdout=subprocess.DEVNULL)
    writer.stdout.close()
    statuses = (writer.wait(), reader.wait())
    elapsed = time.perf_counter() - start
    if statuses != (0, 0):
        benchlib.fail("flood | cat ended with statuses %s" % (statuses,))
    return elapsed


def run_sink(build, sink, flood, env):
    return timed_run(build, "sink.exe", sink, [build.target_path(flood)], env,
                     subprocess.DEVNULL)[0]


def measure(build, layout, sink, env, runs):
    """Alternating runs of the launcher, flood | cat and (under Wine)
    sink.exe: their times and the launcher's peaks."""
    times = {"launcher": [], "pipe": [], "sink": []}
    peaks = []
    for _ in range(runs):
        elapsed, peak = run_launcher(build, layout, env)
        times["launcher"].append(elapsed)
        if peak is not None:
            peaks.append(peak)
        times["pipe"].append(run_pipe(build, layout.tools["inp_converter"], env))
        if sink:
            times["sink"].append(run_sink(build, sink, layout.tools["inp_converter"], env))
    return times, peaks


def main():
    p = benchlib.parser(__doc__)
    p.add_argument("--mib", type=int, default=1024, help="output size in MiB (default 1024)")
    p.add_argument("--runs", type=int, default=5, help="runs of each (default 5)")
    args = p.parse_args()
    build = benchlib.Build(args)

    flood = build.bench_program("flood")
    layout = benchlib.ToolLayout(build, flood, build.bench_program("trivial"),
                                 build.bench_program("hwm"))
    size = args.mib << 20
    sink = build.bench_program("sink") if build.windows else None
    cases = [("80-byte lines", {}, len("header:flood done\n")),
             ("one single line", {"TOLVANE_FLOOD_ONE_LINE": "1"}, len("\nheader:flood done\n"))]
    results = []
    try:
        with benchlib.WineServer(build) as server:
            for name, extra, tail in cases:
                env = dict(build.env, TOLVANE_FLOOD_BYTES=str(size), **extra)
                results.append((name, size + tail) + measure(build, layout, sink, env, args.runs))
    finally:
        layout.remove()

    def spread(times):
        return "median %.2f s (%.2f-%.2f)" % (benchlib.median(times), min(times), max(times))

    where = "Windows build under Wine" if build.windows else "native build"
    for name, total, times, peaks in results:
        def rate(seconds):
            return total / (1 << 20) / seconds

        launcher = rate(benchlib.median(times["launcher"]))
        pipe = rate(benchlib.median(times["pipe"]))
        rows = [
            ("output", "%d MiB of %s" % (args.mib, name), "%d runs each, alternating" % args.runs),
            ("Tolvane.exe drain", "%.0f MiB/s" % launcher, spread(times["launcher"])),
            ("flood | cat", "%.0f MiB/s" % pipe, spread(times["pipe"])),
            ("ratio", "%.0f %%" % (100 * launcher / pipe), "target >= 80 %"),
        ]
        if times["sink"]:
            wine_pipe = rate(benchlib.median(times["sink"]))
            rows += [
                ("flood.exe -> sink.exe", "%.0f MiB/s" % wine_pipe,
                 spread(times["sink"]) + "; a pipe between two Wine processes"),
                ("ratio to that pipe", "%.0f %%" % (100 * launcher / wine_pipe), ""),
            ]
        if peaks:
            rows.append(("launcher VmHWM", "%.1f MiB" % (max(peaks) / 1024),
                         "max of runs; target < 16 MiB"
                         + (" (peak working set of the Wine process)" if build.windows else "")))
        else:
            rows.append(("launcher VmHWM", "n/a", "the monitor could not read it"))
        if build.windows:
            rows.append(("wine server", server.state(), ""))
        benchlib.table("drain, %s, %s" % (name, where), rows)


if __name__ == "__main__":
    main()
