"""tolvane-check, the validator for component authors, end to end, and its
promise: whatever it passes, the launcher runs with status 0, attended and
with -nogui, on a deck whose folder and file names hold a blank and
letters outside every ANSI code page. Each row runs the validator on a
layout with one broken component and asserts the line of the check it is
about; wherever the validator passes, the row then runs the launcher on
the same layout and holds it to that promise, so that the two cannot
drift apart."""

import os
import shutil
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

import harness
from harness import MODULE_SUFFIX, SUFFIX, WINDOWS

CHECKER = harness.built("tolvane-check" + SUFFIX)
MODULES = ("inp_converter.main", "editor.gui", "monitor.gui")
CHECKS = 24
# Georgian, which no ANSI code page holds.
BEYOND_CODE_PAGES = "\u10eb\u10d4\u10da\u10d8"
CRASH = "access violation" if WINDOWS else "segmentation fault"


def setUpModule():
    harness.wine_ready()


def test_module(name):
    return harness.built(os.path.join("test-modules", name + MODULE_SUFFIX))


def utf8_env(**settings):
    """A UTF-8 locale, in which Wine names files with any letter."""
    return dict(os.environ, LC_ALL="C.UTF-8", **settings)


def verdicts(result):
    """{check or component name: (level, rest of its line)}."""
    found = {}
    for line in result.out_text().splitlines():
        level, _, rest = line.partition(" ")
        if level in ("PASS", "WARN", "FAIL", "SKIP"):
            found[rest.split(":")[0].split(" (")[0]] = (level, rest)
    return found


class CheckerCase(unittest.TestCase):
    def check(self, folder, *options, env=None, timeout=300):
        return harness.run(CHECKER, list(options) + [harness.target_path(folder)],
                           env=env or utf8_env(), timeout=timeout)

    def assert_line(self, result, name, level, says):
        line = verdicts(result).get(name)
        self.assertIsNotNone(line, result.out_text())
        self.assertEqual(line[0], level, line[1])
        self.assertIn(says, line[1])
        if level in ("WARN", "FAIL"):
            self.assertIn(". Fix: ", line[1])

    def assert_launcher_runs(self, layout, env):
        """The promise: the launcher ends with 0 on the layout, attended and
        with -nogui, on a deck in a folder named as no code page can."""
        jobs = os.path.join(layout.tmp, "jobs " + BEYOND_CODE_PAGES)
        os.makedirs(jobs, exist_ok=True)
        deck = os.path.join(jobs, "beam " + BEYOND_CODE_PAGES + ".inp")
        with open(deck, "w") as f:
            f.write("!HEADER\nA beam\n!END\n")
        for extra in ([], ["-nogui"]):
            result = harness.run(layout.launcher, [harness.target_path(deck)] + extra, env=env,
                                 cwd=layout.tmp, timeout=60)
            self.assertEqual(result.status, 0, "%s %s: %s" % (layout.launcher, extra,
                                                              result.err_text()))

    def module_layout(self, swapped=None):
        """The misbehaving module as all three modules, but for those that
        swapped puts in their place, beside the launcher "Tolvane"."""
        layout = harness.Layout(launcher_name="Tolvane")
        self.addCleanup(layout.remove)
        for module in MODULES:
            layout.put_module(module, test_module((swapped or {}).get(module, "misbehaving")))
        return layout


class SampleComponents(CheckerCase):
    def test_the_samples_pass_every_check(self):
        result = self.check(harness.BUILD_DIR)
        self.assertEqual((result.status, result.stderr), (0, b""), result.out_text())
        found = verdicts(result)
        self.assertEqual(len(found), CHECKS, result.out_text())
        self.assertEqual({level for level, _ in found.values()}, {"PASS"}, result.out_text())


class BrokenModules(CheckerCase):
    """The misbehaving module (tests/modules/misbehaving.cpp) as all three
    modules, broken one way a row."""

    ROWS = [
        # TOLVANE_MISBEHAVE, unattended, modules in its place, check, level, what the line says
        ("", False, {"inp_converter.main": "empty"}, "converter.module", "FAIL",
         "cannot import name 'CONVERTER'"),
        ("", False, {"editor.gui": "refused_undeclared"}, "editor.module", "FAIL",
         "add TOLVANE_DECLARE_EDITOR after it"),
        ("", False, {"editor.gui": "refused_wrong_major"}, "editor.module", "FAIL",
         "another major version of the component interface (found interface 2.0, expected "
         "1.x). Fix: rebuild it against a Tolvane SDK of interface 1.x"),
        ("", False, {"editor.gui": "refused_newer_minor"}, "editor.module", "FAIL",
         "a newer minor version"),
        ("", False, {"editor.gui": "refused_wrong_kind"}, "editor.module", "FAIL",
         "is not the entry that its declaration describes: declare it with "
         "TOLVANE_DECLARE_EDITOR, or export it with TOLVANE_EXPORT_EDITOR(Class). Fix"),
        ("", False, {"editor.gui": "needs_library"}, "editor.module", "FAIL",
         "a library that the module depends on is missing: dependency"),
        ("CONVERTER=fail", False, None, "converter.create", "FAIL",
         "CONVERTER returned NULL (ValueError: CONVERTER failed)"),
        ("CONVERTER=report", False, None, "converter.create", "FAIL",
         "CONVERTER reported a failure (ValueError: reported, yet) and returned an object"),
        ("EDITOR=throw", False, None, "editor.create", "FAIL",
         "EDITOR let a C++ exception out across the C interface"),
        ("CONVERTER.main=hang", False, None, "converter.main", "FAIL",
         "CONVERTER.main did not return within 1 s"),
        ("CONVERTER.main=leak-crash", False, None, "converter.main", "FAIL",
         "CONVERTER.main crashed: " + CRASH),
        ("EDITOR.editor=segv", False, None, "editor.editor", "FAIL",
         "EDITOR.editor crashed: " + CRASH),
        ("EDITOR.editor=report", False, None, "editor.editor", "FAIL",
         "EDITOR.editor reported a failure (ValueError: reported, yet) and returned TOLVANE_OK"),
        ("CONVERTER.main=bad-heading", False, None, "converter.heading", "FAIL",
         "the heading is not valid UTF-8"),
        ("CONVERTER.main=newline-heading", False, None, "converter.heading", "FAIL",
         "the heading holds a line end"),
        ("EDITOR=no-root", False, None, "editor.root", "FAIL", "root is NULL"),
        ("EDITOR.root.destroy=fail", False, None, "editor.root", "FAIL",
         "EDITOR.root.destroy failed"),
        ("CONVERTER.main=no-model", False, None, "model.folder", "FAIL",
         "does not exist once the editor has closed"),
        ("MONITOR.monitor_main=exit", False, None, "monitor.attended", "FAIL",
         "MONITOR.monitor_main ended the process with status 7"),
        ("MONITOR.run_process=no-done", True, None, "monitor.unattended", "FAIL",
         "run_process returned, but done stayed 0 for 1 s"),
        ("MONITOR.run_process=hang-no-done", True, None, "monitor.unattended", "FAIL",
         "done stayed 0 for 1 s while run_process ran"),
        ("MONITOR.nogui_mode=done", True, None, "monitor.unattended", "FAIL",
         "nogui_mode set done, but the launcher writes 0 to done when nogui_mode returns"),
        ("MONITOR.run_process=crash-after-done", True, None, "monitor.unattended", "FAIL",
         "MONITOR.run_process crashed: " + CRASH),
        ("MONITOR.signal_handler=fail", True, None, "monitor.signal_handler", "FAIL",
         "MONITOR.signal_handler failed"),
        ("MONITOR.signal_handler=segv-second", True, None, "monitor.signal_handler", "FAIL",
         "MONITOR.signal_handler crashed: " + CRASH),
        ("CONVERTER.release=segv", False, None, "converter.release", "FAIL",
         "CONVERTER.release crashed"),
        # A plain fopen cannot open the deck on Windows, where the launcher's
        # text is UTF-8 and fopen reads the ANSI code page.
        ("CONVERTER.main=fopen", False, None, "converter.main", "FAIL" if WINDOWS else "PASS",
         "tolvane_fopen (C) or name it with tolvane::component::fs_path" if WINDOWS else ""),
        ("CONVERTER.main=null-heading", False, None, "converter.heading", "WARN",
         "heading is NULL"),
        ("MONITOR.release=hang", True, None, "monitor.release", "WARN",
         "MONITOR.release did not return within the 0.5 s"),
        ("MONITOR.run_process=fail", True, None, "monitor.unattended", "WARN",
         "the run still ends with status 0 once done is set"),
        ("", True, None, "monitor.signal_handler", "PASS", "called twice"),
    ]

    def test_each_broken_module_fails_its_check_and_what_passes_runs(self):
        for misbehave, unattended, swapped, name, level, says in self.ROWS:
            with self.subTest(misbehave=misbehave, swapped=swapped):
                layout = self.module_layout(swapped)
                env = utf8_env(TOLVANE_MISBEHAVE=misbehave,
                               TOLVANE_MISBEHAVE_NOGUI="1" if unattended else "")
                # A failure needs only the run that meets its check first.
                narrowed = ["--filter", name] if level == "FAIL" else []
                result = self.check(layout.root, "--timeout", "1", *narrowed, env=env)
                self.assertEqual(result.status, 1 if level == "FAIL" else 0, result.out_text())
                self.assert_line(result, name, level, says)
                if result.status == 0:
                    self.assert_launcher_runs(layout, env)


class BrokenTools(CheckerCase):
    """The recorder (fixtures/recorder.cpp) as the three tools, told to
    misbehave one way a row; by default a converter that makes the model
    folder and writes a heading, and an editor and a monitor that exit
    with 0."""

    ROWS = [
        # {role: {instruction: content}}, converter tool, check, level, what the line says
        ({"inp_converter": {"exit": "2"}}, None, "converter-tool.run", "FAIL",
         "inp_converter.exe exited with code 2"),
        ({"inp_converter": {"linger": "30"}}, None, "converter-tool.run", "FAIL",
         "a process that it started still holds its standard output open"),
        ({"inp_converter": {"stdout": b"header:A\x81\n" if WINDOWS else b"header:\xff\n"}}, None,
         "converter-tool.output", "FAIL", "is not valid"),
        ({"inp_converter": {"stdout": ""}}, None, "converter-tool.output", "FAIL",
         "the output is empty"),
        ({"inp_converter": {"stdout": "header:" + "x" * 200000}}, None, "converter-tool.heading",
         "FAIL", "longer than a command line can carry"),
        ({"inp_converter": {"model": None}}, None, "model-tool.folder", "FAIL",
         "does not exist once inp_converter.exe and editor.exe have ended"),
        ({"editor": {"exit": "1"}}, None, "editor-tool.run", "FAIL",
         "editor.exe exited with code 1"),
        ({"monitor": {"sleep": "30"}}, None, "monitor-tool.run", "FAIL",
         "monitor.exe: it did not end within 1 s"),
        # On Windows a plain main gets its arguments in the ANSI code page.
        ({}, "plain_main", "converter-tool.run", "FAIL" if WINDOWS else "PASS",
         "WMAIN option of tolvane_add_component_tool" if WINDOWS else ""),
        ({"inp_converter": {"stdout": "Reading\nPlain\n"}}, None, "converter-tool.heading",
         "WARN", 'the editor gets the whole line "Plain"'),
        # The recorder exits with 0 whatever its deck.
        ({}, None, "converter-tool.missing-deck", "WARN",
         "exited with 0 for a deck that does not exist"),
        # Written in UTF-8, the heading reaches a Windows editor as mojibake.
        ({"inp_converter": {"stdout": "header:T\u00f6lvane\n"}}, None, "converter-tool.heading",
         "WARN" if WINDOWS else "PASS", "ANSI code page" if WINDOWS else "T\u00f6lvane"),
    ]

    def test_each_broken_tool_fails_its_check_and_what_passes_runs(self):
        for instructions, converter, name, level, says in self.ROWS:
            with self.subTest(name=name, instructions=str(instructions)[:60],
                              converter=converter):
                layout = harness.Layout()
                self.addCleanup(layout.remove)
                recorder = harness.Recorder(layout)
                told = {"inp_converter": {"stdout": "header:x\n", "model": ""}}
                for role, what in instructions.items():
                    told.setdefault(role, {}).update(what)
                for role, what in told.items():
                    for instruction, content in what.items():
                        if content is not None:
                            recorder.tell(role, instruction, content)
                if converter:
                    layout.put_tool("inp_converter", harness.fixture(converter))
                env = utf8_env(**recorder.env())
                narrowed = ["--filter", name] if level == "FAIL" else []
                result = self.check(layout.root, "--timeout", "1", *narrowed, env=env)
                self.assertEqual(result.status, 1 if level == "FAIL" else 0, result.out_text())
                self.assert_line(result, name, level, says)
                if narrowed and not converter:
                    # One run of the chain: each tool at most once.
                    for role in harness.ROLES:
                        self.assertLessEqual(len(recorder.records(role)), 1, role)
                lingering = recorder.path("inp_converter", "lingering")
                if os.path.exists(lingering):
                    # The run ended what its tool left behind.
                    with open(lingering) as f:
                        self.assertFalse(harness.alive(int(f.read())))
                if result.status == 0:
                    self.assert_launcher_runs(layout, env)


class Options(CheckerCase):
    def test_in_process_keeps_the_time_limits_and_fails_an_exit(self):
        for misbehave, name, says in (
                ("MONITOR.monitor_main=exit", "monitor.attended",
                 "MONITOR.monitor_main ended the process"),
                ("CONVERTER.main=hang", "converter.main",
                 "CONVERTER.main did not return within 1 s"),
                ("EDITOR=no-root", "editor.root", "root is NULL")):
            with self.subTest(misbehave):
                layout = self.module_layout()
                result = self.check(layout.root, "--in-process", "--timeout", "1", "--filter",
                                    name, env=utf8_env(TOLVANE_MISBEHAVE=misbehave), timeout=60)
                self.assertEqual(result.status, 1, result.out_text())
                self.assert_line(result, name, "FAIL", says)
                self.assertIn("tolvane-check%s: " % SUFFIX, result.out_text().splitlines()[-1])

    def test_strict_junit_repeat_only_failed_and_require(self):
        layout = self.module_layout()
        warning = utf8_env(TOLVANE_MISBEHAVE="CONVERTER.main=null-heading")
        for options, status in ((["--filter", "converter.heading"], 0),
                                (["--filter", "converter.heading", "--strict"], 1),
                                (["--filter", "editor.root", "--require", "monitor-tool"], 1)):
            with self.subTest(options=options):
                result = self.check(layout.root, *options, env=warning)
                self.assertEqual(result.status, status, result.out_text())
        required = verdicts(self.check(layout.root, "--filter", "editor.root", "--require",
                                       "monitor-tool", env=warning))
        self.assertEqual(required["monitor-tool"][0], "FAIL")
        self.assertEqual(required["editor-tool"][0], "SKIP")

        junit = os.path.join(layout.tmp, "report.xml")
        broken = utf8_env(TOLVANE_MISBEHAVE="EDITOR=no-root")
        result = self.check(layout.root, "--filter", "editor", "--repeat", "2", "--only-failed",
                            "--junit", harness.target_path(junit), env=broken)
        self.assertEqual(result.status, 1)
        self.assertEqual({name for name, (level, _) in verdicts(result).items()},
                         {"editor.root"}, result.out_text())
        suites = ElementTree.parse(junit).getroot()
        runs = {suite.get("name") for suite in suites}
        self.assertLessEqual({"modules #1", "modules #2", "layout"}, runs)
        failures = [case for case in suites.iter("testcase") if case.find("failure") is not None]
        self.assertEqual(sorted(case.get("name") for case in failures),
                         ["editor.root", "editor.root"])
        self.assertTrue(failures[0].find("failure").text.startswith("Fix: "))
        self.assertIn("editor.release", [case.get("name") for case in suites.iter("testcase")
                                         if case.find("skipped") is not None])

    def test_absent_components_are_skipped_and_counted(self):
        layout = self.module_layout()
        result = self.check(layout.root, "--filter", "converter.module")
        found = verdicts(result)
        self.assertEqual([name for name, (level, _) in found.items() if level == "SKIP"],
                         ["converter-tool", "editor-tool", "monitor-tool"], result.out_text())
        self.assertTrue(result.out_text().endswith("4 checks: 1 passed, 0 warned, 0 failed, "
                                                   "3 skipped\n"), result.out_text())


class CommandLine(CheckerCase):
    def test_usage_errors_list_and_an_empty_folder(self):
        empty = tempfile.mkdtemp(prefix="tolvane check ")
        self.addCleanup(shutil.rmtree, empty, True)
        missing = os.path.join(empty, "no such deck.inp")
        for options in ([], ["--filter", "nothing-like-it"], ["--timeout", "0"], ["--bogus"],
                        ["--repeat", "0"], ["--require", "solver"],
                        ["--deck", harness.target_path(empty)],
                        ["--deck", harness.target_path(missing)]):
            with self.subTest(options=options):
                result = harness.run(CHECKER, options + ([harness.target_path(empty)]
                                                         if options else []))
                self.assertEqual(result.status, 2, result.err_text())
                lines = result.err_text().splitlines()
                self.assertTrue(lines[0].startswith("usage: tolvane-check"), lines)
                self.assertEqual(len(lines), 2, lines)
        listed = harness.run(CHECKER, ["--list"])
        self.assertEqual(listed.status, 0)
        self.assertEqual(len(listed.out_text().splitlines()), CHECKS)
        nothing = self.check(empty)
        self.assertEqual(nothing.status, 1)
        self.assertTrue(nothing.out_text().startswith("FAIL layout: no component in "),
                        nothing.out_text())


if __name__ == "__main__":
    unittest.main()
