"""tolvane-check, the validator for component authors, end to end: run on
the sample components (all pass), and on small broken components, one row
per check, each row asserting the check's name and its verdict."""

import os
import shutil
import tempfile
import unittest

import harness
from harness import MODULE_SUFFIX, SUFFIX, WINDOWS

CHECKER = harness.built("tolvane-check" + SUFFIX)
MODULES = ("inp_converter.main", "editor.gui", "monitor.gui")


def setUpModule():
    harness.wine_ready()


def test_module(name):
    return harness.built(os.path.join("test-modules", name + MODULE_SUFFIX))


def verdicts(result):
    """{check name: (level, rest of its line)} of the checker's output."""
    found = {}
    for line in result.out_text().splitlines():
        level, _, rest = line.partition(" ")
        if level in ("PASS", "WARN", "FAIL"):
            name = rest.split(":")[0].split(" (")[0]
            found[name] = (level, rest)
    return found


class CheckerCase(unittest.TestCase):
    def check(self, folder, *options, env=None):
        return harness.run(CHECKER, list(options) + [harness.target_path(folder)],
                           env=env, timeout=300)


class SampleComponents(CheckerCase):
    def test_the_samples_pass_every_check(self):
        result = self.check(harness.BUILD_DIR)
        self.assertEqual((result.status, result.stderr), (0, b""), result.out_text())
        found = verdicts(result)
        self.assertEqual(len(found), 23, result.out_text())
        self.assertEqual({level for level, _ in found.values()}, {"PASS"}, result.out_text())


class BrokenComponents(CheckerCase):
    """The misbehaving module (tests/modules/misbehaving.cpp) as all three
    modules, or the recorder fixture as the tools, broken one way a row."""

    MODULE_ROWS = [
        # check, module in place of the editor (None: misbehaving), TOLVANE_MISBEHAVE,
        # unattended, level, what the line says
        ("converter.module", None, "", False, "FAIL", "cannot import name 'CONVERTER'"),
        ("editor.module", "refused_undeclared", "", False, "FAIL",
         "add TOLVANE_DECLARE_EDITOR after it"),
        ("editor.module", "refused_wrong_major", "", False, "FAIL", "another major version"),
        ("editor.module", "refused_newer_minor", "", False, "FAIL", "a newer minor version"),
        ("editor.module", "refused_wrong_kind", "", False, "FAIL", "is not the entry"),
        ("converter.create", None, "CONVERTER=fail", False, "FAIL",
         "CONVERTER returned NULL (ValueError: CONVERTER failed)"),
        ("editor.create", None, "EDITOR=throw", False, "FAIL",
         "EDITOR let a C++ exception out across the C interface"),
        ("converter.main", None, "CONVERTER.main=hang", False, "FAIL",
         "CONVERTER.main did not return within 1 s"),
        ("editor.editor", None, "EDITOR.editor=segv", False, "FAIL",
         "EDITOR.editor crashed: " + ("access violation" if WINDOWS else "segmentation fault")),
        ("editor.editor", None, "EDITOR.editor=report", False, "FAIL",
         "EDITOR.editor reported a failure (ValueError: reported, yet) and returned TOLVANE_OK"),
        ("converter.heading", None, "CONVERTER.main=null-heading", False, "WARN",
         "heading is NULL"),
        ("converter.heading", None, "CONVERTER.main=bad-heading", False, "FAIL",
         "the heading is not valid UTF-8"),
        ("converter.heading", None, "CONVERTER.main=newline-heading", False, "FAIL",
         "the heading holds a line end"),
        ("editor.root", None, "EDITOR=no-root", False, "FAIL", "root is NULL"),
        ("editor.root", None, "EDITOR.root.destroy=fail", False, "FAIL",
         "EDITOR.root.destroy failed"),
        ("model.folder", None, "CONVERTER.main=no-model", False, "FAIL",
         "does not exist once the editor has closed"),
        ("monitor.attended", None, "MONITOR.monitor_main=exit", False, "FAIL",
         "MONITOR.monitor_main ended the process with status 7"),
        ("monitor.unattended", None, "MONITOR.run_process=no-done", True, "FAIL",
         "run_process returned, but done stayed 0 for 1 s"),
        ("monitor.unattended", None, "MONITOR.run_process=hang-no-done", True, "FAIL",
         "done stayed 0 for 1 s while run_process ran"),
        ("monitor.signal_handler", None, "MONITOR.signal_handler=fail", True, "FAIL",
         "MONITOR.signal_handler failed"),
        ("converter.release", None, "CONVERTER.release=segv", False, "FAIL",
         "CONVERTER.release crashed"),
    ]

    def setUp(self):
        self.layout = harness.Layout()
        self.addCleanup(self.layout.remove)

    def test_each_broken_module_fails_its_check(self):
        for name, editor, misbehave, unattended, level, says in self.MODULE_ROWS:
            with self.subTest(name=name, editor=editor, misbehave=misbehave):
                for module in MODULES:
                    self.layout.put_module(module, test_module("misbehaving"))
                if editor:
                    self.layout.put_module("editor.gui", test_module(editor))
                if name == "converter.module":
                    self.layout.put_module("inp_converter.main", test_module("empty"))
                env = dict(os.environ, TOLVANE_MISBEHAVE=misbehave,
                           TOLVANE_MISBEHAVE_NOGUI="1" if unattended else "")
                result = self.check(self.layout.root, "--timeout", "1", "--filter", name,
                                    env=env)
                self.assertEqual(result.status, 1 if level == "FAIL" else 0, result.out_text())
                line = verdicts(result).get(name)
                self.assertIsNotNone(line, result.out_text())
                self.assertEqual(line[0], level, line[1])
                self.assertIn(says, line[1])
                if level != "PASS":
                    self.assertIn(". Fix: ", line[1])

    def test_in_process_and_only_failed(self):
        for module in MODULES:
            self.layout.put_module(module, test_module("misbehaving"))
        env = dict(os.environ, TOLVANE_MISBEHAVE="EDITOR=no-root")
        result = self.check(self.layout.root, "--in-process", "--filter", "editor.root", env=env)
        self.assertEqual(result.status, 1)
        self.assertEqual(verdicts(result)["editor.root"][0], "FAIL")
        failed_only = self.check(self.layout.root, "--only-failed", "--filter", "editor", env=env)
        self.assertEqual(failed_only.status, 1)
        self.assertEqual({name: level for name, (level, _) in verdicts(failed_only).items()},
                         {"editor.root": "FAIL", "editor.release": "FAIL"}, failed_only.out_text())

    TOOL_ROWS = [
        # check, {role: {instruction: content}}, level, what the line says
        ("converter-tool.run", {"inp_converter": {"stdout": "header:x\n", "exit": "2"}}, "FAIL",
         "inp_converter.exe exited with code 2"),
        ("converter-tool.output",
         {"inp_converter": {"stdout": b"header:A\x81\n" if WINDOWS else b"header:\xff\n"}},
         "FAIL", "is not valid"),
        ("converter-tool.output", {"inp_converter": {"stdout": ""}}, "FAIL", "the output is empty"),
        ("converter-tool.heading", {"inp_converter": {"stdout": "Reading\nPlain\n"}}, "WARN",
         'the editor gets the whole line "Plain"'),
        ("converter-tool.heading", {"inp_converter": {"stdout": "header:" + "x" * 200000}},
         "FAIL", "longer than a command line can carry"),
        # The recorder exits with 0 whatever its deck.
        ("converter-tool.missing-deck", {"inp_converter": {"stdout": "header:x\n"}}, "WARN",
         "exited with 0 for a deck that does not exist"),
        ("editor-tool.run", {"editor": {"exit": "1"}}, "FAIL", "editor.exe exited with code 1"),
        ("monitor-tool.run", {"monitor": {"sleep": "30"}}, "FAIL",
         "monitor.exe did not end within 1 s"),
    ]

    def test_each_broken_tool_fails_its_check(self):
        for name, instructions, level, says in self.TOOL_ROWS:
            with self.subTest(name=name, instructions=str(instructions)[:60]):
                layout = harness.Layout()
                self.addCleanup(layout.remove)
                recorder = harness.Recorder(layout)
                for role, told in instructions.items():
                    for what, content in told.items():
                        recorder.tell(role, what, content)
                env = dict(os.environ, **recorder.env())
                result = self.check(layout.root, "--timeout", "1", "--filter", name, env=env)
                self.assertEqual(result.status, 1 if level == "FAIL" else 0, result.out_text())
                line = verdicts(result).get(name)
                self.assertIsNotNone(line, result.out_text())
                self.assertEqual(line[0], level, line[1])
                self.assertIn(says, line[1])


class CommandLine(CheckerCase):
    def test_usage_errors_list_and_an_empty_folder(self):
        empty = tempfile.mkdtemp(prefix="tolvane check ")
        self.addCleanup(shutil.rmtree, empty, True)
        for options, status in (([], 2), (["--filter", "nothing-like-it"], 2),
                                (["--timeout", "0"], 2), (["--bogus"], 2)):
            with self.subTest(options=options):
                result = harness.run(CHECKER, options + ([harness.target_path(empty)]
                                                         if options else []))
                self.assertEqual(result.status, status, result.err_text())
                self.assertTrue(result.err_text().startswith("usage: tolvane-check"),
                                result.err_text())
        listed = harness.run(CHECKER, ["--list"])
        self.assertEqual(listed.status, 0)
        self.assertEqual(len(listed.out_text().splitlines()), 23)
        nothing = self.check(empty)
        self.assertEqual(nothing.status, 1)
        self.assertTrue(nothing.out_text().startswith("FAIL layout: no component in "),
                        nothing.out_text())


if __name__ == "__main__":
    unittest.main()
