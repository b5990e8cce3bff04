"""Runs the real launcher executables for the end-to-end tests.

The same tests drive the native build directly and the Windows build under
Wine. The build to test is named by the environment that ctest sets:
TOLVANE_E2E_PLATFORM ("native" or "windows"), TOLVANE_E2E_BUILD_DIR (the
build tree, which is also the launcher's install layout) and, for Windows,
TOLVANE_E2E_WINE_RUN (the wrapper that runs a program in the private Wine
prefix named by WINEPREFIX).
"""

import os
import shutil
import subprocess
import tempfile
from dataclasses import dataclass

PLATFORM = os.environ.get("TOLVANE_E2E_PLATFORM", "native")
BUILD_DIR = os.environ.get("TOLVANE_E2E_BUILD_DIR", "")
WINE_RUN = os.environ.get("TOLVANE_E2E_WINE_RUN", "")
WINDOWS = PLATFORM == "windows"
NEWLINE = b"\r\n" if WINDOWS else b"\n"
SUFFIX = ".exe" if WINDOWS else ""
MODULE_SUFFIX = ".dll" if WINDOWS else ".so"


@dataclass
class Result:
    status: int
    stdout: bytes
    stderr: bytes

    def out_text(self):
        return self.stdout.decode("utf-8").replace("\r\n", "\n")

    def err_text(self):
        return self.stderr.decode("utf-8").replace("\r\n", "\n")


def built(relative):
    """A file of the build tree (the launcher's layout)."""
    return os.path.join(BUILD_DIR, relative)


def fixture(name):
    """A test fixture program built for the platform under test."""
    return os.path.join(BUILD_DIR, "fixtures", name + SUFFIX)


def target_path(unix_path):
    """How the program under test spells a path of this machine."""
    if not WINDOWS:
        return unix_path
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def host_path(target):
    """The machine's spelling of a path that the program under test wrote."""
    if not WINDOWS:
        return target
    assert target[:2].upper() == "Z:", target
    return target[2:].replace("\\", "/")


def command(program, args):
    if WINDOWS:
        return [WINE_RUN, program] + list(args)
    return [program] + list(args)


def run(program, args=(), env=None, cwd=None, timeout=120, extra_env=None):
    """Runs program with args; returns its status and both output streams."""
    environment = dict(os.environ if env is None else env)
    if extra_env:
        environment.update(extra_env)
    completed = subprocess.run(command(program, args), stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               env=environment, cwd=cwd, timeout=timeout)
    return Result(completed.returncode, completed.stdout, completed.stderr)


def start(program, args=(), env=None, cwd=None, new_session=True, **kwargs):
    """Starts program in a session of its own, so a test can signal its group."""
    environment = dict(os.environ if env is None else env)
    return subprocess.Popen(command(program, args), stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            env=environment, cwd=cwd, start_new_session=new_session, **kwargs)


class Layout:
    """A fresh install layout in a temporary folder: the launcher under a
    chosen name, plus whatever components a test puts beside it."""

    def __init__(self, launcher_name="Tolvane.exe", folder_name="app", parent=None):
        self.tmp = tempfile.mkdtemp(prefix="tolvane e2e (", suffix=")", dir=parent)
        self.root = os.path.join(self.tmp, folder_name)
        os.makedirs(os.path.join(self.root, "tools"))
        self.launcher = os.path.join(self.root, launcher_name)
        shutil.copy2(built("Tolvane" + SUFFIX), self.launcher)

    def put_tool(self, name, program):
        """Installs program as tools/NAME.exe."""
        destination = os.path.join(self.root, "tools", name + ".exe")
        shutil.copy2(program, destination)
        return destination

    def put_module(self, module, library):
        """Installs library as the in-process module "a.b" (a/b + suffix)."""
        folder, name = module.split(".")
        os.makedirs(os.path.join(self.root, folder), exist_ok=True)
        destination = os.path.join(self.root, folder, name + MODULE_SUFFIX)
        shutil.copy2(library, destination)
        return destination

    def remove(self):
        shutil.rmtree(self.tmp, ignore_errors=True)
