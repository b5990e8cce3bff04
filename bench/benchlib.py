"""What the bench scripts share: build-tree lookup, throw-away install
layouts, running under Wine, and printing a table."""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WINE_RUN = os.path.join(REPO, "cmake", "wine-run.sh")

BUILD_NOTE = ("Runs what the build made and builds nothing itself: "
              "`cmake --build --preset native` must have run")


def parser(description, windows=True):
    note = BUILD_NOTE + (" (and `cmake --build --preset windows` for --windows)."
                         if windows else ".")
    p = argparse.ArgumentParser(description=description, epilog=note)
    p.add_argument("--build-dir", help="the build tree (default build/native, "
                   "or build/windows with --windows)")
    if windows:
        p.add_argument("--windows", action="store_true",
                       help="measure the Windows build under Wine instead")
    return p


def fail(message):
    print("error: " + message, file=sys.stderr)
    sys.exit(1)


class Build:
    """One build tree and how to run its programs."""

    def __init__(self, args):
        self.windows = getattr(args, "windows", False)
        default = "build/windows" if self.windows else "build/native"
        self.dir = os.path.abspath(args.build_dir or os.path.join(REPO, default))
        self.suffix = ".exe" if self.windows else ""
        self.env = dict(os.environ)
        if self.windows:
            self.env["WINEPREFIX"] = os.path.join(self.dir, "wineprefix")

    def file(self, relative):
        path = os.path.join(self.dir, relative)
        if not os.path.exists(path):
            fail("%s is missing; build first (cmake --build --preset %s)"
                 % (path, "windows" if self.windows else "native"))
        return path

    def bench_program(self, name):
        return self.file(os.path.join("bench", name + self.suffix))

    def launcher(self):
        """The launcher under the name that selects the tool executables."""
        return self.file("Tolvane.exe")

    def command(self, program, args=()):
        if self.windows:
            return [WINE_RUN, program] + list(args)
        return [program] + list(args)

    def target_path(self, path):
        """How a program of this build spells a path of this machine."""
        if not self.windows:
            return path
        return "Z:" + os.path.abspath(path).replace("/", "\\")


class ToolLayout:
    """A temporary install layout: the launcher as Tolvane.exe with
    tools/{inp_converter,editor,monitor}.exe, and an empty deck beside it."""

    def __init__(self, build, converter, editor, monitor):
        self.tmp = tempfile.mkdtemp(prefix="tolvane-bench-")
        self.root = os.path.join(self.tmp, "app")
        tools = os.path.join(self.root, "tools")
        os.makedirs(tools)
        self.launcher = os.path.join(self.root, "Tolvane.exe")
        shutil.copy2(build.launcher(), self.launcher)
        self.tools = {}
        for role, program in (("inp_converter", converter), ("editor", editor),
                              ("monitor", monitor)):
            self.tools[role] = os.path.join(tools, role + ".exe")
            shutil.copy2(program, self.tools[role])
        self.deck = os.path.join(self.tmp, "deck.inp")
        open(self.deck, "wb").close()

    def remove(self):
        shutil.rmtree(self.tmp, ignore_errors=True)


class WineServer:
    """Keeps one Wine server up for the prefix while measuring, so that
    every program starts against a warm server. Stops it afterwards only
    if it was started here."""

    def __init__(self, build):
        self.build = build
        self.started = False

    def _server(self, *flags):
        return subprocess.run(["wineserver"] + list(flags), env=self.build.env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode

    def _warm_up(self):
        subprocess.run(self.build.command("cmd", ["/c", "exit", "0"]), env=self.build.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)

    def up(self):
        # wine-run.sh makes the prefix on first use and then waits for the
        # server to end, so that must happen before one is kept up.
        if not os.path.exists(os.path.join(self.build.env["WINEPREFIX"], ".tolvane-ready")):
            self._warm_up()
        # A server that is running already is either kept up by someone else
        # or lingering after that last program; the latter leaves within a
        # few seconds, and then one that stays can be started.
        deadline = time.monotonic() + 6
        while True:
            if self._server("-p") == 0:
                self.started = True
                break
            if time.monotonic() > deadline:
                break
            time.sleep(0.5)
        self._warm_up()

    def state(self):
        return "kept up by this script" if self.started else "one was already running"

    def down(self):
        if self.started:
            self._server("-k")

    def __enter__(self):
        if self.build.windows:
            self.up()
        return self

    def __exit__(self, *exc):
        if self.build.windows:
            self.down()


def median(values):
    return statistics.median(values)


def table(title, rows):
    """Prints rows of (name, value, note) under a title."""
    print(title)
    width = max(len(r[0]) for r in rows)
    vwidth = max(len(r[1]) for r in rows)
    for name, value, *note in rows:
        line = "  %-*s  %*s" % (width, name, vwidth, value)
        if note and note[0]:
            line += "  " + note[0]
        print(line)
    print()
