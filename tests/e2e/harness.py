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

    @classmethod
    def existing(cls, root, tmp):
        """A layout that is there already (an unpacked package), with tmp
        for the test's own files."""
        layout = cls.__new__(cls)
        layout.tmp, layout.root = tmp, root
        layout.launcher = os.path.join(root, "Tolvane.exe")
        return layout

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


# --- the recorder fixture ---------------------------------------------------
# fixtures/recorder.cpp stands in for a component: it records how it was
# started and acts as the files that a test leaves in its directory say.

ROLES = ("inp_converter", "editor", "monitor")


@dataclass
class Record:
    pid: int
    argv: list
    cwd: str
    std: tuple  # types of the standard streams: pipe, char, disk, other, none
    fds: dict  # natively: every open descriptor and its target
    acp: int  # Windows: the active ANSI code page


def _text(hex_field):
    return bytes.fromhex(hex_field).decode("utf-8", "surrogateescape")


def parse_records(text):
    records = []
    for block in text.split("record\n")[1:]:
        assert block.endswith("end\n"), "a cut record: %r" % block
        fields = {"arg": [], "fd": {}}
        for line in block.splitlines()[:-1]:
            key, _, value = line.partition(" ")
            if key == "arg":
                fields["arg"].append(_text(value))
            elif key == "fd":
                fd, _, target = value.partition(" ")
                fields["fd"][int(fd)] = _text(target)
            else:
                fields[key] = value
        records.append(Record(int(fields["pid"]), fields["arg"], _text(fields["cwd"]),
                              tuple(fields["std"].split()), fields["fd"],
                              int(fields.get("acp", 0))))
    return records


class Recorder:
    """The recorder installed in a layout as the components of roles, with
    its directory of instructions and records."""

    def __init__(self, layout, roles=ROLES):
        self.dir = os.path.join(layout.tmp, "recorder")
        os.makedirs(self.dir, exist_ok=True)
        for role in roles:
            layout.put_tool(role, fixture("recorder"))

    def env(self):
        return {"TOLVANE_FIXTURE_DIR": target_path(self.dir)}

    def path(self, role, what):
        return os.path.join(self.dir, role + "." + what)

    def tell(self, role, what, content=b""):
        """Leaves the instruction file ROLE.WHAT (stdout, chunks, exit,
        crash, sleep, sigint)."""
        if isinstance(content, str):
            content = content.encode("utf-8")
        with open(self.path(role, what), "wb") as f:
            f.write(content)

    def records(self, role):
        try:
            with open(self.path(role, "record"), encoding="ascii") as f:
                return parse_records(f.read())
        except FileNotFoundError:
            return []

    def started_pid(self, role):
        """The pid that a sleeping role announced, or None before it did."""
        try:
            with open(self.path(role, "started"), encoding="ascii") as f:
                text = f.read()
        except FileNotFoundError:
            return None
        return int(text) if text.endswith("\n") else None


def wine_ready():
    """Under Wine: starts the prefix's services now, with no output streams,
    so that they do not hold on to the pipes of the first program a test
    runs (its output would never end)."""
    if WINDOWS:
        subprocess.run([WINE_RUN, "cmd", "/c", "exit", "0"], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
