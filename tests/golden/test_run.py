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
    for a in "$@"; do printf '%s\\n' "$a"; done
    [ -n "$FAKE_ERR" ] && echo "$FAKE_ERR" >&2
    [ -n "$FAKE_SLEEP" ] && { sleep "$FAKE_SLEEP" & echo $! > "$FAKE_PID"; wait; }
    exit "${FAKE_EXIT:-0}"
    """)


# Stand-in for vesk-fixture.exe: with --wait-window it waits until the file
# $FAKE_WAIT_FOR is written (when set) and exits with $FAKE_WAIT_EXIT; otherwise it writes "ready" and its other arguments to the
# --log file (a Z:\ path), $FAKE_LOG_LATER a moment later, its process id to
# $FAKE_PID, and waits to be ended. $FAKE_NOT_READY makes it wait at once.
FAKE_FIXTURE = textwrap.dedent("""\
    #!/bin/sh
    log="" args=""
    while [ $# -gt 0 ]; do
      case "$1" in
        --wait-window)
          while [ -n "$FAKE_WAIT_FOR" ] && [ ! -s "$FAKE_WAIT_FOR" ]; do sleep 0.05; done
          exit "${FAKE_WAIT_EXIT:-0}" ;;
        --log) log=$(printf '%s' "$2" | sed 's/^Z://; s#\\\\#/#g'); shift ;;
        *) args="$args $1" ;;
      esac
      shift
    done
    [ -n "$FAKE_NOT_READY" ] && exec sleep 30
    [ -n "$FAKE_PID" ] && echo $$ > "$FAKE_PID"
    printf 'ready\nargs:%s\n' "$args" > "$log"
    [ -n "$FAKE_LOG_LATER" ] && { sleep 0.3; echo "$FAKE_LOG_LATER" >> "$log"; }
    exec sleep 30
    """)

# Stand-in for Wine: runs the program it is given.
FAKE_WINE = "#!/bin/sh\nexec \"$@\"\n"


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


    def test_gui_directives(self):
        path = self.write("t.vsk", textwrap.dedent("""\
            // fixture: --second --title "A B"
            // program: notepad.exe {TMP}\\x.txt
            // expect-log: ready
            // expect-log:  command 1 BN_CLICKED ok "&OK"
            """))
        test = run.parse_test(path, "t")
        self.assertEqual(test.fixture, ["--second", "--title", "A B"])
        self.assertEqual(test.programs, [["notepad.exe", "{TMP}\\x.txt"]])
        self.assertEqual(test.log, ["ready", ' command 1 BN_CLICKED ok "&OK"'])
        self.assertTrue(test.gui)
        self.assertEqual(test.problems, [])

    def test_one_fixture_per_test_and_log_expectations_need_it(self):
        path = self.write("t.vsk", "// fixture:\n// fixture: --second\n")
        self.assertEqual(len(run.parse_test(path, "t").problems), 1)
        path = self.write("u.vsk", "// expect-log: ready\n// program:\n")
        self.assertEqual(len(run.parse_test(path, "u").problems), 2)


class LogOrderTest(unittest.TestCase):
    def test_expected_lines_in_order_with_others_between(self):
        lines = ["ready", "focus ok", "command 1", "focus edit", "text edit \"a\""]
        self.assertIsNone(run.lines_in_order(["ready", "command 1", "text edit \"a\""], lines))
        self.assertEqual(run.lines_in_order(["command 1", "ready"], lines), "ready")
        self.assertEqual(run.lines_in_order(["focus ok", "focus ok"], lines), "focus ok")
        self.assertIsNone(run.lines_in_order([], []))

    def test_program_file_of_a_program_name(self):
        self.assertEqual(run.program_file("NotePad"), "notepad.exe")
        self.assertEqual(run.program_file("C:\\Windows\\regedit.exe"), "regedit.exe")


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
            self.assertTrue(ends(int(f.read())))


class GuiRunnerTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)
        for name, text in (("fake-cli", FAKE_CLI), ("vesk-fixture.exe", FAKE_FIXTURE), ("wine", FAKE_WINE)):
            path = os.path.join(self.folder.name, name)
            with open(path, "w") as f:
                f.write(text)
            os.chmod(path, 0o755)
        self.pid_file = os.path.join(self.folder.name, "pid")
        saved = run.SCREENSHOT
        run.SCREENSHOT = ["sh", "-c", 'echo picture > "$0"']
        self.addCleanup(setattr, run, "SCREENSHOT", saved)

    def script(self, text):
        path = os.path.join(self.folder.name, "g.vsk")
        with open(path, "w") as f:
            f.write("// expect: {DIR}\\g.vsk\n" + textwrap.dedent(text))
        return path

    def main(self, *args, wine=True):
        out = io.StringIO()
        options = ["--wine", "--wine-command", os.path.join(self.folder.name, "wine")] if wine else []
        with contextlib.redirect_stdout(out):
            status = run.main(["--cli", os.path.join(self.folder.name, "fake-cli"), *options, *args])
        return status, out.getvalue()

    def pid(self):
        with open(self.pid_file) as f:
            return int(f.read())

    def test_gui_tests_are_skipped_natively(self):
        path = self.script("// fixture:\n")
        self.assertEqual(self.main(path, wine=False), (0, "0 passed, 0 failed, 1 skipped\n"))

    def test_the_fixture_gets_its_log_and_arguments_and_is_ended_after(self):
        path = self.script(f"""\
            // fixture: --second --title "A B"
            // env: FAKE_PID={self.pid_file}
            // expect-log: ready
            // expect-log: args: --second --title A B
            """)
        self.assertEqual(self.main(path), (0, "1 passed, 0 failed, 0 skipped\n"))
        self.assertTrue(ends(self.pid()))

    def test_log_lines_are_waited_for_and_a_wrong_order_fails_with_a_screenshot(self):
        path = self.script("""\
            // fixture:
            // env: FAKE_LOG_LATER=later
            // expect-log: ready
            // expect-log: later
            """)
        self.assertEqual(self.main(path)[0], 0)
        path = self.script("""\
            // fixture:
            // expect-log: args:
            // expect-log: ready
            """)
        status, out = self.main(path, "--timeout", "1")
        self.assertEqual(status, 1)
        self.assertIn("fixture log: no line 'ready'", out)
        self.assertIn("        args:", out)
        pictures = os.path.join(self.folder.name, "gui-failures")
        picture = os.path.join(pictures, os.listdir(pictures)[0])
        self.assertTrue(picture.endswith("g.png"))
        self.assertIn("screenshot: " + picture, out)

    def test_a_fixture_that_never_gets_ready_fails_in_time(self):
        path = self.script("// fixture:\n// env: FAKE_NOT_READY=1\n")
        started = time.monotonic()
        status, out = self.main(path, "--timeout", "1")
        self.assertLess(time.monotonic() - started, 10)
        self.assertEqual(status, 1)
        self.assertIn("the fixture was not ready within 1 s", out)

    def test_a_program_is_waited_for_and_ended_with_what_it_started(self):
        # The program hands itself on to a process of a new session, as
        # Wine's launcher does: only the mark in its environment finds it.
        path = self.script(f"""\
            // program: sh -c "setsid sh -c 'echo $$ > {self.pid_file}; exec sleep 30' & wait"
            // env: FAKE_WAIT_FOR={self.pid_file}
            """)
        self.assertEqual(self.main(path), (0, "1 passed, 0 failed, 0 skipped\n"))
        self.assertTrue(ends(self.pid()))
        path = self.script("// program: sleep 30\n// env: FAKE_WAIT_EXIT=1\n")
        status, out = self.main(path)
        self.assertEqual(status, 1)
        self.assertIn("sleep showed no window", out)


def ends(pid, seconds=5):
    """True when [pid] has ended or ends within [seconds]: a process killed
    a moment ago may still be on its way out."""
    deadline = time.monotonic() + seconds
    while alive(pid):
        if time.monotonic() > deadline:
            return False
        time.sleep(0.02)
    return True


def alive(pid):
    """True while [pid] runs (a zombie that nobody reaps counts as ended)."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except FileNotFoundError:
        return False


if __name__ == "__main__":
    unittest.main()
