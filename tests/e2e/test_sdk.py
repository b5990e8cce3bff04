"""The SDK and the packages as their users meet them: the launcher and the
SDK installed with `cmake --install`, a component author's project
(tests/consumer) built against the installed package in plain C and in
C++ with clang, the documented examples built the same way and the SDK's
template project with gcc and with clang, their modules and tools
installed beside the launcher, and the whole chain run from there; what
the package and its Wine wrapper refuse; then the ZIP packages unpacked
into empty folders and run as they are."""

import collections
import os
import platform
import re
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
CTEST = os.path.join(os.path.dirname(CMAKE), "ctest") if os.path.isabs(CMAKE) else "ctest"
CONSUMER = os.path.join(SOURCE_DIR, "tests", "consumer")

# How an author builds: natively with the host's gcc or clang, for Windows
# with the toolchain files that the installed SDK ships, mingw-w64's gcc or
# clang targeting it (for C and C++ alike).
TOOLCHAINS = {
    "gcc": ("mingw-w64-x86_64.cmake", ["-DCMAKE_C_COMPILER=gcc", "-DCMAKE_CXX_COMPILER=g++"]),
    "clang": ("clang-mingw-w64-x86_64.cmake",
              ["-DCMAKE_C_COMPILER=clang", "-DCMAKE_CXX_COMPILER=clang++"]),
}
# The compiler that builds each project: the consumer's C with gcc and its
# C++ with clang, the documented examples with clang. The template is built
# with both.
COMPILERS = {"C": "gcc", "CXX": "clang", "c": "clang", "cpp": "clang"}
# The deck the in-process components read, by a name that only UTF-16
# spells on Windows, whatever the code page.
DECK_NAME = "B\u00fcgel"
DECK_TEXT = "B\u00fcgel unter Last"


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


def toolchain(sdk, compiler, windows=WINDOWS):
    """The arguments that make cmake build with compiler (a key of
    TOOLCHAINS), for Windows or natively."""
    toolchain_file, native = TOOLCHAINS[compiler]
    if windows:
        return ["-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(sdk, "share", "tolvane", "cmake",
                                                         toolchain_file)]
    return native


def configure(test, source, build, sdk, compiler, *args):
    """cmake -S source -B build against the installed SDK, built with
    compiler for the platform under test."""
    return run_checked(test, [CMAKE, "-S", source, "-B", build, "-DCMAKE_PREFIX_PATH=" + sdk]
                       + toolchain(sdk, compiler) + list(args))


def utf8_env(**more):
    """The environment with a UTF-8 locale, so that Wine takes non-ASCII
    arguments as they are."""
    return dict(os.environ, LC_ALL="C.UTF-8", **more)


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
        for model in ("beam", DECK_NAME):  # the model folders
            os.makedirs(os.path.join(cls.jobs, model))
        with open(os.path.join(cls.jobs, DECK_NAME + ".inp"), "w", encoding="utf-8") as f:
            f.write(DECK_TEXT + "\n!NODE\n")
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
        configure(self, CONSUMER, build, self.sdk, COMPILERS[language],
                  "-DCMAKE_BUILD_TYPE=Release", "-DCONSUMER_LANGUAGE=" + language)
        run_checked(self, [CMAKE, "--build", build])
        run_checked(self, [CMAKE, "--install", build, "--prefix", layout])
        if WINDOWS:
            shutil.copy2(os.path.join(layout, "Tolvane.exe"), os.path.join(layout, "Tolvane"))
        self.layouts[language] = layout
        return layout

    def run_chain(self, language, program="Tolvane", deck=DECK_NAME, **env):
        environment = utf8_env()
        environment.update({"CONSUMER_" + key.upper(): value for key, value in env.items()})
        return harness.run(os.path.join(self.layout(language), program),
                           [harness.target_path(os.path.join(self.jobs, deck))],
                           env=environment, cwd=self.tmp)

    def check_in_process(self, language):
        deck = harness.target_path(os.path.join(self.jobs, DECK_NAME + ".inp"))
        solver = harness.target_path(os.path.realpath(self.layout(language))) + SEP \
            + "FrontISTR-DEV250506"
        # The converters read the deck's first line through tolvane_fopen (C)
        # and fs_path (C++).
        heading = {"C": "Beam from C: ", "CXX": "Beam from C++: "}[language] + DECK_TEXT
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
        environment = utf8_env(CONSUMER_NOGUI="1", CONSUMER_WORK_MS="60000")
        process = harness.start(os.path.join(self.layout(language), "Tolvane"),
                                [harness.target_path(os.path.join(self.jobs, DECK_NAME))],
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
        result = self.run_chain(language, program="Tolvane.exe", deck="beam")
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

    def test_the_template_copied_from_the_sdk(self):
        """The template as an author starts from it, with each compiler of
        the platform: copied out of the installed SDK into an empty folder,
        built against the package as its README says, checked by its own
        ctest, installed, and run by the launcher in both forms, with the
        scripted library as the monitor module and the recorder as the
        converter and editor tools."""
        for compiler in TOOLCHAINS:
            with self.subTest(compiler=compiler):
                self.check_template(compiler)

    def check_template(self, compiler):
        template = os.path.join(self.installed_sdk(), "share", "tolvane", "template")
        project = os.path.join(self.tmp, "my components " + compiler)
        os.makedirs(project)
        self.assertEqual(os.listdir(project), [])
        for name in os.listdir(template):
            shutil.copy2(os.path.join(template, name), project)
        build = os.path.join(project, "build")
        # No build type given: the template's own default, Release.
        configure(self, project, build, self.sdk, compiler)
        run_checked(self, [CMAKE, "--build", build])
        with open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8") as f:
            self.assertIn("CMAKE_BUILD_TYPE:STRING=Release\n", f.read())
        # The template's own test: the installed tolvane-check on its build
        # tree (under Wine, through the wrapper that the toolchain file
        # names). Its lines are the validator's business.
        checked = run_checked(self, [CTEST, "--test-dir", build, "--output-on-failure", "-V"])
        # ctest escapes the blanks of the program's path, not of its arguments.
        [command] = [line.replace("\\ ", " ") for line in checked.splitlines()
                     if "Test command:" in line]
        self.assertIn(os.path.join(self.sdk, "bin", "tolvane-check" + harness.SUFFIX), command)
        # Its install alone: the components, and the runtime's notices.
        alone = os.path.join(self.tmp, "template installed " + compiler)
        run_checked(self, [CMAKE, "--install", build, "--prefix", alone])
        self.assertEqual(sorted(os.path.relpath(os.path.join(folder, name), alone)
                                for folder, _, names in os.walk(alone) for name in names),
                         ["THIRD-PARTY-NOTICES.txt", "editor/gui" + MODULE_SUFFIX,
                          "inp_converter/main" + MODULE_SUFFIX, "tools/monitor.exe"])

        layout = os.path.join(self.tmp, "layout-template-" + compiler)
        install(self, layout, "launcher")
        run_checked(self, [CMAKE, "--install", build, "--prefix", layout])
        scripted = harness.built(os.path.join("test-modules", "scripted" + MODULE_SUFFIX))
        os.makedirs(os.path.join(layout, "monitor"))
        shutil.copy2(scripted, os.path.join(layout, "monitor", "gui" + MODULE_SUFFIX))
        if WINDOWS:
            shutil.copy2(os.path.join(layout, "Tolvane.exe"), os.path.join(layout, "Tolvane"))
        jobs = os.path.join(self.tmp, "template jobs " + compiler)
        os.makedirs(jobs)
        with open(os.path.join(jobs, DECK_NAME + ".inp"), "w", encoding="utf-8") as f:
            f.write("!HEADER\n%s\n!NODE\n1, 0.0, 0.0, 0.0\n" % DECK_TEXT)
        deck = harness.target_path(os.path.join(jobs, DECK_NAME))

        result = harness.run(os.path.join(layout, "Tolvane"), [deck], env=utf8_env(), cwd=jobs)
        self.assertEqual((result.status, result.err_text()), (0, ""))
        lines = result.out_text().splitlines()
        self.assertEqual(lines[:3], [
            "converter: 4 lines read",
            'editor: editing "%s" for the solver in %s' % (
                DECK_TEXT, harness.target_path(os.path.realpath(layout)) + SEP
                + "FrontISTR-DEV250506"),
            "editor: settings window closed"])
        self.assertTrue(lines[3].startswith("MONITOR\t"), lines)
        # The converter made the model folder, and the monitor ran in it.
        self.assertTrue(os.path.isdir(os.path.join(jobs, DECK_NAME)))

        recorder = harness.Recorder(harness.Layout.existing(layout, jobs),
                                    roles=(harness.CONVERTER, harness.EDITOR))
        recorder.tell(harness.CONVERTER, "stdout", "header:from the recorder\n")
        result = harness.run(os.path.join(layout, "Tolvane.exe"), [deck],
                             env=utf8_env(**recorder.env()), cwd=jobs)
        self.assertEqual((result.status, result.err_text()), (0, ""))
        self.assertEqual(result.out_text().splitlines(), [
            "monitor: watching model " + DECK_NAME, "monitor: the run is over"])
        self.assertEqual(recorder.records(harness.EDITOR)[0].argv[6], "from the recorder")


class DocumentedExamples(SdkCase):
    """The C and the C++ converter in docs/components.md, built with its
    CMake lines against the installed package, each run by the launcher
    with the scripted test library as editor and monitor."""

    def blocks(self):
        with open(os.path.join(SOURCE_DIR, "docs", "components.md"), encoding="utf-8") as f:
            text = f.read().split("## Writing a component", 1)[1].split("\n## ", 1)[0]
        found = {}
        for block in text.split("```")[1::2]:
            language, _, code = block.partition("\n")
            found[language] = code
        self.assertEqual(sorted(found), ["c", "cmake", "cpp"])
        return found

    def test_the_find_package_line_takes_any_1x_package(self):
        """The package is 1.1.0.0: the documented request for 1.0 finds it,
        a request for 2.0 does not."""
        [line] = [line for line in self.blocks()["cmake"].splitlines()
                  if line.startswith("find_package(")]
        self.assertTrue(line.startswith("find_package(Tolvane 1.0 REQUIRED)"), line)
        self.installed_sdk()
        for wanted, found in (("1.0", True), ("2.0", False)):
            with self.subTest(wanted):
                project = os.path.join(self.tmp, "version-" + wanted)
                os.makedirs(project)
                with open(os.path.join(project, "CMakeLists.txt"), "w") as f:
                    f.write("cmake_minimum_required(VERSION 3.25)\nproject(v LANGUAGES NONE)\n"
                            + line.replace("1.0", wanted) + "\n"
                            + 'message(STATUS "found Tolvane ${Tolvane_VERSION}")\n')
                # Built for the package's platform: it refuses any other.
                done = subprocess.run([CMAKE, "-S", project, "-B", os.path.join(project, "b"),
                                       "-DCMAKE_PREFIX_PATH=" + self.sdk]
                                      + (toolchain(self.sdk, "gcc") if WINDOWS else []),
                                      stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                      stderr=subprocess.STDOUT, timeout=120)
                out = done.stdout.decode(errors="replace")
                if found:
                    self.assertEqual(done.returncode, 0, out)
                    self.assertIn("found Tolvane %s" % os.environ["TOLVANE_E2E_VERSION"], out)
                else:
                    self.assertNotEqual(done.returncode, 0, out)
                    self.assertIn('compatible with requested version "2.0"', out)

    def test_the_examples_build_and_run(self):
        blocks = self.blocks()
        self.installed_sdk()
        scripted = harness.built(os.path.join("test-modules", "scripted" + MODULE_SUFFIX))
        for language in ("c", "cpp"):
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
                configure(self, project, build, self.sdk, COMPILERS[language],
                          "-DCMAKE_BUILD_TYPE=Release")
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


class Refusals(SdkCase):
    """What would only seem to work stops at once, saying why."""

    def test_what_would_only_seem_to_work_is_refused(self):
        """A build for another platform than the package's would pass its
        ctest through a validator that tests nothing (Wine runs a host
        program as it is): the package refuses it at configure time, and
        the Wine wrapper refuses a program that is not a Windows one."""
        sdk = self.installed_sdk()
        ours, other = ("Windows", platform.system()) if WINDOWS else (platform.system(), "Windows")
        message = ("The Tolvane package in %s is for %s, but this project builds for %s. "
                   "Use the Tolvane package built for %s" % (sdk, ours, other, other))
        rows = [("%s for %s" % (compiler, other),
                 [CMAKE, "-S", os.path.join(sdk, "share", "tolvane", "template"),
                  "-B", os.path.join(self.tmp, "for " + other + " with " + compiler),
                  "-DCMAKE_PREFIX_PATH=" + sdk] + toolchain(sdk, compiler, not WINDOWS), message)
                for compiler in TOOLCHAINS]
        if WINDOWS:
            script = os.path.join(self.tmp, "passes.sh")
            with open(script, "w") as f:
                f.write("#!/bin/sh\nexit 0\n")
            os.chmod(script, 0o755)
            wine_run = os.path.join(sdk, "share", "tolvane", "cmake", "wine-run.sh")
            rows += [("wine-run.sh " + program, [wine_run, program],
                      "wine-run.sh: %s: not a Windows program" % program)
                     for program in ("/bin/false", script)]
        for name, args, expected in rows:
            with self.subTest(name):
                done = subprocess.run(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                      stderr=subprocess.STDOUT, timeout=600)
                out = " ".join(done.stdout.decode(errors="replace").split())
                self.assertNotEqual(done.returncode, 0, out)
                self.assertIn(expected, out)


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
        product = self.names("product")
        launcher = "Tolvane.exe" if WINDOWS else "Tolvane"
        for name in (launcher, "session.xml", "README.md", "tools/", "exes/",
                     "FrontISTR-DEV250506/", "LICENSE", "THIRD-PARTY-NOTICES.txt",
                     "docs/components.md", "include/tolvane/component.h",
                     "include/tolvane/component.hpp", "lib/cmake/Tolvane/TolvaneConfig.cmake",
                     "lib/cmake/Tolvane/TolvaneConfigVersion.cmake",
                     "share/tolvane/cmake/mingw-w64-x86_64.cmake",
                     "share/tolvane/cmake/clang-mingw-w64-x86_64.cmake",
                     "share/tolvane/cmake/wine-run.sh", "share/tolvane/template/CMakeLists.txt",
                     "share/tolvane/template/README.md"):
            self.assertIn(name, product)
        self.assertIn("bin/tolvane-check" + harness.SUFFIX, product)
        for name in ("LICENSE", "THIRD-PARTY-NOTICES.txt"):
            self.assertIn(name, self.names("demo"))
        stand_ins = [n for n in product if n.startswith(("tools/", "exes/", "inp_converter/",
                                                         "editor/", "monitor/", "samples/"))
                     and not n.endswith("/")]
        self.assertEqual(stand_ins, [], "demo components in the product")

    def names(self, which):
        """The archive's entries, each once."""
        with zipfile.ZipFile(os.path.join(self.tmp, self.packages[which])) as archive:
            names = archive.namelist()
        repeated = [name for name, count in collections.Counter(names).items() if count > 1]
        self.assertEqual(repeated, [], "entries stored twice in " + which)
        return set(names)

    def installed(self, *components):
        """The entries that `cmake --install` of the components (none: a
        plain install) puts into one empty folder, as an archive names them."""
        prefix = tempfile.mkdtemp(prefix="install ", dir=self.tmp)
        for component in components or (None,):
            run_checked(self, [CMAKE, "--install", harness.BUILD_DIR, "--prefix", prefix]
                        + (["--component", component] if component else []))
        names = set()
        for folder, folders, files in os.walk(prefix):
            relative = os.path.relpath(folder, prefix).replace(os.sep, "/")
            inside = "" if relative == "." else relative + "/"
            names.update(inside + name + "/" for name in folders)
            names.update(inside + name for name in files)
        return names

    def test_a_plain_install_is_the_product_and_the_demo_needs_asking_for(self):
        self.assertEqual(self.installed(), self.names("product"))
        self.assertEqual(self.installed("launcher", "docs", "demo"), self.names("demo"))
        self.assertNotIn("samples/beam.inp", self.installed())
        for component in ("launcher", "sdk", "demo"):
            with self.subTest(component):
                self.assertLessEqual({"LICENSE", "THIRD-PARTY-NOTICES.txt"},
                                     self.installed(component))

    def test_what_the_docs_name_is_in_the_product(self):
        """Every link of README.md and of the user's documents in docs/,
        and every SDK path they name, is in the product; the figures' bench
        scripts are the source tree's."""
        product = self.names("product")
        for document in ("README.md", "docs/components.md", "docs/using.md"):
            with open(os.path.join(SOURCE_DIR, document), encoding="utf-8") as f:
                text = "\n## ".join(section for section in f.read().split("\n## ")
                                     if not section.startswith("Measured figures"))
            folder = os.path.dirname(document)
            named = [os.path.normpath(os.path.join(folder, link.split("#")[0])).replace(os.sep, "/")
                     for link in re.findall(r"\]\(([^)#][^)]*)\)", text)]
            named += re.findall(r"`((?:share/tolvane|include/tolvane|lib/cmake/Tolvane)/[^`]*)`",
                                text)
            if re.search(r"`bin/tolvane-check", text):
                named.append("bin/tolvane-check" + harness.SUFFIX)
            self.assertTrue(named, document)
            for name in named:
                with self.subTest(document=document, name=name):
                    self.assertTrue(name in product or name.rstrip("/") + "/" in product,
                                    sorted(product))

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
