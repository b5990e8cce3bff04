"""The SDK and the packages as their users meet them: the launcher and the
SDK installed with `cmake --install`, a component author's project
(tests/consumer) built against the installed package in plain C and in
C++ with clang, its modules and tools installed beside the launcher, and
the whole chain run from there; then the ZIP packages unpacked into empty
folders and run as they are."""

import os
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
import zipfile

import harness
from harness import MODULE_SUFFIX, SEP, WINDOWS

SOURCE_DIR = os.environ.get("TOLVANE_E2E_SOURCE_DIR", "")
CMAKE = os.environ.get("TOLVANE_E2E_CMAKE", "cmake")
CPACK = os.environ.get("TOLVANE_E2E_CPACK", "cpack")
CONSUMER = os.path.join(SOURCE_DIR, "tests", "consumer")

# How an author builds each language: natively with the host's gcc and
# clang++, for Windows with mingw-w64's gcc and with clang++ targeting it.
TOOLCHAINS = {
    "C": ["-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(SOURCE_DIR, "cmake", "mingw-w64-x86_64.cmake")]
    if WINDOWS else ["-DCMAKE_C_COMPILER=gcc"],
    "CXX": ["-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(SOURCE_DIR, "cmake",
                                                     "clang-mingw-w64-x86_64.cmake")]
    if WINDOWS else ["-DCMAKE_CXX_COMPILER=clang++"],
}


def setUpModule():
    harness.wine_ready()


def run_checked(test, args, **kwargs):
    done = subprocess.run(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, timeout=600, **kwargs)
    test.assertEqual(done.returncode, 0, "%s:\n%s" % (" ".join(args),
                                                     done.stdout.decode(errors="replace")))
    return done.stdout.decode(errors="replace")


def install(test, prefix, component):
    run_checked(test, [CMAKE, "--install", harness.BUILD_DIR, "--prefix", prefix,
                       "--component", component])


def calls(result):
    """The consumer components' lines: (call, first detail, second detail)."""
    return [tuple(line.split("|")) for line in result.out_text().splitlines()]


class SdkCase(unittest.TestCase):
    """A folder for the class, with the SDK installed once and a deck."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="tolvane sdk ")
        cls.sdk = os.path.join(cls.tmp, "sdk")
        cls.jobs = os.path.join(cls.tmp, "jobs")
        os.makedirs(os.path.join(cls.jobs, "beam"))  # the model folder
        cls.layouts = {}

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def installed_sdk(self):
        if not os.path.isdir(self.sdk):
            install(self, self.sdk, "sdk")
        return self.sdk


class ConsumerProject(SdkCase):
    """One author's project per language, built once for the class."""

    def layout(self, language):
        """The launcher installed with the author's components beside it."""
        if language in self.layouts:
            return self.layouts[language]
        self.installed_sdk()
        layout = os.path.join(self.tmp, "layout-" + language)
        build = os.path.join(self.tmp, "build-" + language)
        install(self, layout, "launcher")
        run_checked(self, [CMAKE, "-S", CONSUMER, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                           "-DCMAKE_PREFIX_PATH=" + self.sdk,
                           "-DCONSUMER_LANGUAGE=" + language] + TOOLCHAINS[language])
        run_checked(self, [CMAKE, "--build", build])
        run_checked(self, [CMAKE, "--install", build, "--prefix", layout])
        if WINDOWS:
            shutil.copy2(os.path.join(layout, "Tolvane.exe"), os.path.join(layout, "Tolvane"))
        self.layouts[language] = layout
        return layout

    def run_chain(self, language, program="Tolvane", **env):
        environment = dict(os.environ)
        environment.update({"CONSUMER_" + key.upper(): value for key, value in env.items()})
        return harness.run(os.path.join(self.layout(language), program),
                           [harness.target_path(os.path.join(self.jobs, "beam"))],
                           env=environment, cwd=self.tmp)

    def check_in_process(self, language):
        deck = harness.target_path(os.path.join(self.jobs, "beam.inp"))
        solver = harness.target_path(os.path.realpath(self.layout(language))) + SEP \
            + "FrontISTR-DEV250506"
        heading = {"C": "Beam from C", "CXX": "Beam from C++"}[language]
        for nogui in (False, True):
            with self.subTest(language=language, nogui=nogui):
                started = time.monotonic()
                result = self.run_chain(language, **({"nogui": "1"} if nogui else {}))
                took = time.monotonic() - started
                self.assertEqual((result.status, result.stderr), (0, b""))
                seen = {call[0]: call[1:] for call in calls(result)}
                last = ["MONITOR.nogui_mode", "MONITOR.run_process"] if nogui \
                    else ["MONITOR.monitor_main"]
                self.assertEqual([call[0] for call in calls(result)], [
                    "CONVERTER", "CONVERTER.main", "EDITOR", "EDITOR.editor",
                    "EDITOR.root.destroy", "MONITOR"] + last)
                self.assertEqual(seen["CONVERTER"], (deck, harness.target_path(self.jobs)))
                self.assertEqual(seen["EDITOR.editor"], (heading, solver))
                self.assertEqual(seen["MONITOR"][0], deck[:-len(".inp")])
                # Under Wine these hang off the short spelling of the folder.
                self.assertTrue(seen["EDITOR"][1].endswith(SEP + "session.xml"), seen)
                self.assertTrue(seen[last[0]][0].endswith(SEP + "exes" + SEP + "res2frd.exe"),
                                seen)
                if nogui:
                    self.assertGreaterEqual(took, 1.0)

    def check_failure_as_data(self, language):
        kind = {"C": "ConsumerError", "CXX": "std::logic_error"}[language]
        result = self.run_chain(language, fail="EDITOR.editor")
        self.assertEqual(result.status, 1)
        self.assertEqual(result.err_text(), "Tolvane: EDITOR.editor: %s: no edits\n" % kind)
        self.assertEqual(calls(result)[-1][0], "EDITOR.editor")

    def check_interrupt_reaches_the_monitor(self, language):
        environment = dict(os.environ, CONSUMER_NOGUI="1", CONSUMER_WORK_MS="60000")
        process = harness.start(os.path.join(self.layout(language), "Tolvane"),
                                [harness.target_path(os.path.join(self.jobs, "beam"))],
                                env=environment, cwd=self.tmp)
        self.addCleanup(lambda: process.poll() is None and process.kill())
        seen = b""
        while b"MONITOR.run_process" not in seen:
            line = process.stdout.readline()
            self.assertTrue(line, seen)
            seen += line
        time.sleep(0.3)
        os.killpg(process.pid, signal.SIGINT)
        out, err = process.communicate(timeout=30)
        self.assertEqual((process.returncode, err), (0, b""))
        self.assertIn(b"MONITOR.signal_handler|2|", out)

    def check_tools(self, language):
        result = self.run_chain(language, program="Tolvane.exe")
        self.assertEqual((result.status, result.stderr), (0, b""))
        heading = "Beam from a C tool" if language == "C" else "Beam from a C++ tool"
        self.assertEqual(calls(result), [
            ("tool editor", "7", heading),
            ("tool monitor", "4", harness.target_path(os.path.join(self.jobs, "beam")))])

    def test_a_plain_c_project(self):
        self.check_in_process("C")
        self.check_failure_as_data("C")
        self.check_interrupt_reaches_the_monitor("C")
        self.check_tools("C")

    def test_a_cxx_project_built_with_clang(self):
        self.check_in_process("CXX")
        self.check_failure_as_data("CXX")
        self.check_interrupt_reaches_the_monitor("CXX")
        self.check_tools("CXX")


class ReadmeExamples(SdkCase):
    """The C and the C++ converter in the README, built with its CMake
    lines against the installed package, each run by the launcher with the
    scripted test library as editor and monitor."""

    def blocks(self):
        with open(os.path.join(SOURCE_DIR, "README.md"), encoding="utf-8") as f:
            text = f.read().split("## Writing a component", 1)[1].split("\n## ", 1)[0]
        found = {}
        for block in text.split("```")[1::2]:
            language, _, code = block.partition("\n")
            found[language] = code
        self.assertEqual(sorted(found), ["c", "cmake", "cpp"])
        return found

    def test_the_examples_build_and_run(self):
        blocks = self.blocks()
        self.installed_sdk()
        scripted = harness.built(os.path.join("test-modules", "scripted" + MODULE_SUFFIX))
        for language, toolchain in (("c", TOOLCHAINS["C"]), ("cpp", TOOLCHAINS["CXX"])):
            with self.subTest(language):
                project = os.path.join(self.tmp, "readme-" + language)
                os.makedirs(project)
                with open(os.path.join(project, "converter." + language), "w") as f:
                    f.write(blocks[language])
                with open(os.path.join(project, "CMakeLists.txt"), "w") as f:
                    f.write(blocks["cmake"].replace("converter.c)", "converter.%s)" % language))
                layout = os.path.join(self.tmp, "readme-layout-" + language)
                install(self, layout, "launcher")
                build = os.path.join(project, "build")
                run_checked(self, [CMAKE, "-S", project, "-B", build,
                                   "-DCMAKE_PREFIX_PATH=" + self.sdk] + toolchain)
                run_checked(self, [CMAKE, "--build", build])
                run_checked(self, [CMAKE, "--install", build, "--prefix", layout])
                for module in ("editor.gui", "monitor.gui"):
                    folder, name = module.split(".")
                    os.makedirs(os.path.join(layout, folder), exist_ok=True)
                    shutil.copy2(scripted, os.path.join(layout, folder, name + MODULE_SUFFIX))
                launcher = os.path.join(layout, "Tolvane")
                if WINDOWS:
                    shutil.copy2(os.path.join(layout, "Tolvane.exe"), launcher)
                result = harness.run(launcher, [harness.target_path(os.path.join(self.jobs,
                                                                                 "beam"))],
                                     cwd=self.tmp)
                self.assertEqual((result.status, result.stderr), (0, b""))
                self.assertIn("header=Cantilever beam ", result.out_text())


class Packages(unittest.TestCase):
    """The two ZIP packages, made by cpack from the build tree."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="tolvane packages ")
        cls.packages = {}
        for config in ("CPackConfig.cmake", "CPackDemoConfig.cmake"):
            done = subprocess.run([CPACK, "--config", os.path.join(harness.BUILD_DIR, config),
                                   "-B", cls.tmp], stdin=subprocess.DEVNULL,
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=600)
            if done.returncode != 0:
                raise AssertionError(done.stdout.decode(errors="replace"))
        for name in os.listdir(cls.tmp):
            if name.endswith(".zip"):
                cls.packages["demo" if name.startswith("Tolvane-demo-") else "product"] = name

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def unpacked(self, which):
        folder = tempfile.mkdtemp(prefix="tolvane unpacked ", dir=self.tmp)
        self.assertEqual(os.listdir(folder), [])
        with zipfile.ZipFile(os.path.join(self.tmp, self.packages[which])) as archive:
            archive.extractall(folder)
        for name in ("Tolvane", "Tolvane.exe", "tools/inp_converter.exe", "tools/editor.exe",
                     "tools/monitor.exe", "exes/res2frd.exe"):
            path = os.path.join(folder, name)
            if os.path.exists(path):
                os.chmod(path, 0o755)  # zipfile keeps no permissions
        return folder

    def test_names_carry_the_version_and_the_demo_stays_apart(self):
        version = os.environ["TOLVANE_E2E_VERSION"]
        self.assertEqual(sorted(self.packages), ["demo", "product"])
        self.assertTrue(self.packages["product"].startswith("Tolvane-%s-" % version),
                        self.packages)
        self.assertTrue(self.packages["demo"].startswith("Tolvane-demo-%s-" % version),
                        self.packages)
        with zipfile.ZipFile(os.path.join(self.tmp, self.packages["product"])) as archive:
            product = set(archive.namelist())
        launcher = "Tolvane.exe" if WINDOWS else "Tolvane"
        for name in (launcher, "session.xml", "README.md", "tools/", "exes/",
                     "FrontISTR-DEV250506/", "include/tolvane/component.h",
                     "include/tolvane/component.hpp", "lib/cmake/Tolvane/TolvaneConfig.cmake",
                     "lib/cmake/Tolvane/TolvaneConfigVersion.cmake"):
            self.assertIn(name, product)
        stand_ins = [n for n in product if n.startswith(("tools/", "exes/", "inp_converter/",
                                                         "editor/", "monitor/", "samples/"))
                     and not n.endswith("/")]
        self.assertEqual(stand_ins, [], "demo components in the product")

    def test_the_product_runs_with_recording_components(self):
        folder = self.unpacked("product")
        recorder = harness.Recorder(harness.Layout.existing(folder, self.tmp))
        recorder.tell("inp_converter", "stdout", "header:from the package\n")
        deck = os.path.join(self.tmp, "beam.inp")
        result = harness.run(os.path.join(folder, "Tolvane.exe"), [harness.target_path(deck)],
                             env=dict(os.environ, **recorder.env()), cwd=self.tmp)
        self.assertEqual((result.status, result.stderr), (0, b""))
        [editor] = recorder.records("editor")
        self.assertEqual(editor.argv[1:], [
            harness.target_path(deck),
            harness.target_path(os.path.realpath(folder)) + SEP + "FrontISTR-DEV250506",
            "-setting", harness.target_path(folder) + SEP + "session.xml",
            "-header", "from the package"])
        self.assertEqual(len(recorder.records("monitor")), 1)

    def test_the_demo_runs_as_it_is(self):
        folder = self.unpacked("demo")
        deck = os.path.join(folder, "samples", "beam.inp")
        for program in ("Tolvane.exe", "Tolvane"):
            with self.subTest(program):
                result = harness.run(os.path.join(folder, program), [harness.target_path(deck)],
                                     cwd=folder)
                self.assertEqual((result.status, result.stderr), (0, b""))
                self.assertIn("editor: header Cantilever beam under end load", result.out_text())
        self.assertTrue(os.path.isfile(os.path.join(folder, "editor", "gui" + MODULE_SUFFIX)))


if __name__ == "__main__":
    unittest.main()
