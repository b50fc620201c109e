#!/usr/bin/env python3
"""Checks the golden-test runner itself against a stand-in program."""

import importlib.machinery
import importlib.util
import io
import os
import contextlib
import tempfile
import textwrap
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
_loader = importlib.machinery.SourceFileLoader("golden_run", os.path.join(HERE, "run"))
_spec = importlib.util.spec_from_loader("golden_run", _loader)
run = importlib.util.module_from_spec(_spec)
_loader.exec_module(run)

# Prints its arguments one a line and the contents of $FAKE_ERR on stderr;
# exits with $FAKE_EXIT; with $FAKE_SLEEP it waits for a child whose process
# id it writes to $FAKE_PID.
FAKE_CLI = textwrap.dedent("""\
    #!/bin/sh
    for a in "$@"; do echo "$a"; done
    [ -n "$FAKE_ERR" ] && echo "$FAKE_ERR" >&2
    [ -n "$FAKE_SLEEP" ] && { sleep "$FAKE_SLEEP" & echo $! > "$FAKE_PID"; wait; }
    exit "${FAKE_EXIT:-0}"
    """)


class DecodeTest(unittest.TestCase):
    def test_reads_the_four_encodings_like_the_program(self):
        text = "// expect: café"
        self.assertEqual(run.decode_script(b"\xff\xfe" + text.encode("utf-16-le")), text)
        self.assertEqual(run.decode_script(b"\xef\xbb\xbf" + text.encode("utf-8")), text)
        self.assertEqual(run.decode_script(text.encode("utf-8")), text)
        self.assertEqual(run.decode_script(text.encode("cp1252")), text)

    def test_undefined_ansi_bytes_become_control_characters(self):
        self.assertEqual(run.decode_script(b"a\x81\x90b\xe9"), "a\x81\x90bé")

    def test_comment_starts_outside_string_literals_only(self):
        self.assertEqual(run.comment_of('print "a // b" // expect: a // b'), " expect: a // b")
        self.assertIsNone(run.comment_of('print "a // b"'))


class ParseTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)

    def write(self, name, text, mode="w"):
        path = os.path.join(self.folder.name, name)
        with open(path, mode) as f:
            f.write(text)
        return path

    def test_directives_in_order_with_one_blank_dropped(self):
        path = self.write("t.vsk", textwrap.dedent("""\
            // args: --run-text
            // params: "a b" c
            print 1 // expect:  two blanks
            // expect:
            // expect-error: oops
            // env: LANG=ja_JP.UTF-8
            // platform: win32
            """))
        test = run.parse_test(path, "t")
        self.assertEqual(test.stdout, [" two blanks", ""])
        self.assertEqual(test.stderr, ["oops"])
        self.assertEqual((test.args, test.params), (["--run-text"], ["a b", "c"]))
        self.assertEqual((test.env, test.platforms), ({"LANG": "ja_JP.UTF-8"}, {"win32"}))
        self.assertEqual(test.expected_exit(), 1)

    def test_sidecars_replace_expect_lines(self):
        path = self.write("t.vsk", "// expect: not this\n")
        self.write("t.out", "line 1\r\n\nline 3\n")
        self.write("t.err", "\ufefferror\n")
        test = run.parse_test(path, "t")
        self.assertEqual((test.stdout, test.stderr), (["line 1", "", "line 3"], ["error"]))

    def test_a_misspelt_expectation_is_a_problem_and_other_words_are_comments(self):
        path = self.write("t.vsk", "// note: not a directive\n// expect-exti: 3\n// expect-exit: x\n")
        self.assertEqual(len(run.parse_test(path, "t").problems), 2)

    def test_only_files_with_directives_or_sidecars_are_tests(self):
        self.write("helper.vsk", "// Included by others.\n")
        self.write("plain.vsk", "x = 1\n")
        self.write("plain.out", "X\n")
        self.write("real.vsk", "// expect-exit: 0\n")
        names = [t.name for t in run.find_tests([self.folder.name], "")]
        self.assertEqual([os.path.basename(n) for n in names], ["plain.vsk", "real.vsk"])


class FolderTest(unittest.TestCase):
    def test_both_printed_forms_of_the_folder_become_dir(self):
        lines = ["FILE Not Found :Z:\\WORK\\T\\X.VSK", "at \\work\\t\\Y.VSK", "/work/t/z"]
        forms = run.folder_forms("/work/t", wine=True)
        self.assertEqual(run.replace_folder(lines, forms),
                         ["FILE Not Found :{DIR}\\X.VSK", "at {DIR}\\Y.VSK", "{DIR}/z"])


class RunnerTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)
        self.cli = os.path.join(self.folder.name, "fake-cli")
        with open(self.cli, "w") as f:
            f.write(FAKE_CLI)
        os.chmod(self.cli, 0o755)

    def script(self, name, text):
        path = os.path.join(self.folder.name, name)
        with open(path, "w") as f:
            f.write(text)
        return path

    def main(self, *args):
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            status = run.main(["--cli", self.cli, *args])
        return status, out.getvalue()

    def test_passes_when_output_status_and_dir_match(self):
        path = self.script("ok.vsk", textwrap.dedent("""\
            // args: --check
            // params: 'p q'
            // env: FAKE_ERR=boom
            // expect: --check
            // expect: {DIR}/ok.vsk
            // expect: p q
            // expect-error: boom
            // expect-exit: 0
            """))
        self.assertEqual(self.main(path), (0, "1 passed, 0 failed, 0 skipped\n"))

    def test_a_difference_fails_with_a_diff_and_the_command(self):
        path = self.script("bad.vsk", "// env: FAKE_EXIT=3\n// expect: something else\n")
        status, out = self.main(path)
        self.assertEqual(status, 1)
        self.assertIn("-something else", out)
        self.assertIn("exit status: expected 0, got 3", out)
        self.assertIn("command: ", out)
        self.assertTrue(out.endswith("0 passed, 1 failed, 0 skipped\n"))

    def test_other_platforms_are_skipped_and_no_tests_is_success(self):
        self.script("w.vsk", "// platform: win32\n")
        self.assertEqual(self.main(self.folder.name), (0, "0 passed, 0 failed, 1 skipped\n"))
        self.assertEqual(self.main(self.folder.name, "--filter", "nothing"),
                         (0, "0 passed, 0 failed, 0 skipped\n"))

    def test_a_time_out_fails_and_kills_the_whole_process_group(self):
        pid_file = os.path.join(self.folder.name, "pid")
        path = self.script("slow.vsk", f"// env: FAKE_SLEEP=30\n// env: FAKE_PID={pid_file}\n")
        started = time.monotonic()
        status, out = self.main(path, "--timeout", "1")
        self.assertLess(time.monotonic() - started, 10)
        self.assertEqual(status, 1)
        self.assertIn("timed out after 1 s", out)
        with open(pid_file) as f:
            self.assertFalse(alive(int(f.read())))


def alive(pid):
    """True while [pid] runs (a zombie that nobody reaps counts as ended)."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except FileNotFoundError:
        return False


if __name__ == "__main__":
    unittest.main()
