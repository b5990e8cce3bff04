"""The converter's output in a double-byte code page. Wine in a Japanese
locale runs with the active code page 932 (Shift_JIS), where trail bytes
can be "\\" or themselves look like lead bytes; the launcher must decode
the output strictly and keep characters whole that its reads split."""

import os
import shutil
import subprocess
import tempfile
import unittest

import harness
from harness import WINDOWS
from harness import CONVERTER, EDITOR, MONITOR, Chain, one_diagnostic

LOCALES = None

# Trail byte 0x5C: 表 95 5C, ソ 83 5C, 能 94 5C, ― 81 5C. Trail bytes that
# are lead bytes too: ＝ 81 81. Others: ー 81 5B, ＼ 81 5F; ｱ B1 is a single
# byte.
HEADING = "表ー＼＝ソ能 ｱ\\x ＝＝ 梁の解析―表"


def setUpModule():
    if not WINDOWS:
        raise unittest.SkipTest("the active code page is a Windows notion")
    harness.wine_ready()
    global LOCALES
    LOCALES = tempfile.mkdtemp(prefix="tolvane locales ")
    target = os.path.join(LOCALES, "ja_JP.UTF-8")
    made = subprocess.run(["localedef", "-i", "ja_JP", "-f", "UTF-8", target],
                          capture_output=True, text=True)
    if not os.path.isdir(target):
        raise RuntimeError("localedef could not make ja_JP.UTF-8: " + made.stdout + made.stderr)


def tearDownModule():
    if LOCALES:
        shutil.rmtree(LOCALES, ignore_errors=True)


class Cp932Test(unittest.TestCase):
    def run_chain(self, output, chunks=None, exit_code=None):
        chain = Chain(self)
        chain.tell(CONVERTER, "stdout", output)
        if chunks:
            chain.tell(CONVERTER, "chunks", " ".join(map(str, chunks)))
        if exit_code is not None:
            chain.tell(CONVERTER, "exit", exit_code)
        env = chain.env(locale="ja_JP.UTF-8")
        env["LOCPATH"] = LOCALES
        return chain, chain.run(env=env)

    def heading_of(self, output, chunks=None):
        chain, result = self.run_chain(output, chunks)
        self.assertEqual((result.status, result.stderr), (0, b""), result)
        self.assertEqual(chain.ran(), [CONVERTER, EDITOR, MONITOR])
        return chain.heading()

    def test_the_locale_gives_code_page_932(self):
        chain, result = self.run_chain(b"header:" + "梁の解析".encode("cp932") + b"\r\n")
        self.assertEqual(chain.record(CONVERTER).acp, 932,
                         "Wine did not take the Japanese locale")
        self.assertEqual(result.status, 0, result)
        self.assertEqual(chain.heading(), "梁の解析")

    def test_headings_with_tricky_trail_bytes(self):
        for heading in [HEADING, "表", '"表"', "表\\", '能\\"ソ', "＝", "＼", "ｱｲｳ"]:
            with self.subTest(heading):
                self.assertEqual(self.heading_of(b"header:" + heading.encode("cp932")), heading)

    def test_heading_split_between_reads_at_every_offset(self):
        output = b"Reading\r\nheader:" + HEADING.encode("cp932") + b"\r\n"
        for offset in range(1, len(output)):
            with self.subTest(offset=offset, before=output[:offset][-3:]):
                self.assertEqual(self.heading_of(output, [offset]), HEADING)

    def test_every_byte_in_a_read_of_its_own(self):
        output = b"header:" + HEADING.encode("cp932")
        self.assertEqual(self.heading_of(output, [1] * len(output)), HEADING)

    INVALID = [
        # converter output, pieces it is written in
        (b"header:\x81\x20x\r\n", None),  # a lead byte, then no trail byte
        (b"header:\x81\x7f\r\n", None),
        (b"header:\x81\r\n", None),
        (b"header:\x85\x40\r\n", None),  # an unassigned row
        (b"header:\xa0\r\n", None),  # bytes that are no character
        (b"header:\xfd\r\n", None),
        (b"header:\xff\r\n", None),
        (b"\xa0\r\nheader:valid\r\n", None),  # in a line that does not count
        (b"header:A\x81", None),  # a lone lead byte at the very end
        (b"header:A\x81", [8]),  # ... in a read of its own
        (b"header:\x81\x20", [8]),  # the invalid trail in the next read
    ]

    def test_invalid_sequences(self):
        for output, chunks in self.INVALID:
            for exit_code in ("0", "3"):
                with self.subTest(output=output, chunks=chunks, exit_code=exit_code):
                    chain, result = self.run_chain(output, chunks, exit_code)
                    self.assertEqual(result.status, 1, result)
                    self.assertEqual(chain.ran(), [CONVERTER], "the editor must not start")
                    one_diagnostic(self, result, "inp_converter.exe")


if __name__ == "__main__":
    unittest.main()
