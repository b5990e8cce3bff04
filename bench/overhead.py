#!/usr/bin/env python3
"""What the launcher itself costs.

A chain of three components that do nothing (bench/trivial) is run through
Tolvane.exe, and against it the same three programs are run one after
another by this script with the launcher's argument vectors, the
converter's output read. The runs are interleaved and the medians
compared. Also the start-up time of `Tolvane.exe -h`, and of bench/trivial
alone as the cost of starting any process. With --windows every program,
direct or launcher, is started through cmake/wine-run.sh."""

import subprocess
import time

import benchlib


def timed(command, env, capture=False):
    start = time.perf_counter()
    done = subprocess.run(command, stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE if capture else subprocess.DEVNULL,
                          stderr=subprocess.PIPE, env=env)
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        benchlib.fail("%s ended with status %d: %s" % (command, done.returncode,
                                                       done.stderr.decode(errors="replace")))
    return elapsed, done.stdout


def main():
    p = benchlib.parser(__doc__)
    p.add_argument("--runs", type=int, default=30, help="runs of each (default 30)")
    args = p.parse_args()
    build = benchlib.Build(args)

    trivial = build.bench_program("trivial")
    layout = benchlib.ToolLayout(build, trivial, trivial, trivial)
    env = build.env
    t = build.target_path
    root = t(layout.root)
    sep = "\\" if build.windows else "/"
    deck = t(layout.deck)
    setting = root + sep + "session.xml"
    exepath = root + sep + "FrontISTR-DEV250506"
    model = deck[:-4]
    tools = layout.tools
    direct_chain = [
        build.command(tools["inp_converter"], [deck]),
        build.command(tools["editor"], [deck, exepath, "-setting", setting, "-header", "x"]),
        build.command(tools["monitor"], [model, "-setting", setting]),
    ]
    through = build.command(layout.launcher, [deck])
    help_command = build.command(layout.launcher, ["-h"])
    bare = build.command(trivial)

    chain, direct, helps, bares = [], [], [], []
    try:
        with benchlib.WineServer(build) as server:
            # One unmeasured round, so that every file is in the cache.
            timed(through, env)
            for _ in range(args.runs):
                chain.append(timed(through, env, capture=True)[0])
                start = time.perf_counter()
                _, out = timed(direct_chain[0], env, capture=True)
                if not out.rstrip(b"\r\n").endswith(b"header:x"):
                    benchlib.fail("the converter wrote %r" % out)
                timed(direct_chain[1], env)
                timed(direct_chain[2], env)
                direct.append(time.perf_counter() - start)
                helps.append(timed(help_command, env, capture=True)[0])
                bares.append(timed(bare, env)[0])
    finally:
        layout.remove()

    m_chain, m_direct = benchlib.median(chain), benchlib.median(direct)
    ms = lambda s: "%.1f ms" % (1000 * s)
    where = "Windows build under Wine" if build.windows else "native build"
    rows = [
        ("runs", "%d" % args.runs, "each, interleaved; medians"),
        ("chain through Tolvane.exe", ms(m_chain), ""),
        ("chain run directly", ms(m_direct), "three programs started by this script"),
        ("ratio", "%.2f" % (m_chain / m_direct), "launcher / direct"),
        ("launcher's own cost", ms(m_chain - m_direct), "difference of the medians"),
        ("Tolvane.exe -h", ms(benchlib.median(helps)), "start-up, help text, exit"),
        ("trivial alone", ms(benchlib.median(bares)), "starting any program"),
    ]
    if build.windows:
        rows.append(("wine server", server.state(), ""))
    benchlib.table("overhead, " + where, rows)


if __name__ == "__main__":
    main()
