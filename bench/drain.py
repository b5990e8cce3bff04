#!/usr/bin/env python3
"""How fast the launcher drains a converter that floods its output.

The converter is bench/flood (1 GiB of 80-byte lines by default), the
editor bench/trivial and the monitor bench/hwm, which prints the
launcher's peak resident memory while the launcher waits for it. Each
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
    env = dict(build.env, TOLVANE_FLOOD_BYTES=str(size))
    total = size + len("header:flood done\n")
    sink = build.bench_program("sink") if build.windows else None
    launcher_times, pipe_times, sink_times, peaks = [], [], [], []
    try:
        with benchlib.WineServer(build) as server:
            for _ in range(args.runs):
                elapsed, peak = run_launcher(build, layout, env)
                launcher_times.append(elapsed)
                if peak is not None:
                    peaks.append(peak)
                pipe_times.append(run_pipe(build, layout.tools["inp_converter"], env))
                if sink:
                    sink_times.append(run_sink(build, sink, layout.tools["inp_converter"], env))
    finally:
        layout.remove()

    def rate(seconds):
        return total / (1 << 20) / seconds

    def spread(times):
        return "median %.2f s (%.2f-%.2f)" % (benchlib.median(times), min(times), max(times))

    launcher = rate(benchlib.median(launcher_times))
    pipe = rate(benchlib.median(pipe_times))
    where = "Windows build under Wine" if build.windows else "native build"
    rows = [
        ("output", "%d MiB" % args.mib, "%d runs each, alternating" % args.runs),
        ("Tolvane.exe drain", "%.0f MiB/s" % launcher,
         spread(launcher_times)),
        ("flood | cat", "%.0f MiB/s" % pipe, spread(pipe_times)),
        ("ratio", "%.0f %%" % (100 * launcher / pipe), "target >= 80 %"),
    ]
    if sink_times:
        wine_pipe = rate(benchlib.median(sink_times))
        rows += [
            ("flood.exe -> sink.exe", "%.0f MiB/s" % wine_pipe,
             spread(sink_times) + "; a pipe between two Wine processes"),
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
    benchlib.table("drain, " + where, rows)


if __name__ == "__main__":
    main()
