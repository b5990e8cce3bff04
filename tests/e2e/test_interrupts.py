"""Ctrl-C while a component runs: the launcher and the child both get it,
as they share a console (natively: SIGINT to the process group). The
launcher ends soon with the interruption report and status 1, starts no
later component and leaves no child behind. A child that "dies of it"
ends under Wine as Windows' default handler ends it, with
STATUS_CONTROL_C_EXIT (Wine's own default would exit with 0)."""

import os
import signal
import time
import unittest

import harness
from harness import NEWLINE, WINDOWS
from harness import Chain

# The launcher gives a child 0.25 s to end by itself before it ends it;
# Wine adds its own start-up and signal-routing time.
PROMPTLY = 2.5 if WINDOWS else 1.5


def setUpModule():
    harness.wine_ready()


def process_gone(pid, within=2.0):
    deadline = time.monotonic() + within
    while time.monotonic() < deadline:
        try:
            with open("/proc/%d/stat" % pid) as f:
                if f.read().rsplit(")", 1)[1].split()[0] == "Z":
                    return True  # ended; only its parent has yet to reap it
        except FileNotFoundError:
            return True
        time.sleep(0.05)
    return False


def processes_under(folder):
    """Processes still running whose command line names folder: natively the
    children's paths, under Wine the Windows spelling Wine gives them."""
    needles = [folder.encode(), harness.target_path(folder).encode()]
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == os.getpid():
            continue
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                cmdline = f.read()
        except OSError:
            continue
        if any(needle in cmdline for needle in needles) and not process_gone(int(entry), 0.1):
            found.append((int(entry), cmdline))
    return found


class InterruptTest(unittest.TestCase):
    def interrupt_during(self, role, mode):
        chain = Chain(self)
        chain.tell(role, "sleep", "30")
        chain.tell(role, "sigint", mode)
        env = chain.env()
        launcher = harness.start(chain.layout.launcher, [harness.target_path(chain.deck)],
                                 env=env, cwd=chain.layout.tmp)
        self.addCleanup(self.stop, launcher)
        deadline = time.monotonic() + 60
        while chain.rec.started_pid(role) is None:
            self.assertIsNone(launcher.poll(), "the launcher ended before %s started" % role)
            self.assertLess(time.monotonic(), deadline, role + " never started")
            time.sleep(0.05)
        child = chain.rec.started_pid(role)
        tools = os.path.join(chain.layout.root, "tools")
        self.assertNotEqual(processes_under(tools), [], "the running child is not seen")
        os.killpg(launcher.pid, signal.SIGINT)
        interrupted = time.monotonic()
        out, err = launcher.communicate(timeout=30)
        elapsed = time.monotonic() - interrupted
        self.assertEqual(launcher.returncode, 1, err)
        self.assertEqual(err.decode("utf-8"),
                         "Tolvane.exe: %s.exe: KeyboardInterrupt: interrupted%s"
                         % (role, NEWLINE.decode()))
        later = harness.ROLES[harness.ROLES.index(role) + 1:]
        self.assertLess(elapsed, PROMPTLY)
        for other in later:
            self.assertEqual(chain.rec.records(other), [], other + " must not start")
        if not WINDOWS:
            self.assertTrue(process_gone(child), "the %s is still running" % role)
        self.assertEqual(processes_under(tools), [], "a child is left running")

    @staticmethod
    def stop(process):
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()

    def test_child_that_dies_of_it(self):
        for role in harness.ROLES:
            with self.subTest(role):
                self.interrupt_during(role, "die")

    def test_child_that_ignores_it(self):
        for role in harness.ROLES:
            with self.subTest(role):
                self.interrupt_during(role, "ignore")


if __name__ == "__main__":
    unittest.main()
