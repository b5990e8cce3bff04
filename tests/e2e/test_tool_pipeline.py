"""The tool-executable pipeline end to end: the recorder stands in for the
converter, the editor and the monitor, so each test sees the exact argument
vectors, current directory and streams that the launcher gave them, and
steers their output and exit codes."""

import os
import shutil
import unittest

import harness
from harness import CONVERTER, EDITOR, MONITOR, NEWLINE, SEP, WINDOWS, Chain, one_diagnostic

SESSION_XML = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "samples",
                           "session.xml")


def setUpModule():
    harness.wine_ready()


class ExitStatusTest(unittest.TestCase):
    """Which component failed decides the status; a component's own code
    never passes through, and nothing after the failing step runs."""

    CASES = [
        # name, instructions {role: {what: content}}, status, roles started
        ("all succeed", {}, 0, [CONVERTER, EDITOR, MONITOR]),
        ("converter 1", {CONVERTER: {"exit": "1"}}, 1, [CONVERTER]),
        ("converter 2", {CONVERTER: {"exit": "2"}}, 1, [CONVERTER]),
        ("converter 3", {CONVERTER: {"exit": "3"}}, 1, [CONVERTER]),
        ("converter crash", {CONVERTER: {"crash": ""}}, 1, [CONVERTER]),
        ("editor 1", {EDITOR: {"exit": "1"}}, 2, [CONVERTER, EDITOR]),
        ("editor 2", {EDITOR: {"exit": "2"}}, 2, [CONVERTER, EDITOR]),
        ("editor 3", {EDITOR: {"exit": "3"}}, 2, [CONVERTER, EDITOR]),
        ("editor crash", {EDITOR: {"crash": ""}}, 2, [CONVERTER, EDITOR]),
        ("monitor 1", {MONITOR: {"exit": "1"}}, 3, [CONVERTER, EDITOR, MONITOR]),
        ("monitor 255", {MONITOR: {"exit": "255"}}, 3, [CONVERTER, EDITOR, MONITOR]),
        # STILL_ACTIVE on Windows: only the process's end tells it has ended.
        ("monitor 259", {MONITOR: {"exit": "259"}}, 3, [CONVERTER, EDITOR, MONITOR]),
        ("monitor access violation code", {MONITOR: {"exit": "0xC0000005"}}, 3,
         [CONVERTER, EDITOR, MONITOR]),
        ("monitor crash", {MONITOR: {"crash": ""}}, 3, [CONVERTER, EDITOR, MONITOR]),
    ]

    def test_status_matrix(self):
        for name, instructions, status, started in self.CASES:
            with self.subTest(name):
                chain = Chain(self)
                for role, files in instructions.items():
                    for what, content in files.items():
                        chain.tell(role, what, content)
                result = chain.run()
                self.assertEqual(result.status, status, result)
                self.assertEqual(result.stderr, b"", "a component's failure prints nothing")
                self.assertEqual(result.stdout, b"", "the converter's output is not shown")
                self.assertEqual(chain.ran(), started)

    def test_converter_failure_beats_a_valid_header(self):
        chain = Chain(self)
        chain.tell(CONVERTER, "stdout", b"header:Bracket under load\n")
        chain.tell(CONVERTER, "exit", "2")
        result = chain.run()
        self.assertEqual((result.status, result.stderr), (1, b""))
        self.assertEqual(chain.ran(), [CONVERTER])


class ArgumentTest(unittest.TestCase):
    """Every element reaches each child as exactly one argument."""

    def check_vectors(self, chain, inp_path, heading):
        expected = chain.expected_argv(inp_path, heading)
        for role in harness.ROLES:
            self.assertEqual(chain.argv(role), expected[role], role)

    def test_vectors_of_the_three_children(self):
        chain = Chain(self, folder_name="Program Files (x86)")
        result = chain.run()
        self.assertEqual((result.status, result.stderr), (0, b""))
        self.check_vectors(chain, harness.target_path(chain.deck), "Bracket under load")

    def test_non_ascii_install_and_deck_paths(self):
        chain = Chain(self, folder_name="解析 ツール (x86)")
        jobs = os.path.join(chain.layout.tmp, "ジョブ 1")
        os.mkdir(jobs)
        deck = os.path.join(jobs, "梁.inp")
        result = chain.run(harness.target_path(deck))
        self.assertEqual((result.status, result.stderr), (0, b""))
        self.check_vectors(chain, harness.target_path(deck), "Bracket under load")

    def test_deck_words(self):
        cases = [
            # the deck's name in the jobs folder, the name in inp_path
            ("a.inp.inp", "a.inp.inp"),
            ("beam", "beam.inp"),
            ("beam.INP", "beam.INP.inp"),
            ("beam.txt", "beam.txt.inp"),
        ]
        for name, inp_name in cases:
            with self.subTest(name):
                chain = Chain(self)
                result = chain.run(harness.target_path(os.path.join(chain.jobs, name)))
                self.assertEqual(result.status, 0, result)
                self.check_vectors(chain, harness.target_path(os.path.join(chain.jobs, inp_name)),
                                   "Bracket under load")

    def test_relative_deck_is_made_absolute_against_the_current_directory(self):
        chain = Chain(self)
        result = chain.run("jobs (1)/beam.inp", cwd=chain.layout.tmp)
        self.assertEqual(result.status, 0, result)
        self.check_vectors(chain, harness.target_path(chain.deck), "Bracket under load")

    def test_model_path_loses_only_the_last_suffix(self):
        chain = Chain(self)
        deck = os.path.join(chain.jobs, "a.inp.inp")
        self.assertEqual(chain.run(harness.target_path(deck)).status, 0)
        model = chain.argv(MONITOR)[1]
        self.assertTrue(model.endswith(SEP + "a.inp"), model)
        self.assertEqual(model, harness.target_path(os.path.join(chain.jobs, "a.inp")))

    HEADINGS = [
        "",
        " ",
        "  padded on both sides  ",
        "tab\tinside and at the end\t",
        "tabs\tbut\tno\tblank",
        'say "hi"',
        '"',
        '""',
        '"quoted at both ends"',
        "one\\backslash",
        'one backslash before a quote \\" here',
        'three backslashes\\\\\\" then a quote',
        'no\\\\"blank',
        "ends in a backslash\\",
        "ends in three\\\\\\",
        "\\\\server\\share\\",
        "*.inp ? [x]",
        "%PATH% ^ & | < > !",
        "-header",
        "-setting x",
    ]

    def test_headings_survive_the_command_line(self):
        for heading in self.HEADINGS:
            with self.subTest(repr(heading)):
                chain = Chain(self)
                chain.tell(CONVERTER, "stdout", b"Reading deck\nheader:" + heading.encode() + b"\n")
                result = chain.run()
                self.assertEqual(result.status, 0, result)
                self.assertEqual(chain.heading(), heading)
                self.assertEqual(chain.argv(EDITOR)[1:6], chain.expected_argv(
                    harness.target_path(chain.deck), heading)[EDITOR][1:6])

    @unittest.skipUnless(WINDOWS, "the limit is Windows' own")
    def test_command_lines_up_to_the_windows_limit(self):
        # CreateProcessW takes 32767 UTF-16 units with the terminator. Wine
        # would cut a longer one short without a word, so the launcher
        # refuses it: the converter's line here is exactly at the limit or
        # one over it; the editor's is always over.
        for over in (0, 1):
            with self.subTest(over=over):
                chain = Chain(self)
                converter = chain.tool(CONVERTER)
                prefix = harness.target_path(chain.jobs) + SEP
                line = '"%s" "%s.inp"' % (converter, prefix)  # the blank in "jobs (1)" quotes it
                length = 32766 + over - len(line)
                rest = (("d" * 199 + SEP) * (length // 200 + 1))[:length - 1] + "d"
                deck = prefix + rest
                self.assertEqual(len('"%s" "%s.inp"' % (converter, deck)), 32766 + over)
                result = chain.run(deck)
                self.assertEqual(result.status, 1, result)
                where = CONVERTER if over else EDITOR
                message = one_diagnostic(self, result, where + ".exe")
                self.assertIn("Windows takes at most 32766", message)
                self.assertEqual(chain.ran(), [] if over else [CONVERTER])
                if not over:
                    self.assertEqual(chain.argv(CONVERTER)[1], deck + ".inp")

    def test_non_ascii_heading(self):
        # Natively the converter writes UTF-8; under Wine the active code
        # page of this locale (the double-byte case is in test_decoding).
        chain = Chain(self)
        self.assertEqual(chain.run().status, 0)
        acp = chain.record(CONVERTER).acp
        texts = {0: "梁の解析 — 荷重 ①", 65001: "梁の解析 — 荷重 ①", 1252: "Träger – Last 5 € ü"}
        if acp not in texts:
            self.skipTest("no sample text for code page %d" % acp)
        heading = texts[acp]
        chain = Chain(self)
        chain.tell(CONVERTER, "stdout",
                   b"header:" + heading.encode("utf-8" if acp in (0, 65001) else "cp%d" % acp))
        result = chain.run()
        self.assertEqual(result.status, 0, result)
        self.assertEqual(chain.heading(), heading)


class HeadingProtocolTest(unittest.TestCase):
    """The converter's output: lines, the last one, its tag."""

    # Line ends as they cross a real pipe (the protocol's every case is in
    # the unit tests): no translation on the way, and many reads.
    COMMON = [
        # name, converter output, heading
        ("LF", b"Reading deck\nheader:Bracket under load\n", "Bracket under load"),
        ("no final line end", b"Reading deck\nheader:Bracket under load", "Bracket under load"),
        ("CRLF", b"Reading deck\r\nheader:Bracket under load\r\n", "Bracket under load"),
        ("CR", b"Reading deck\rheader:Bracket under load\r", "Bracket under load"),
        ("trailing empty line", b"header:Bracket\n\n", ""),
        ("long output", b"".join(b"line %06d of the deck report\n" % i for i in range(12000))
         + b"header:after a long report\n", "after a long report"),
    ]
    # 0x85 is NEL only in Unicode: in cp1252 it is an ellipsis, and the
    # output is decoded before it is split.
    CP1252 = [("0x85 is text in cp1252", b"header:A\x85B", "A\u2026B")]

    def heading_of(self, output, chunks=None):
        chain = Chain(self)
        chain.tell(CONVERTER, "stdout", output)
        if chunks:
            chain.tell(CONVERTER, "chunks", " ".join(map(str, chunks)))
        result = chain.run()
        self.assertEqual((result.status, result.stderr), (0, b""), result)
        self.assertEqual(chain.ran(), [CONVERTER, EDITOR, MONITOR])
        return chain.heading()

    def check(self, cases, chunks=None):
        for name, output, heading in cases:
            with self.subTest(name):
                self.assertEqual(self.heading_of(output, chunks), heading)

    def test_common_cases(self):
        self.check(self.COMMON)

    def test_single_byte_code_page(self):
        if not WINDOWS:
            self.skipTest("natively the output is UTF-8")
        chain = Chain(self)
        chain.run()
        if chain.record(CONVERTER).acp != 1252:
            self.skipTest("the active code page is not 1252")
        self.check(self.CP1252)
        # The bytes that cp1252 leaves undefined, which the system's own
        # conversion would turn into C1 controls.
        for byte in (0x81, 0x8D, 0x8F, 0x90, 0x9D):
            with self.subTest(undefined=hex(byte)):
                message = one_diagnostic(self, self.failed_run(b"header:A" + bytes([byte]) + b"B\n"),
                                         "inp_converter.exe")
                self.assertTrue(message.startswith("UnicodeDecodeError: "), message)

    def test_line_ends_split_between_reads(self):
        cases = [
            # output, pieces it is written in, heading
            (b"header:A\r\n", [9], "A"),
            (b"header:A\r\r\n", [9], ""),
            (b"header:A\r\r\n", [10], ""),
            (b"header:A\r", [8], "A"),
            (b"Reading\nhea", [11], "hea"),
            (b"Reading\nheader:B", [11], "B"),
            (b"Reading\n", [3], "Reading"),
        ]
        for output, chunks, heading in cases:
            with self.subTest(output=output, chunks=chunks):
                self.assertEqual(self.heading_of(output, chunks), heading)

    def test_utf8_split_at_every_offset(self):
        if WINDOWS:
            self.skipTest("the code page case is in test_decoding")
        output = "header:A\u2029header:梁 ビーム\u2028".encode()
        for offset in range(1, len(output)):
            with self.subTest(offset=offset):
                self.assertEqual(self.heading_of(output, [offset]), "梁 ビーム")

    def failed_run(self, output, exit_code="0"):
        chain = Chain(self)
        chain.tell(CONVERTER, "stdout", output)
        chain.tell(CONVERTER, "exit", exit_code)
        result = chain.run()
        self.assertEqual(result.status, 1, result)
        self.assertEqual(chain.ran(), [CONVERTER], "the editor must not start")
        return result

    def test_no_output_at_all(self):
        one_diagnostic(self, self.failed_run(b""), "inp_converter.exe")

    def test_no_output_and_a_failed_converter_is_silent(self):
        self.assertEqual(self.failed_run(b"", exit_code="2").stderr, b"")

    def test_a_heading_that_cannot_reach_the_editor_whole(self):
        # A NUL would cut the argument short; a last line longer than any
        # command line is kept only in part (and is drained to its end).
        for output, where, says in (
                (b"header:nul\x00x\n", "editor.exe", "NUL"),
                (b"header:" + b"x" * 200000 + b"\n", "inp_converter.exe",
                 "longer than a command line can carry"),
                (b"header:" + b"y" * (4 << 20), "inp_converter.exe",
                 "longer than a command line can carry")):
            with self.subTest(output=output[:12], length=len(output)):
                message = one_diagnostic(self, self.failed_run(output), where)
                self.assertIn(says, message)

    def test_invalid_text(self):
        if WINDOWS:
            self.skipTest("the code page case is in test_decoding")
        outputs = [
            b"header:\xff\n",
            b"\xff\nheader:valid\n",
            b"header:A\xc0\xaf\n",  # overlong
            b"header:A\xed\xa0\x80\n",  # an encoded surrogate
            b"header:A\xf4\x90\x80\x80\n",  # past U+10FFFF
            b"header:\xe6\xa2",  # cut at the end
        ]
        for output in outputs:
            for exit_code in ("0", "3"):
                with self.subTest(output=output, exit_code=exit_code):
                    one_diagnostic(self, self.failed_run(output, exit_code), "inp_converter.exe")


class MissingComponentTest(unittest.TestCase):
    def test_missing_component_at_each_step(self):
        for missing, before in [(CONVERTER, []), (EDITOR, [CONVERTER]),
                                (MONITOR, [CONVERTER, EDITOR])]:
            with self.subTest(missing):
                chain = Chain(self)
                os.remove(os.path.join(chain.layout.root, "tools", missing + ".exe"))
                result = chain.run()
                self.assertEqual(result.status, 1, result)
                self.assertEqual(chain.ran(), before)
                self.assertEqual(
                    result.stderr.decode("utf-8"),
                    "Tolvane.exe: %s.exe: FileNotFoundError: no such component executable: %s%s"
                    % (missing, chain.tool(missing), NEWLINE.decode()))

    def test_component_that_cannot_be_started(self):
        cases = {
            "a directory": lambda path: os.mkdir(path),
            "no program": lambda path: harness.write_file(path, b"MZ but not really\n"),
        }
        for name, make in cases.items():
            with self.subTest(name):
                chain = Chain(self)
                path = os.path.join(chain.layout.root, "tools", "editor.exe")
                os.remove(path)
                make(path)
                if os.path.isfile(path):
                    os.chmod(path, 0o755)
                result = chain.run()
                self.assertEqual(result.status, 1, result)
                self.assertEqual(chain.ran(), [CONVERTER])
                one_diagnostic(self, result, "editor.exe")

    @unittest.skipIf(WINDOWS, "posix_spawn's set-up")
    def test_a_spawn_that_cannot_be_set_up_starts_nothing(self):
        # An interrupt that comes while the start fails is what is reported.
        for interrupted, says in (
                (False, "OSError: posix_spawn_file_actions_adddup2 failed: "
                        "Cannot allocate memory (error 12)"),
                (True, "KeyboardInterrupt: interrupted")):
            with self.subTest(interrupted=interrupted):
                chain = Chain(self)
                env = chain.env()
                env["LD_PRELOAD"] = harness.built(os.path.join("test-modules",
                                                               "spawn_setup_fails.so"))
                env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0"
                if interrupted:
                    env["SPAWN_SETUP_INTERRUPTED"] = "1"
                result = chain.run(env=env)
                self.assertEqual((result.status, result.stdout), (1, b""))
                self.assertEqual(chain.ran(), [])
                self.assertEqual(one_diagnostic(self, result, "inp_converter.exe"), says)

    def test_missing_session_xml_is_no_error(self):
        chain = Chain(self)
        self.assertFalse(os.path.exists(os.path.join(chain.layout.root, "session.xml")))
        result = chain.run()
        self.assertEqual((result.status, result.stderr), (0, b""))
        self.assertEqual(chain.argv(EDITOR)[4], chain.setting)
        self.assertEqual(chain.argv(MONITOR)[3], chain.setting)

    def test_present_session_xml_is_passed_the_same_way(self):
        chain = Chain(self)
        shutil.copy(SESSION_XML, os.path.join(chain.layout.root, "session.xml"))
        result = chain.run()
        self.assertEqual((result.status, result.stderr), (0, b""))
        self.assertEqual(chain.argv(EDITOR)[4], chain.setting)
        self.assertEqual(chain.argv(MONITOR)[3], chain.setting)


class ChildEnvironmentTest(unittest.TestCase):
    """What every child inherits from the launcher."""

    def test_current_directory_is_the_launchers(self):
        chain = Chain(self)
        cwd = os.path.join(chain.layout.tmp, "work dir (cwd)")
        os.mkdir(cwd)
        result = chain.run(cwd=cwd)
        self.assertEqual((result.status, result.stderr), (0, b""))
        for role in harness.ROLES:
            self.assertEqual(chain.record(role).cwd, harness.target_path(cwd), role)

    def test_only_the_converter_output_is_captured(self):
        chain = Chain(self)
        chain.tell(EDITOR, "stdout", b"from the editor\n")
        chain.tell(MONITOR, "stdout", b"from the monitor\n")
        out_path = os.path.join(chain.layout.tmp, "launcher out")
        err_path = os.path.join(chain.layout.tmp, "launcher err")
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            result = chain.run(stdout=out, stderr=err)
        self.assertEqual(result.status, 0)
        with open(out_path, "rb") as f:
            self.assertEqual(f.read(), b"from the editor\nfrom the monitor\n")
        records = {role: chain.record(role) for role in harness.ROLES}
        if WINDOWS:
            self.assertEqual(records[CONVERTER].std, ("char", "pipe", "disk"))
            self.assertEqual(records[EDITOR].std, ("char", "disk", "disk"))
            self.assertEqual(records[MONITOR].std, ("char", "disk", "disk"))
            return
        self.assertEqual(records[CONVERTER].std, ("char", "pipe", "disk"))
        for role in harness.ROLES:
            fds = records[role].fds
            self.assertEqual(fds[0], "/dev/null", role)
            self.assertEqual(fds[2], os.path.realpath(err_path), role)
            if role == CONVERTER:
                self.assertTrue(fds[1].startswith("pipe:["), fds)
            else:
                self.assertEqual(fds[1], os.path.realpath(out_path), role)

    @unittest.skipIf(WINDOWS, "descriptors are listed natively only")
    def test_children_get_only_the_three_streams(self):
        chain = Chain(self)
        read_end, write_end = os.pipe()
        self.addCleanup(os.close, read_end)
        self.addCleanup(os.close, write_end)
        extra = open(os.path.join(chain.layout.tmp, "extra"), "wb")
        self.addCleanup(extra.close)
        result = chain.run(pass_fds=(write_end, extra.fileno()))
        self.assertEqual(result.status, 0, result)
        for role in harness.ROLES:
            self.assertEqual(sorted(chain.record(role).fds), [0, 1, 2], role)


if __name__ == "__main__":
    unittest.main()
