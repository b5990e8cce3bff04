"""The in-process form end to end: the launcher under a name without
".exe" loads real component libraries (.so natively, .dll under Wine),
drives them step by step, and runs the monitor's unattended mode."""

import os
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

import harness
from harness import MODULE_SUFFIX, WINDOWS

MODULES = ("inp_converter.main", "editor.gui", "monitor.gui")


def scripted_library():
    """Components written with component.hpp (tests/modules/scripted.cpp),
    steered as the misbehaving ones are."""
    return harness.built(os.path.join("test-modules", "scripted" + MODULE_SUFFIX))


def empty_library():
    return harness.built(os.path.join("test-modules", "empty" + MODULE_SUFFIX))


def misbehaving_library():
    """Components written against the C interface alone, steered by
    TOLVANE_MISBEHAVE (tests/modules/misbehaving.cpp)."""
    return harness.built(os.path.join("test-modules", "misbehaving" + MODULE_SUFFIX))


def needs_library():
    """A module that needs a library of its own, which is never installed."""
    return harness.built(os.path.join("test-modules", "needs_library" + MODULE_SUFFIX))


class InProcess(unittest.TestCase):
    """A fresh layout with the launcher named "Tolvane" and the misbehaving
    library standing in for all three modules, doing its job unless told
    otherwise (tests/modules/steering.hpp)."""

    def setUp(self):
        self.layout = harness.Layout(launcher_name="Tolvane")
        self.addCleanup(self.layout.remove)
        for module in MODULES:
            self.layout.put_module(module, misbehaving_library())
        self.work = os.path.join(self.layout.tmp, "start here")
        self.jobs = os.path.join(self.layout.tmp, "jobs")
        os.makedirs(self.work)
        os.makedirs(self.jobs)
        self.deck = os.path.join(self.jobs, "beam.inp")

    def env(self, misbehave="", nogui=False, heading=None):
        """TOLVANE_MISBEHAVE's CALL=WAY list, the monitor unattended or not,
        and the converter's heading (None: the module's own)."""
        env = dict(os.environ)
        for key in [k for k in env if k.startswith("TOLVANE_MISBEHAVE")]:
            del env[key]
        env["TOLVANE_MISBEHAVE"] = misbehave
        env["TOLVANE_MISBEHAVE_NOGUI"] = "1" if nogui else ""
        if heading is not None:
            env["TOLVANE_MISBEHAVE_HEADING"] = heading
        return env

    def run_launcher(self, *args, **settings):
        words = list(args) or [harness.target_path(self.deck)]
        return harness.run(self.layout.launcher, words, env=self.env(**settings), cwd=self.work)

    def events(self, result):
        """The components' lines: (call, cwd, detail, thread)."""
        return [tuple((line.split("\t") + ["", "", ""])[:4])
                for line in result.out_text().splitlines()]

    def calls(self, result):
        return [event[0] for event in self.events(result)]

    def cwd(self, unix_path):
        return harness.target_path(unix_path)


class Steps(InProcess):
    def test_attended_run_calls_each_operation_in_order_in_its_directory(self):
        result = self.run_launcher(heading="Bracket under load")
        self.assertEqual(result.status, 0, result.stderr)
        self.assertEqual(result.stderr, b"")
        start, model = self.cwd(self.work), self.cwd(os.path.join(self.jobs, "beam"))
        # The solver path is the launcher directory's final long form; the
        # settings and result converter paths hang off its short (8.3)
        # spelling, which has no blanks where the volume keeps short names.
        root = self.cwd(os.path.realpath(self.layout.root))
        sep = "\\" if WINDOWS else "/"
        events = self.events(result)
        self.assertEqual([(op, cwd) for op, cwd, _, _ in events], [
            ("CONVERTER", start), ("CONVERTER.main", start), ("CONVERTER.release", start),
            ("EDITOR", start), ("EDITOR.editor", start), ("EDITOR.root.destroy", start),
            ("EDITOR.release", start),
            ("MONITOR", model), ("MONITOR.monitor_main", model), ("MONITOR.release", model)])
        # Every call comes on the main thread; the monitor's release too,
        # on a thread of the launcher's.
        self.assertEqual({thread for op, _, _, thread in events if op != "MONITOR.release"},
                         {"main"})
        details = {op: detail for op, _, detail, _ in events}
        setting = details["EDITOR"].removeprefix("setting=")
        short_root = setting.removesuffix(sep + "session.xml")
        self.assertTrue(setting.endswith(sep + "app" + sep + "session.xml"), setting)
        if WINDOWS:
            self.assertNotIn(" ", short_root)
        else:
            self.assertEqual(short_root, root)
        self.assertEqual(details["EDITOR.editor"],
                         "header=Bracket under load exepath=" + root + sep + "FrontISTR-DEV250506")
        self.assertEqual(details["MONITOR"], "model=" + model + " null")
        self.assertEqual(details["MONITOR.monitor_main"],
                         "res2frd=" + short_root + sep + "exes" + sep + "res2frd.exe done=0")

    def test_a_link_to_the_launcher_uses_the_real_folder(self):
        # Modules, settings and the result converter are found where the
        # executable file really is, not beside the link.
        other = os.path.join(self.layout.tmp, "other")
        os.makedirs(other)
        os.symlink(self.layout.launcher, os.path.join(other, "Tolvane"))
        result = harness.run(os.path.join(other, "Tolvane"), [harness.target_path(self.deck)],
                             env=self.env(), cwd=self.work)
        self.assertEqual(result.status, 0, result.stderr)
        details = {op: detail for op, _, detail, _ in self.events(result)}
        sep = "\\" if WINDOWS else "/"
        self.assertTrue(details["EDITOR"].endswith(sep + "app" + sep + "session.xml"), details)
        self.assertTrue(details["EDITOR.editor"].endswith(
            self.cwd(os.path.realpath(self.layout.root)) + sep + "FrontISTR-DEV250506"), details)

    def test_a_launcher_in_a_folder_longer_than_max_path(self):
        # Wine answers the final-path query for such a folder with "more
        # data" at any buffer size; its absolute path stands in.
        layout = harness.Layout(launcher_name="Tolvane", folder_name="app " + "x" * 240)
        self.addCleanup(layout.remove)
        for module in MODULES:
            layout.put_module(module, scripted_library())
        self.assertGreater(len(harness.target_path(layout.root)), 260)
        result = harness.run(layout.launcher, [harness.target_path(self.deck)], env=self.env(),
                             cwd=self.work)
        self.assertEqual((result.status, result.stderr), (0, b""))
        details = {op: detail for op, _, detail, _ in self.events(result)}
        self.assertTrue(details["EDITOR.editor"].endswith(
            "x" * 240 + ("\\" if WINDOWS else "/") + "FrontISTR-DEV250506"), details)

    def test_null_and_empty_headings_reach_the_editor_unchanged(self):
        for settings, header in (({"misbehave": "CONVERTER.main=null-heading"}, "(null)"),
                                 ({"heading": ""}, "")):
            with self.subTest(header=header):
                result = self.run_launcher(**settings)
                self.assertEqual(result.status, 0, result.stderr)
                details = {op: detail for op, _, detail, _ in self.events(result)}
                self.assertTrue(details["EDITOR.editor"].startswith("header=%s exepath=" % header),
                                details)

    def test_failed_conversion_ends_with_status_one_silently(self):
        result = self.run_launcher(misbehave="CONVERTER.main=dflag")
        self.assertEqual((result.status, result.stderr), (1, b""))
        self.assertNotIn("EDITOR", self.calls(result))


class Failures(InProcess):
    def assert_failure(self, result, where, kind):
        self.assertEqual(result.status, 1)
        prefix = "Tolvane: " + where + ": " + kind + ": "
        self.assertTrue(result.err_text().startswith(prefix), result.err_text())
        self.assertEqual(result.err_text().count("\n"), 1, result.err_text())

    def test_a_missing_module_stops_the_run_before_the_converter(self):
        module = os.path.join(self.layout.root, "monitor", "gui" + MODULE_SUFFIX)
        os.remove(module)
        result = self.run_launcher()
        self.assert_failure(result, "import MONITOR from monitor.gui", "ImportError")
        self.assertTrue(result.err_text().endswith(": no such component module: %s\n"
                                                   % self.cwd(module)), result.err_text())
        self.assertEqual(result.stdout, b"")

    def test_a_module_without_its_entry_names_the_entry(self):
        shutil.copy2(empty_library(), os.path.join(self.layout.root, "editor", "gui" + MODULE_SUFFIX))
        result = self.run_launcher()
        self.assert_failure(result, "import EDITOR from editor.gui", "ImportError")
        self.assertIn("export it with TOLVANE_EXPORT_EDITOR(Class) in C++, or TOLVANE_EXPORT and "
                      "TOLVANE_DECLARE_EDITOR in C", result.err_text())
        self.assertEqual(result.stdout, b"")

    def test_a_module_built_for_another_interface_is_refused_before_any_call(self):
        any_minor = "(found %s, expected 1.x)\n"
        # A declaration of the right version for another entry says which
        # macro declares this one, and nothing of versions.
        declare = ": declare it with TOLVANE_DECLARE_EDITOR, or export it with " \
                  "TOLVANE_EXPORT_EDITOR(Class)\n"
        for name, ending, says in (
                ("wrong_major", any_minor % "interface 2.0", "another major version"),
                ("newer_minor", "(found interface 1.1, expected 1.0 or older)\n",
                 "a newer minor version"),
                ("undeclared", any_minor % "no declaration",
                 "has no declaration of the component interface it was built for: add "
                 "TOLVANE_DECLARE_EDITOR after it, or export it with TOLVANE_EXPORT_EDITOR(Class)"),
                ("data_entry", declare, "is not the entry"),
                ("wrong_kind", declare, "is not the entry")):
            with self.subTest(name):
                module = os.path.join(self.layout.root, "editor", "gui" + MODULE_SUFFIX)
                shutil.copy2(harness.built(os.path.join("test-modules",
                                                        "refused_" + name + MODULE_SUFFIX)), module)
                result = self.run_launcher()
                self.assert_failure(result, "import EDITOR from editor.gui", "ImportError")
                message = result.err_text().split("ImportError: ", 1)[1]
                self.assertTrue(message.startswith(self.cwd(module) + ": EDITOR "), message)
                self.assertIn(says, message)
                self.assertTrue(message.endswith(ending), message)
                self.assertEqual(result.stdout, b"", "no component may be created")

    def test_a_module_that_cannot_load_says_why(self):
        garbage = os.path.join(self.layout.tmp, "garbage")
        with open(garbage, "wb") as f:
            f.write(b"MZ this is no library at all\n" * 64)
        for library, says in ((garbage, "gui" + MODULE_SUFFIX),
                              (needs_library(), "a library that the module depends on is missing")):
            with self.subTest(says=says):
                shutil.copy2(library, os.path.join(self.layout.root, "editor", "gui" + MODULE_SUFFIX))
                result = self.run_launcher()
                self.assert_failure(result, "import EDITOR from editor.gui", "ImportError")
                message = result.err_text().split("ImportError: ", 1)[1]
                self.assertIn(says, message)
                self.assertIn(self.cwd(os.path.join(self.layout.root, "editor")), message)
                self.assertNotIn("%1", message)
                self.assertEqual(result.stdout, b"")

    @unittest.skipUnless(WINDOWS, "a Windows DLL search")
    def test_a_module_finds_a_library_beside_it_at_run_time(self):
        folder = os.path.join(self.layout.root, "editor")
        shutil.copy2(harness.built(os.path.join("test-modules", "loads_beside.dll")),
                     os.path.join(folder, "gui.dll"))
        shutil.copy2(harness.built(os.path.join("test-modules", "dependency.dll")), folder)
        result = self.run_launcher()
        self.assertEqual(result.err_text(),
                         "Tolvane: EDITOR: Found: dependency.dll beside the module\n")

    def test_the_cxx_layer_reports_an_exception_from_each_operation(self):
        # component.hpp turns the exception into the call's report.
        for module in MODULES:
            self.layout.put_module(module, scripted_library())
        for operation, nogui in (("CONVERTER", False), ("CONVERTER.main", False),
                                 ("EDITOR", False), ("EDITOR.editor", False),
                                 ("EDITOR.root.destroy", False), ("MONITOR", False),
                                 ("MONITOR.monitor_main", False), ("MONITOR.nogui_mode", True)):
            with self.subTest(operation=operation):
                result = self.run_launcher(misbehave=operation + "=throw", nogui=nogui)
                self.assert_failure(result, operation, "std::runtime_error")
                self.assertIn(operation + " threw", result.err_text())

    # What a crash is called by the system the launcher runs on.
    SEGV = "access violation (0xC0000005)" if WINDOWS else "segmentation fault (SIGSEGV)"
    ILL = "illegal instruction (0xC000001D)" if WINDOWS else "illegal instruction (SIGILL)"
    FPE = "integer division by zero (0xC0000094)" if WINDOWS else "arithmetic exception (SIGFPE)"
    TRAP = "breakpoint (0x80000003)" if WINDOWS else "trace trap (SIGTRAP)"
    ENDED = ("the launcher's main thread ended inside the call (ExitThread or TerminateThread)"
             if WINDOWS else "the call ended the launcher's thread (pthread_exit)")

    BROKEN_CONTRACTS = [
        # TOLVANE_MISBEHAVE, unattended, status, where, kind, message
        ("CONVERTER.main=throw", False, 1, "CONVERTER.main", "std::runtime_error",
         "CONVERTER.main threw"),
        ("EDITOR=throw-int", False, 1, "EDITOR", "int", "an exception that is no std::exception"),
        ("CONVERTER.release=throw", False, 1, "CONVERTER.release", "std::runtime_error",
         "CONVERTER.release threw"),
        ("MONITOR.release=throw", False, 1, "MONITOR.release", "std::runtime_error",
         "MONITOR.release threw"),
        ("EDITOR.editor=report", False, 1, "EDITOR.editor", "ValueError", "reported, yet"),
        ("CONVERTER=report", False, 1, "CONVERTER", "ValueError", "reported, yet"),
        ("MONITOR.nogui_mode=lines", True, 1, "MONITOR.nogui_mode", "ValueError",
         "a b c d e f g h i j k"),
        ("EDITOR.editor=segv", False, 1, "EDITOR.editor", "crash", SEGV),
        ("EDITOR.root.destroy=ill", False, 1, "EDITOR.root.destroy", "crash", ILL),
        ("MONITOR.monitor_main=fpe", False, 1, "MONITOR.monitor_main", "crash", FPE),
        ("CONVERTER.main=abort", False, 1, "CONVERTER.main", "crash", "abort (SIGABRT)"),
        ("EDITOR.release=segv", False, 1, "EDITOR.release", "crash", SEGV),
        ("MONITOR.run_process=segv", True, 1, "MONITOR.run_process", "crash", SEGV),
        # A failure that leaves the worker ends only the worker.
        ("MONITOR.run_process=throw", True, 0, "MONITOR.run_process", "std::runtime_error",
         "MONITOR.run_process threw"),
        # Ending the process is a component's own decision.
        ("CONVERTER.main=exit", False, 7, None, None, None),
        ("EDITOR.editor=trap", False, 1, "EDITOR.editor", "crash", TRAP),
        ("MONITOR.run_process=trap", True, 1, "MONITOR.run_process", "crash", TRAP),
        # Two threads that abort at once: one line, status 1, every time.
        ("EDITOR.editor=abort-threads", False, 1, "EDITOR.editor", "crash", "abort (SIGABRT)"),
        ("CONVERTER.main=end-thread", False, 1, "CONVERTER.main", "crash", ENDED),
        # A component's change to the crash handling lasts no longer than
        # its call.
        ("CONVERTER.main=default-segv,EDITOR.editor=segv", False, 1, "EDITOR.editor", "crash",
         SEGV),
        ("CONVERTER.main=own-handler,EDITOR.editor=segv", False, 1, "EDITOR.editor", "crash",
         SEGV),
        ("CONVERTER.main=default-abort,EDITOR.editor=abort", False, 1, "EDITOR.editor", "crash",
         "abort (SIGABRT)"),
        # A module whose initialiser throws is named as it loads: natively
        # the exception cannot pass the loader; Wine's loader hands it back
        # as the load's error.
        ("load=throw", False, 1, "import CONVERTER from inp_converter.main",
         "ImportError" if WINDOWS else "crash",
         "its initialiser let a C++ exception out" if WINDOWS else "std::terminate called"),
        # A release that does not return does not hold the end.
        ("MONITOR.release=hang", False, 0, None, None, None),
        ("MONITOR.release=hang", True, 0, None, None, None),
        # Once done is set, the worker is the monitor's to end.
        ("MONITOR.run_process=end-thread", True, 0, None, None, None),
    ] + ([
        ("CONVERTER.main=terminate-thread", False, 1, "CONVERTER.main", "crash", ENDED),
        ("CONVERTER.main=no-filter,EDITOR.editor=segv", False, 1, "EDITOR.editor", "crash", SEGV),
    ] if WINDOWS else [
        # Under Wine a stack overflow ends the process with 0 (see docs/using.md).
        ("MONITOR.run_process=overflow", True, 1, "MONITOR.run_process", "crash", SEGV),
        ("MONITOR.done=never,MONITOR.run_process=overflow", True, 1, "MONITOR.run_process",
         "crash", SEGV),
        ("EDITOR.editor=sys", False, 1, "EDITOR.editor", "crash", "bad system call (SIGSYS)"),
        ("MONITOR.done=never,MONITOR.run_process=end-thread", True, 1, "MONITOR.run_process",
         "crash", ENDED),
    ])
    # Rows whose fault lies in a race, made this many times.
    REPEATED = {"EDITOR.editor=abort-threads": 10}

    def test_a_module_that_breaks_the_contract_is_one_diagnostic_and_status(self):
        for module in MODULES:
            self.layout.put_module(module, misbehaving_library())
        for misbehave, unattended, status, where, kind, message in self.BROKEN_CONTRACTS:
            for attempt in range(self.REPEATED.get(misbehave, 1)):
                with self.subTest(misbehave, unattended=unattended, attempt=attempt):
                    env = self.env()
                    env["TOLVANE_MISBEHAVE"] = misbehave
                    env["TOLVANE_MISBEHAVE_NOGUI"] = "1" if unattended else ""
                    result = harness.run(self.layout.launcher, [harness.target_path(self.deck)],
                                         env=env, cwd=self.work, timeout=60)
                    self.assertEqual(result.status, status, result.stderr)
                    if where is None:
                        self.assertEqual(result.err_text(), "")
                    else:
                        # One line, with the message (which may name a path).
                        line = result.err_text()
                        self.assertTrue(line.startswith("Tolvane: %s: %s: " % (where, kind)), line)
                        self.assertIn(message, line)
                        self.assertEqual(line.count("\n"), 1, line)
                        self.assertTrue(line.endswith("\n"), line)
                    calls = self.calls(result)
                    # The broken call is the last one named; a module that
                    # breaks as it loads makes none.
                    call = misbehave.split(",")[-1].split("=")[0]
                    if call == "load":
                        self.assertEqual(calls, [])
                        continue
                    self.assertIn(call, calls)
                    if status != 0:
                        self.assertEqual(calls[-1], call, "a call after the broken one")

    @unittest.skipIf(WINDOWS, "a POSIX pipe's non-blocking mode")
    def test_a_crash_line_waits_for_room_in_a_full_non_blocking_stream(self):
        for module in MODULES:
            self.layout.put_module(module, misbehaving_library())
        read_end, write_end = os.pipe()
        os.set_blocking(write_end, False)
        # Full, as a reader that lags behind leaves it.
        filled = 0
        try:
            while True:
                filled += os.write(write_end, b"x" * 4096)
        except BlockingIOError:
            pass
        env = self.env()
        env["TOLVANE_MISBEHAVE"] = "EDITOR.editor=segv"
        process = subprocess.Popen(harness.command(self.layout.launcher,
                                                   [harness.target_path(self.deck)]),
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=write_end, env=env, cwd=self.work)
        os.close(write_end)
        time.sleep(0.5)
        with os.fdopen(read_end, "rb") as errors:
            text = errors.read()
        self.assertEqual(process.wait(timeout=30), 1)
        self.assertEqual(text[filled:], b"Tolvane: EDITOR.editor: crash: " + self.SEGV.encode()
                         + b"\n")

    def test_a_missing_model_directory_fails_after_the_editor(self):
        result = self.run_launcher(misbehave="CONVERTER.main=no-model")
        self.assertEqual(result.status, 1)
        self.assertTrue(result.err_text().startswith("Tolvane: chdir: FileNotFoundError: "),
                        result.err_text())
        self.assertIn("EDITOR.root.destroy", self.calls(result))
        self.assertNotIn("MONITOR", self.calls(result))


class Interrupts(InProcess):
    """Ctrl-C during any call into a component, before the unattended
    monitor's handler takes interrupts over, ends the run as soon as the
    call returns: status 1, the report naming that call, nothing more
    called."""

    CALLS = [
        # operation, unattended
        ("CONVERTER", False), ("CONVERTER.main", False),
        ("EDITOR", False), ("EDITOR.editor", False), ("EDITOR.root.destroy", False),
        ("MONITOR", False), ("MONITOR.monitor_main", False),
        ("MONITOR", True), ("MONITOR.nogui_mode", True),
    ]

    def test_an_interrupt_during_each_call(self):
        for operation, nogui in self.CALLS:
            with self.subTest(operation=operation, nogui=nogui):
                process = harness.start(self.layout.launcher, [harness.target_path(self.deck)],
                                        env=self.env(operation + "=sleep", nogui=nogui),
                                        cwd=self.work)
                self.addCleanup(lambda p=process: p.poll() is None and p.kill())
                seen = b""
                while not any(line.split(b"\t")[0] == operation.encode()
                              for line in seen.splitlines()):
                    line = process.stdout.readline()
                    self.assertTrue(line, "%s never ran: %r" % (operation, seen))
                    seen += line
                os.killpg(process.pid, signal.SIGINT)
                out, err = process.communicate(timeout=30)
                self.assertEqual(process.returncode, 1, err)
                self.assertEqual(err.decode().replace("\r\n", "\n"),
                                 "Tolvane: %s: KeyboardInterrupt: interrupted\n" % operation)
                self.assertEqual(out, b"", "a call after %s: %r" % (operation, out))


class Unattended(InProcess):
    """The unattended monitor with real signals and real streams; its wait
    with the launcher's threads under ThreadSanitizer is the unit test's
    (tests/unit/python_exe_test.cpp)."""

    def start_launcher(self, misbehave=""):
        process = harness.start(self.layout.launcher, [harness.target_path(self.deck)],
                                env=self.env(misbehave, nogui=True), cwd=self.work,
                                stdin=subprocess.PIPE)
        self.addCleanup(lambda: process.poll() is None and process.kill())
        return process

    def wait_for_line(self, process, text, timeout=30):
        """Reads the launcher's output until a line holding text."""
        seen = b""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            line = process.stdout.readline()
            if not line:
                break
            seen += line
            if text.encode() in line:
                return seen
        self.fail("no line with %r in %r" % (text, seen))

    def test_an_interrupt_goes_to_the_monitor_and_ends_the_wait_it_sets_done_in(self):
        process = self.start_launcher("MONITOR.run_process=no-done")
        self.wait_for_line(process, "MONITOR.run_process")
        time.sleep(0.3)
        os.killpg(process.pid, signal.SIGINT)
        out, err = process.communicate(timeout=30)
        self.assertEqual(process.returncode, 0, err)
        [handler] = [line.split(b"\t") for line in out.splitlines()
                     if line.startswith(b"MONITOR.signal_handler")]
        # SIGINT, on the launcher's main thread.
        self.assertEqual((handler[2], handler[3].strip()), (b"signum=2", b"main"), out)

    def test_the_process_ends_whatever_a_component_thread_holds(self):
        # A thread of the monitor's that is inside the C streams holds their
        # locks: reading a standard input that stays open, or writing to an
        # output that nobody reads. The launcher does not wait for it.
        for misbehave, nogui in (("MONITOR.then=read", True), ("MONITOR.then=write", True),
                                 ("MONITOR.monitor_main=reader", False)):
            with self.subTest(misbehave):
                process = harness.start(self.layout.launcher, [harness.target_path(self.deck)],
                                        env=self.env(misbehave, nogui=nogui), cwd=self.work,
                                        stdin=subprocess.PIPE)
                self.addCleanup(lambda p=process: p.poll() is None and p.kill())
                self.assertEqual(process.wait(timeout=20), 0)
                self.assertEqual(process.stderr.read(), b"")
                process.stdin.close()

    def test_a_failing_handler_ends_the_run_while_the_worker_reads(self):
        process = self.start_launcher("MONITOR.run_process=no-done,MONITOR.then=read,"
                                      "MONITOR.signal_handler=throw")
        self.wait_for_line(process, "MONITOR.run_process")
        time.sleep(0.3)
        os.killpg(process.pid, signal.SIGINT)
        self.assertEqual(process.wait(timeout=20), 1)
        self.assertEqual(process.stderr.read().decode().replace("\r\n", "\n"),
                         "Tolvane: MONITOR.signal_handler: std::runtime_error: "
                         "MONITOR.signal_handler threw\n")

    def test_the_process_ends_promptly_while_the_worker_still_runs(self):
        process = self.start_launcher("MONITOR.run_process=work:60")
        self.wait_for_line(process, "MONITOR.run_process")
        time.sleep(0.2)
        signalled = time.monotonic()
        os.killpg(process.pid, signal.SIGINT)
        out, err = process.communicate(timeout=30)
        self.assertEqual(process.returncode, 0, err)
        # The worker would sleep for a minute; the process does not wait.
        self.assertLess(time.monotonic() - signalled, 20.0)
        self.assertNotIn(b"MONITOR done", out)


class Samples(unittest.TestCase):
    """The shipped sample modules in the build tree's own layout."""

    def run_sample(self, *extra):
        folder = tempfile.mkdtemp(prefix="tolvane sample ")
        self.addCleanup(shutil.rmtree, folder, True)
        deck = os.path.join(folder, "beam.inp")
        shutil.copy2(os.path.join(os.path.dirname(__file__), "..", "..", "samples", "beam.inp"), deck)
        started = time.monotonic()
        result = harness.run(harness.built("Tolvane"), [harness.target_path(deck)] + list(extra),
                             cwd=folder)
        return result, time.monotonic() - started, folder

    def test_the_sample_chain_runs_attended(self):
        result, _, folder = self.run_sample()
        self.assertEqual(result.status, 0, result.stderr)
        self.assertIn("editor: header Cantilever beam under end load", result.out_text())
        self.assertTrue(os.path.isdir(os.path.join(folder, "beam")))

    def test_the_sample_chain_runs_unattended_with_nogui(self):
        result, took, _ = self.run_sample("-nogui")
        self.assertEqual(result.status, 0, result.stderr)
        self.assertIn("monitor: running unattended", result.out_text())
        self.assertGreaterEqual(took, 1.0)


if __name__ == "__main__":
    unittest.main()
