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
import time
from dataclasses import dataclass

PLATFORM = os.environ.get("TOLVANE_E2E_PLATFORM", "native")
BUILD_DIR = os.environ.get("TOLVANE_E2E_BUILD_DIR", "")
WINE_RUN = os.environ.get("TOLVANE_E2E_WINE_RUN", "")
WINDOWS = PLATFORM == "windows"
# Built with sanitizers, whose runtime needs more memory and descriptors.
SANITIZED = os.environ.get("TOLVANE_E2E_SANITIZED") == "1"
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


def alive(pid, grace=5.0):
    """Whether the native process pid still runs after grace seconds: one
    that was killed may take a moment to go, and a zombie counts as gone."""
    deadline = time.monotonic() + grace
    while True:
        try:
            with open("/proc/%d/stat" % pid) as f:
                state = f.read().rsplit(")", 1)[1].split()[0]
        except FileNotFoundError:
            return False
        if state in ("Z", "X") or time.monotonic() > deadline:
            return state not in ("Z", "X")
        time.sleep(0.05)


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


def start(program, args=(), env=None, cwd=None, new_session=True, stdin=subprocess.DEVNULL,
          **kwargs):
    """Starts program in a session of its own, so a test can signal its group."""
    environment = dict(os.environ if env is None else env)
    return subprocess.Popen(command(program, args), stdin=stdin,
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
        """Leaves the instruction file ROLE.WHAT (model, stdout, chunks,
        sleep, linger, crash, exit, sigint)."""
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


# --- the chain of the tool-executable form ----------------------------------

CONVERTER, EDITOR, MONITOR = ROLES
SOLVER_DIR = "FrontISTR-DEV250506"
SEP = "\\" if WINDOWS else "/"
# Resolved, so that the paths the launcher derives from its own location
# and those a test expects are spelled alike.
TMP = os.path.realpath(tempfile.gettempdir())
HEADER_OUTPUT = b"Reading deck\nheader:Bracket under load\n"


class Chain:
    """A fresh layout in a folder whose path has blanks and parentheses,
    with the recorder as all three components and a deck beside it."""

    def __init__(self, test, folder_name="app"):
        self.test = test
        self.layout = Layout(folder_name=folder_name, parent=TMP)
        test.addCleanup(self.layout.remove)
        self.rec = Recorder(self.layout)
        self.jobs = os.path.join(self.layout.tmp, "jobs (1)")
        os.makedirs(self.jobs)
        self.deck = os.path.join(self.jobs, "beam.inp")
        self.tell(CONVERTER, "stdout", HEADER_OUTPUT)

    def tell(self, role, what, content=b""):
        self.rec.tell(role, what, content)

    def env(self, locale="C.UTF-8"):
        env = dict(os.environ)
        env["LC_ALL"] = locale
        env.update(self.rec.env())
        return env

    def run(self, word=None, cwd=None, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            pass_fds=(), env=None):
        """Runs the launcher on the deck (or on word as it is given)."""
        word = target_path(self.deck) if word is None else word
        completed = subprocess.run(
            command(self.layout.launcher, [word]), stdin=subprocess.DEVNULL,
            stdout=stdout, stderr=stderr, pass_fds=pass_fds, env=env or self.env(),
            cwd=cwd or self.layout.tmp, timeout=90)
        return Result(completed.returncode, completed.stdout, completed.stderr)

    # What the launcher is expected to derive.
    @property
    def root_dir(self):
        return target_path(self.layout.root)

    @property
    def setting(self):
        return self.root_dir + SEP + "session.xml"

    @property
    def exepath(self):
        return target_path(os.path.realpath(self.layout.root)) + SEP + SOLVER_DIR

    def tool(self, role):
        return self.root_dir + SEP + "tools" + SEP + role + ".exe"

    def ran(self):
        """The roles that were started, each checked to have run once."""
        roles = []
        for role in ROLES:
            count = len(self.rec.records(role))
            self.test.assertLessEqual(count, 1, role + " was started more than once")
            if count:
                roles.append(role)
        return roles

    def record(self, role):
        records = self.rec.records(role)
        self.test.assertEqual(len(records), 1, role + " should have run exactly once")
        return records[0]

    def argv(self, role):
        """The role's argument vector; element 0 only natively, as Wine
        spells a program's own path its own way."""
        argv = self.record(role).argv
        return argv if not WINDOWS else [self.tool(role)] + argv[1:]

    def expected_argv(self, inp_path, heading):
        return {
            CONVERTER: [self.tool(CONVERTER), inp_path],
            EDITOR: [self.tool(EDITOR), inp_path, self.exepath, "-setting", self.setting,
                     "-header", heading],
            MONITOR: [self.tool(MONITOR), inp_path[:-len(".inp")], "-setting", self.setting],
        }

    def heading(self):
        argv = self.record(EDITOR).argv
        self.test.assertEqual(len(argv), 7, argv)
        return argv[6]


def write_file(path, content):
    with open(path, "wb") as f:
        f.write(content)


def one_diagnostic(test, result, where):
    """The launcher's stderr is one diagnostic line naming where it arose."""
    text = result.stderr.decode("utf-8")
    test.assertTrue(text.endswith(NEWLINE.decode()), text)
    test.assertEqual(text.count("\n"), 1, text)
    prefix = "Tolvane.exe: " + where + ": "
    test.assertTrue(text.startswith(prefix), text)
    return text[len(prefix):-len(NEWLINE)]
