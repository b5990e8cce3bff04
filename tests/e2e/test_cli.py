"""The launcher's command line, end to end: help, usage and error texts as
bytes on the real output streams, the program name, and the paths that the
launcher derives from the deck word, seen through the first pipeline step."""

import os
import resource
import shutil
import subprocess
import tempfile
import unittest

import harness
from harness import NEWLINE, SANITIZED, WINDOWS

USAGE_ARGS = " [-h] [-nogui [/path/to/.s2f]] input"
REQUIRED = "the following arguments are required: input"
SOLVER_DIR = "FrontISTR-DEV250506"


def help_bytes(prog):
    lines = [
        "usage: " + prog + USAGE_ARGS,
        "",
        "positional arguments:",
        "  input                 INPファイルのパス",
        "",
        "options:",
        "  -h, --help            show this help message and exit",
        "  -nogui [/path/to/.s2f]",
        "                        設定ファイルのパス(指定しない場合はsession.rs2fを使用)",
    ]
    return b"".join(line.encode("utf-8") + NEWLINE for line in lines)


def error_bytes(prog, message):
    return (("usage: " + prog + USAGE_ARGS).encode("utf-8") + NEWLINE
            + (prog + ": error: " + message).encode("utf-8") + NEWLINE)


def environment(columns="80"):
    """The caller's environment with a known COLUMNS (None: unset) and a
    UTF-8 locale, so Wine hands non-ASCII words on as they are."""
    env = dict(os.environ)
    env.pop("COLUMNS", None)
    env["LC_ALL"] = "C.UTF-8"
    if columns is not None:
        env["COLUMNS"] = columns
    return env


def lines_of(data):
    """The lines of a text written by the launcher, after checking that
    every one of them ends with the platform's line break."""
    assert data.endswith(NEWLINE), data
    if WINDOWS:
        assert data.count(b"\n") == data.count(b"\r\n"), data
        assert data.count(b"\r") == data.count(b"\r\n"), data
    else:
        assert b"\r" not in data, data
    return data[:-len(NEWLINE)].decode("utf-8").split(NEWLINE.decode())


RECORDER = harness.fixture("recorder")
_keep_alive = None


def setUpModule():
    # Every Wine program that finds no Wine server running boots one with
    # its services, which costs more than the program itself: a sleeping
    # program keeps one server up for the whole module.
    global _keep_alive
    if not WINDOWS or not os.path.exists(RECORDER):
        return
    folder = tempfile.mkdtemp(prefix="tolvane keep-alive ")
    with open(os.path.join(folder, "recorder.sleep"), "w") as sleep:
        sleep.write("900\n")
    env = environment()
    env["TOLVANE_FIXTURE_DIR"] = harness.target_path(folder)
    _keep_alive = (harness.start(RECORDER, env=env, cwd=folder), folder)


def tearDownModule():
    if _keep_alive is not None:
        process, folder = _keep_alive
        process.kill()
        process.communicate()
        shutil.rmtree(folder, ignore_errors=True)


class LauncherCase(unittest.TestCase):
    """One fresh layout (the launcher as "Tolvane.exe", no components) and
    an empty working directory, shared by the tests of a class."""

    launcher_name = "Tolvane.exe"

    @classmethod
    def setUpClass(cls):
        cls.layout = harness.Layout(launcher_name=cls.launcher_name)
        cls.work = tempfile.mkdtemp(prefix="tolvane cwd ")

    @classmethod
    def tearDownClass(cls):
        cls.layout.remove()
        shutil.rmtree(cls.work, ignore_errors=True)

    def launch(self, args, columns="80", cwd=None, program=None):
        return harness.run(program or self.layout.launcher, args, env=environment(columns),
                           cwd=cwd or self.work)

    def assert_help(self, result, expected):
        self.assertEqual((result.status, result.stderr), (0, b""))
        self.assertEqual(result.stdout, expected)

    def assert_error(self, result, prog, message):
        self.assertEqual((result.status, result.stdout), (2, b""))
        self.assertEqual(result.stderr, error_bytes(prog, message))


class HelpTest(LauncherCase):

    # Which words mean what is the parser's unit tests' concern; these
    # check the bytes that reach the streams and the status.
    def test_help_words_anywhere_print_help_and_exit_0(self):
        for args in (["-h"], ["--he"], ["deck.inp", "-hx"], ["-h", "--", "-x"]):
            with self.subTest(args=args):
                self.assert_help(self.launch(args), help_bytes("Tolvane.exe"))

    def test_help_text_is_exact_at_64_columns_and_wider(self):
        for columns in ("64", "80", "200"):
            with self.subTest(columns=columns):
                result = self.launch(["-h"], columns=columns)
                self.assert_help(result, help_bytes("Tolvane.exe"))
                self.assertFalse(result.stdout.endswith(NEWLINE * 2))

    def test_narrower_help_wraps_to_fit_and_keeps_every_word(self):
        wide = self.launch(["-h"]).stdout
        for width in (48, 40, 30, 24):
            with self.subTest(width=width):
                result = self.launch(["-h"], columns=str(width))
                self.assertEqual((result.status, result.stderr), (0, b""))
                self.assertNotEqual(result.stdout, wide)
                lines = lines_of(result.stdout)
                self.assertNotEqual(lines[-1], "", "trailing empty line")
                for line in lines:
                    if len(line) > width:
                        self.assertEqual(len(line.split()), 1,
                                         f"{len(line)} characters: {line!r}")
                # Wrapping only moves white space about.
                self.assertEqual("".join(result.stdout.decode("utf-8").split()),
                                 "".join(wide.decode("utf-8").split()))

    def test_help_that_cannot_be_written_is_no_success(self):
        # A full disk as standard output: status 1 and a diagnostic on
        # standard error; with that full too, the status alone.
        for stderr_full in (False, True):
            with self.subTest(stderr_full=stderr_full), open("/dev/full", "wb") as full:
                completed = subprocess.run(
                    harness.command(self.layout.launcher, ["-h"]), stdin=subprocess.DEVNULL,
                    stdout=full, stderr=full if stderr_full else subprocess.PIPE,
                    env=environment(), cwd=self.work, timeout=60)
                self.assertEqual(completed.returncode, 1)
                if not stderr_full:
                    [line] = lines_of(completed.stderr)
                    self.assertRegex(line, r"^Tolvane\.exe: stdout: OSError: Write\w* failed: .*"
                                           r"\(error \d+\)$" if WINDOWS else
                                     r"^Tolvane\.exe: stdout: OSError: write failed: No space "
                                     r"left on device \(error 28\)$")

    def test_columns_that_is_no_positive_number_means_80(self):
        # A name long enough that the usage line wraps at 80 columns but
        # not at 120, so the width actually used shows in the text.
        layout = harness.Layout(launcher_name="Launcher_with_a_rather_long_file_name_1234.exe")
        self.addCleanup(layout.remove)
        at = {columns: self.launch(["-h"], columns=columns, program=layout.launcher)
              for columns in ("80", "120", "0", "abc", "-3", None)}
        self.assertNotEqual(at["80"].stdout, at["120"].stdout)
        for columns in ("0", "abc", "-3", None):
            with self.subTest(COLUMNS=columns):
                self.assertEqual((at[columns].status, at[columns].stderr), (0, b""))
                self.assertEqual(at[columns].stdout, at["80"].stdout)


class ErrorTest(LauncherCase):

    def test_missing_deck(self):
        for args in ([], ["-nogui", "deck.inp"], ["--"]):
            with self.subTest(args=args):
                self.assert_error(self.launch(args), "Tolvane.exe", REQUIRED)

    def test_left_over_words_in_command_line_order(self):
        for args, left_over in (
                (["a.inp", "b.inp"], "b.inp"),
                (["-y", "a.inp", "b", "--zz"], "-y b --zz"),
                (["a.inp", "デッキ.inp"], "デッキ.inp"),
                (["a.inp", "with space.inp"], "with space.inp")):
            with self.subTest(args=args):
                self.assert_error(self.launch(args), "Tolvane.exe",
                                  "unrecognized arguments: " + left_over)

    def test_help_word_with_an_attached_value(self):
        for args, attached in ((["-h=x"], "x"), (["--help="], ""), (["-h=a b"], "a b")):
            with self.subTest(args=args):
                self.assert_error(self.launch(args), "Tolvane.exe",
                                  "argument -h/--help: ignored explicit argument '"
                                  + attached + "'")


class ProgramNameTest(LauncherCase):
    """The texts name the running executable's file, not the typed word."""

    launcher_name = "Launcher.exe"

    def test_texts_name_the_executable_file(self):
        self.assert_error(self.launch([]), "Launcher.exe", REQUIRED)
        self.assert_help(self.launch(["-h"]), help_bytes("Launcher.exe"))

    @unittest.skipIf(WINDOWS, "a POSIX link and element 0 chosen by the caller")
    def test_typed_word_and_links_do_not_name_the_program(self):
        link = os.path.join(self.work, "other")
        os.symlink(self.layout.launcher, link)
        self.addCleanup(os.remove, link)
        self.assert_error(self.launch([], program=link), "Launcher.exe", REQUIRED)
        typed = subprocess.run(["Typed.exe"], executable=self.layout.launcher,
                               env=environment(), cwd=self.work, stdin=subprocess.DEVNULL,
                               capture_output=True, timeout=60)
        self.assertEqual((typed.returncode, typed.stdout), (2, b""))
        self.assertEqual(typed.stderr, error_bytes("Launcher.exe", REQUIRED))

    @unittest.skipIf(WINDOWS or SANITIZED, "POSIX limits, which a sanitizer's runtime needs more of")
    def test_failures_at_the_start_and_without_memory_name_the_program(self):
        # Start-up fails when there is no descriptor for its wake-up pipe;
        # memory so short that even an exception cannot be made ends in a
        # fixed diagnostic, not in std::terminate. Some limits stop the
        # dynamic loader before the launcher runs at all (status 127).
        def limited(resource_kind, limit):
            def apply():
                resource.setrlimit(resource_kind, (limit, limit))
            return subprocess.run([self.layout.launcher, "beam.inp"], preexec_fn=apply,
                                  env=environment(), cwd=self.work, stdin=subprocess.DEVNULL,
                                  capture_output=True, timeout=60)
        start_up = limited(resource.RLIMIT_NOFILE, 4)
        self.assertEqual(start_up.returncode, 1)
        self.assertTrue(start_up.stderr.startswith(b"Launcher.exe: start-up: OSError: pipe2 failed"),
                        start_up.stderr)
        out_of_memory = 0
        for kib in range(5000, 9000, 50):
            with self.subTest(address_space_kib=kib):
                done = limited(resource.RLIMIT_AS, kib << 10)
                self.assertIn(done.returncode, (1, 127), done.stderr)
                if done.returncode == 1:
                    self.assertEqual(done.stderr.count(b"\n"), 1, done.stderr)
                    self.assertTrue(done.stderr.startswith(b"Launcher.exe: "), done.stderr)
                    out_of_memory += b": MemoryError: out of memory\n" in done.stderr
        self.assertGreater(out_of_memory, 0, "no limit left the launcher without memory")

    @unittest.skipUnless(WINDOWS, "spellings of a Windows program path")
    def test_typed_spelling_does_not_name_the_program(self):
        for typed in ("Launcher", "./Launcher.exe", harness.target_path(self.layout.launcher)):
            with self.subTest(typed=typed):
                result = harness.run(typed, [], env=environment(), cwd=self.layout.root)
                self.assert_error(result, "Launcher.exe", REQUIRED)


class WildcardTest(LauncherCase):

    def setUp(self):
        for name in ("a.inp", "b.inp"):
            with open(os.path.join(self.work, name), "w"):
                pass

    def test_patterns_are_words_as_typed(self):
        for pattern in ("*.inp", "?.inp", "[ab].inp"):
            with self.subTest(pattern=pattern):
                self.assert_error(self.launch([pattern, "x"]), "Tolvane.exe",
                                  "unrecognized arguments: x")
        self.assert_error(self.launch(["a.inp", "*.inp"]), "Tolvane.exe",
                          "unrecognized arguments: *.inp")

    def test_a_pattern_alone_reaches_the_pipeline(self):
        result = self.launch(["*.inp"])
        self.assertEqual((result.status, result.stdout), (1, b""))
        self.assertIn(b"FileNotFoundError", result.stderr)
        self.assertEqual(sorted(os.listdir(self.work)), ["a.inp", "b.inp"])


class FormSelectionTest(unittest.TestCase):
    """Without components the first pipeline step fails, and its diagnostic
    shows which form of the converter the launcher went for."""

    def run_in_fresh_layout(self, launcher_name, folder_name="app"):
        layout = harness.Layout(launcher_name=launcher_name, folder_name=folder_name)
        self.addCleanup(layout.remove)
        work = os.path.join(layout.tmp, "work")
        os.mkdir(work)
        result = harness.run(layout.launcher, ["beam"], env=environment(), cwd=work)
        self.assertEqual((result.status, result.stdout), (1, b""))
        self.assertEqual(len(lines_of(result.stderr)), 1, result.stderr)
        self.assertEqual(os.listdir(work), [], "the launcher writes no file")
        return layout, result.err_text()

    def test_exe_name_starts_the_tool_converter(self):
        layout, diagnostic = self.run_in_fresh_layout("Tolvane.exe")
        converter = os.path.join(layout.root, "tools", "inp_converter.exe")
        self.assertIn("FileNotFoundError", diagnostic)
        self.assertIn(harness.target_path(converter), diagnostic)
        self.assertNotIn("inp_converter.main", diagnostic)

    def test_other_names_bind_the_in_process_converter(self):
        for launcher_name, folder_name in (("Tolvane", "app"), ("Tolvane.EXE", "app"),
                                           ("prog", "a.b"), (".exe", "app"),
                                           ("Tolvane.exe.old", "app")):
            with self.subTest(launcher=folder_name + "/" + launcher_name):
                _, diagnostic = self.run_in_fresh_layout(launcher_name, folder_name)
                self.assertIn("inp_converter.main", diagnostic)
                self.assertNotIn("inp_converter.exe", diagnostic)


@unittest.skipUnless(os.path.exists(RECORDER),
                     "the recording fixture " + RECORDER + " is not built")
class DerivedPathTest(unittest.TestCase):
    """The recorder, installed as the three tools, shows the exact paths
    that the launcher hands on."""

    def setUp(self):
        self.layout = harness.Layout()
        self.addCleanup(self.layout.remove)
        self.recorder = harness.Recorder(self.layout)
        self.work = os.path.join(self.layout.tmp, "jobs", "work")
        os.makedirs(self.work)

    def recorded(self, args, role="inp_converter", program=None):
        """argv of the role's run, element 0 included."""
        for old in harness.ROLES:
            if os.path.exists(self.recorder.path(old, "record")):
                os.remove(self.recorder.path(old, "record"))
        # The converter's heading line lets the run go on to the editor.
        self.recorder.tell("inp_converter", "stdout", "header:beam\n")
        env = environment()
        env.update(self.recorder.env())
        result = harness.run(program or self.layout.launcher, args, env=env, cwd=self.work)
        records = self.recorder.records(role)
        self.assertEqual(len(records), 1,
                         f"{role} runs; status {result.status}, {result.stderr!r}")
        return records[0].argv

    def deck(self, args):
        return self.recorded(args)[1]

    def in_work(self, *parts):
        return harness.target_path(os.path.join(self.work, *parts))

    def test_deck_word_becomes_an_absolute_inp_path(self):
        for args, expected in (
                (["beam"], self.in_work("beam.inp")),
                (["beam.inp"], self.in_work("beam.inp")),
                (["beam.INP"], self.in_work("beam.INP.inp")),
                (["../work/./sub//beam"], self.in_work("sub", "beam.inp")),
                (["sub/../../up.inp"], harness.target_path(os.path.join(self.layout.tmp, "jobs",
                                                                        "up.inp"))),
                ([""], self.in_work() + ".inp"),
                # Windows' full-path operation gives nothing for blanks.
                ([" "], self.in_work(" .inp")),
                (["--", "-deck"], self.in_work("-deck.inp")),
                (["-x y"], self.in_work("-x y.inp")),
                # A backslash separates only on Windows.
                (["sub\\..\\beam"],
                 self.in_work("beam.inp") if WINDOWS else self.in_work("sub\\..\\beam.inp")),
                (["-nogui", "s.s2f", "beam"], self.in_work("beam.inp")),
                (["beam", "-nogui"], self.in_work("beam.inp"))):
            with self.subTest(args=args):
                self.assertEqual(self.deck(args), expected)

    def test_a_pattern_is_the_deck_path_as_typed(self):
        for name in ("a.inp", "b.inp"):
            with open(os.path.join(self.work, name), "w"):
                pass
        self.assertEqual(self.deck(["*.inp"]), self.in_work("*.inp"))

    def test_absolute_deck_path_is_kept(self):
        deck = harness.target_path(os.path.join(self.layout.tmp, "elsewhere", "beam.inp"))
        self.assertEqual(self.deck([deck]), deck)

    def test_links_in_the_deck_word_stay_as_typed(self):
        os.symlink(os.path.join(self.layout.tmp, "jobs"), os.path.join(self.work, "link"))
        self.assertEqual(self.deck(["link/beam"]), self.in_work("link", "beam.inp"))
        # ".." is taken by the text, not by the link's target.
        self.assertEqual(self.deck(["link/../beam"]), self.in_work("beam.inp"))

    def solver_dir(self, program=None):
        argv = self.recorded(["beam"], role="editor", program=program)
        return argv[2]

    def test_solver_directory_beside_the_launcher(self):
        real_root = os.path.realpath(self.layout.root)
        self.assertEqual(self.solver_dir(),
                         harness.target_path(os.path.join(real_root, SOLVER_DIR)))

    def test_solver_directory_through_a_link_to_the_executable_is_the_real_one(self):
        # The tools are found beside the invocation path, which Wine keeps
        # as the link's and a native process reports resolved: both folders
        # hold them, so the chain runs either way.
        other = os.path.join(self.layout.tmp, "other")
        os.makedirs(os.path.join(other, "tools"))
        for role in harness.ROLES:
            shutil.copy2(RECORDER, os.path.join(other, "tools", role + ".exe"))
        link = os.path.join(other, "Tolvane.exe")
        os.symlink(self.layout.launcher, link)
        self.assertEqual(self.solver_dir(program=link),
                         harness.target_path(os.path.join(os.path.realpath(self.layout.root),
                                                          SOLVER_DIR)))

    def test_solver_directory_through_a_linked_folder_is_the_real_one(self):
        linked = os.path.join(self.layout.tmp, "linked")
        os.symlink(self.layout.root, linked)
        self.assertEqual(self.solver_dir(program=os.path.join(linked, "Tolvane.exe")),
                         harness.target_path(os.path.join(os.path.realpath(self.layout.root),
                                                          SOLVER_DIR)))


@unittest.skipIf(WINDOWS, "Wine reuses closed descriptors for its own files and server socket "
                          "and hands those on as the standard handles")
class ClosedStreamsTest(unittest.TestCase):
    """A standard stream that the launcher was started without takes the
    text that would go to it and nothing else does."""

    redirection = {"in": "<&-", "out": ">&-", "err": "2>&-"}

    def run_without(self, closed, program, args, cwd, env=None):
        closing = "exec " + " ".join(self.redirection[name] for name in sorted(closed))
        wrapper = ["sh", "-c", closing + '; exec "$@"', "sh"]
        return subprocess.run(wrapper + harness.command(program, args),
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, env=env or environment(), cwd=cwd,
                              timeout=60)

    def test_texts_for_a_closed_stream_are_discarded(self):
        work = tempfile.mkdtemp(prefix="tolvane cwd ")
        self.addCleanup(shutil.rmtree, work, True)
        layout = harness.Layout()
        self.addCleanup(layout.remove)
        for closed, args, status in (({"out"}, ["-h"], 0),
                                     ({"out"}, [], 2),
                                     ({"err"}, [], 2),
                                     ({"err"}, ["-h"], 0),
                                     ({"out", "err"}, ["-h"], 0),
                                     ({"in", "out", "err"}, [], 2)):
            with self.subTest(closed=sorted(closed), args=args):
                completed = self.run_without(closed, layout.launcher, args, work)
                self.assertEqual(completed.returncode, status)
                if "out" not in closed:
                    self.assertEqual(completed.stdout,
                                     help_bytes("Tolvane.exe") if status == 0 else b"")
                if "err" not in closed:
                    self.assertEqual(completed.stderr,
                                     b"" if status == 0 else error_bytes("Tolvane.exe", REQUIRED))
                self.assertEqual(os.listdir(work), [])

    @unittest.skipUnless(os.path.exists(RECORDER), "the recording fixture is not built")
    def test_closed_streams_reach_components_as_the_null_device(self):
        layout = harness.Layout()
        self.addCleanup(layout.remove)
        recorder = harness.Recorder(layout)
        recorder.tell("inp_converter", "stdout", "header:beam\n")
        env = environment()
        env.update(recorder.env())
        completed = self.run_without({"in", "out", "err"}, layout.launcher, ["beam"],
                                     layout.tmp, env)
        self.assertEqual(completed.returncode, 0)
        [editor] = recorder.records("editor")
        self.assertEqual([editor.fds.get(fd) for fd in (0, 1, 2)], ["/dev/null"] * 3)

if __name__ == "__main__":
    unittest.main()
