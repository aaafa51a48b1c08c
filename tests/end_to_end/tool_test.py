#!/usr/bin/env python3
"""End-to-end tests of the qrimage command-line tool, run as a user would.

usage: tool_test.py PATH_TO_QRIMAGE [unittest arguments]
"""
import os
import pty
import re
import select
import struct
import subprocess
import sys
import tempfile
import unittest

TOOL = None

# Bytes a symbol holds in byte mode at L, M, Q, H: versions 1 to 3, and 40.
CAPACITY = {1: (17, 14, 11, 7), 2: (32, 26, 20, 14), 3: (53, 42, 32, 24), 40: (2953, 2331, 1663, 1273)}
SUMMARY = re.compile(rb"^(\d+) bytes, level ([LMQH]), version (\d+), (\d+)x(\d+) modules, (.*)$")


def read_bitmap(path):
    """Returns the pixels of a 1-bit bitmap as rows of booleans (True = light), top row first."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:2] == b"BM", "not a bitmap"
    offset, = struct.unpack_from("<I", data, 10)
    width, height, planes, bits = struct.unpack_from("<iiHH", data, 18)
    assert (planes, bits) == (1, 1) and width == height > 0
    light = [data[54 + 4 * i] == 0xFF for i in range(2)]  # palette: blue byte of each entry
    row_bytes = (width + 31) // 32 * 4
    rows = []
    for y in range(height):
        row = data[offset + row_bytes * (height - 1 - y):]
        rows.append([light[(row[x >> 3] >> (7 - (x & 7))) & 1] for x in range(width)])
    return rows


def preview_pixels(lines):
    """Turns half-block preview lines back into pixel rows (True = light)."""
    cells = {"\u2588": (True, True), "\u2580": (True, False), "\u2584": (False, True),
             " ": (False, False)}
    rows = []
    for line in lines:
        pairs = [cells[c] for c in line]
        rows.append([top for top, _ in pairs])
        rows.append([bottom for _, bottom in pairs])
    return rows


def decode(path):
    """Decodes the symbol in a bitmap with zbar, after scaling it up."""
    png = path + ".png"
    subprocess.run(["convert-im6.q16", path, "-scale", "400%", png], check=True)
    result = subprocess.run(["zbarimg", "--raw", "-q", png], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL)
    return result.stdout[:-1] if result.stdout.endswith(b"\n") else result.stdout


def run_on_terminal(args, cwd):
    """Runs the tool with standard input and output on a pseudo-terminal.
    Returns (exit status, terminal output with newlines as \\n, standard error)."""
    master, slave = pty.openpty()
    process = subprocess.Popen([TOOL] + args, cwd=cwd, stdin=slave, stdout=slave,
                               stderr=subprocess.PIPE)
    os.close(slave)
    output = b""
    while True:
        ready, _, _ = select.select([master], [], [], 30)
        if not ready:
            process.kill()
            raise AssertionError("the tool did not finish on the terminal")
        try:
            chunk = os.read(master, 65536)
        except OSError:  # the terminal closes when the tool exits
            break
        if not chunk:
            break
        output += chunk
    os.close(master)
    stderr = process.stderr.read()
    process.stderr.close()
    return process.wait(), output.replace(b"\r\n", b"\n"), stderr


class ToolTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def run_tool(self, args, stdin=b""):
        """Runs the tool with a pipe for standard input, so it is not a terminal."""
        return subprocess.run([TOOL] + args, cwd=self.dir.name, input=stdin,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)

    def assert_written(self, result, text, level="M", output="qr.bmp"):
        """Checks a successful run: the summary, the file's size and the decoded text."""
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, b"")
        summary = SUMMARY.match(result.stdout.splitlines()[-1])
        self.assertIsNotNone(summary, result.stdout)
        size, got_level, version, width, height, name = summary.groups()
        version = int(version)
        self.assertEqual((int(size), got_level.decode(), name.decode()), (len(text), level, output))
        self.assertEqual((int(width), int(height)), (4 * version + 17,) * 2)
        rows = read_bitmap(self.path(output))
        self.assertEqual(len(rows), 4 * version + 25)
        self.assertEqual(decode(self.path(output)), text)
        return version


class InputRoutes(ToolTest):
    def test_text_argument(self):
        result = self.run_tool(["-n", "-o", "hello.bmp", "Hello from qrimage"])
        self.assert_written(result, b"Hello from qrimage", output="hello.bmp")

    def test_default_output_and_text_after_double_dash(self):
        self.assert_written(self.run_tool(["--", "-starts with a dash"]), b"-starts with a dash")

    def test_input_file_is_taken_byte_for_byte(self):
        with open(self.path("in.txt"), "wb") as f:
            f.write(b"line one\nline two\n")
        for args in (["-i", "in.txt"], ["--input=in.txt"], ["-iin.txt"]):
            with self.subTest(args=args):
                self.assert_written(self.run_tool(args), b"line one\nline two\n")

    def test_standard_input(self):
        # No text argument with piped input, and the explicit "-".
        for args in ([], ["-"], ["-o", "qr.bmp", "-"]):
            with self.subTest(args=args):
                self.assert_written(self.run_tool(args, stdin=b"from a pipe"), b"from a pipe")

    def test_empty_text_when_asked_for(self):
        with open(self.path("empty.txt"), "wb"):
            pass
        for args in ([""], ["-"], ["-i", "empty.txt"]):
            with self.subTest(args=args):
                self.assertEqual(self.assert_written(self.run_tool(args), b""), 1)

    def test_level_picks_the_smallest_version(self):
        text = b"x" * CAPACITY[1][0]  # fills version 1 at L exactly
        forms = {"L": ["-l", "L"], "M": ["--level", "m"], "Q": ["--level=Q"], "H": ["-lh"]}
        for index, level in enumerate("LMQH"):
            with self.subTest(level=level):
                expected = min(v for v in (1, 2, 3) if CAPACITY[v][index] >= len(text))
                result = self.run_tool(forms[level] + ["-o", level + ".bmp", text.decode()])
                self.assertEqual(self.assert_written(result, text, level, level + ".bmp"), expected)

    def test_longest_text_of_each_level(self):
        for index, level in enumerate("LMQH"):
            with self.subTest(level=level):
                text = bytes(0x41 + i % 26 for i in range(CAPACITY[40][index]))
                result = self.run_tool(["-l", level], stdin=text)
                self.assertEqual(self.assert_written(result, text, level), 40)


class Failures(ToolTest):
    def assert_fails(self, result, status, message):
        self.assertEqual(result.returncode, status, result.stderr)
        self.assertIn(message.encode(), result.stderr)
        self.assertTrue(result.stderr.startswith(b"qrimage: "))
        self.assertEqual(result.stdout, b"")

    def test_bad_level(self):
        for level in ("X", "MM", "", "1"):
            with self.subTest(level=level):
                self.assert_fails(self.run_tool(["-l", level, "text"]), 4,
                                  f"unknown error-correction level '{level}': use L, M, Q or H")
        self.assertFalse(os.path.exists(self.path("qr.bmp")))

    def test_text_too_long_names_the_limit(self):
        cases = [("L", 2954, "level L holds at most 2953 bytes"),
                 ("M", 2332, "level M holds at most 2331 bytes (level L holds 2953)"),
                 ("H", 1274, "level H holds at most 1273 bytes (level Q holds 1663)"),
                 ("Q", 5000, "the text is 5000 bytes; level Q holds at most 1663 bytes\n")]
        for level, length, message in cases:
            with self.subTest(level=level, length=length):
                result = self.run_tool(["-l", level, "-"], stdin=b"a" * length)
                self.assert_fails(result, 1, message)
        self.assertFalse(os.path.exists(self.path("qr.bmp")))

    def test_huge_input_is_not_read_to_the_end(self):
        result = subprocess.run([TOOL, "-i", "/dev/zero"], cwd=self.dir.name, timeout=60,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.assert_fails(result, 5, "NUL byte (at byte 0)")
        with open(self.path("big.txt"), "wb") as f:
            f.write(b"b" * (3 << 20))
        self.assert_fails(self.run_tool(["-i", "big.txt"]), 1, "the text is more than 1048576 bytes")

    def test_nul_byte_is_refused(self):
        with open(self.path("nul.txt"), "wb") as f:
            f.write(b"abc\0def")
        for args, stdin in ((["-i", "nul.txt"], b""), ([], b"ab\0"), (["-"], b"\0")):
            with self.subTest(args=args):
                result = self.run_tool(args, stdin=stdin)
                self.assert_fails(result, 5, f"NUL byte (at byte {stdin.find(0) if stdin else 3})")
        self.assertFalse(os.path.exists(self.path("qr.bmp")))

    def test_usage_errors(self):
        with open(self.path("in.txt"), "w") as f:
            f.write("x")
        cases = [(["--bogus", "text"], "unknown option '--bogus'"),
                 (["-x"], "unknown option '-x'"),
                 (["text", "-o"], "option '-o' needs a value"),
                 (["--show=yes", "text"], "option '--show' takes no value"),
                 (["one", "two"], "more than one text given: 'one' and 'two'"),
                 (["-i", "in.txt", "text"], "give the text one way only"),
                 (["-", "text"], "give the text one way only"),
                 ([], "no text given, and standard input is empty")]
        for args, message in cases:
            with self.subTest(args=args):
                result = self.run_tool(args)
                self.assert_fails(result, 2, message)
                self.assertIn(b"Try 'qrimage --help'", result.stderr)

    def test_no_text_on_a_terminal(self):
        status, output, stderr = run_on_terminal([], self.dir.name)
        self.assertEqual(status, 2)
        self.assertIn(b"no text given", stderr)
        self.assertEqual(output, b"")

    def test_cannot_write_gives_the_reason(self):
        os.mkdir(self.path("folder"))
        cases = [("missing/qr.bmp", "cannot write 'missing/qr.bmp': No such file or directory"),
                 ("folder", "cannot write 'folder': Is a directory"),
                 ("/dev/full", "cannot write '/dev/full': No space left on device"),
                 ("", "cannot write '': the path is empty"),
                 ("a" * 300, "the path is 300 bytes long; the library takes at most 259")]
        for output, message in cases:
            with self.subTest(output=output[:20]):
                self.assert_fails(self.run_tool(["-o", output, "text"]), 3, message)

    def test_cannot_read_the_input(self):
        os.mkdir(self.path("folder"))
        self.assert_fails(self.run_tool(["-i", "missing.txt"]), 6,
                          "cannot read 'missing.txt': No such file or directory")
        self.assert_fails(self.run_tool(["-i", "folder"]), 6, "cannot read 'folder': Is a directory")

    def test_help_and_version(self):
        result = self.run_tool(["--help"])
        self.assertEqual(result.returncode, 0)
        self.assertTrue(result.stdout.startswith(b"usage: qrimage"))
        # Every exit status the tool uses is documented.
        for status in range(8):
            self.assertRegex(result.stdout, rb"\n  %d  \S" % status)
        for option in (b"--level", b"--output", b"--input", b"--show", b"--no-show", b"--version"):
            self.assertIn(option, result.stdout)
        result = self.run_tool(["-V"])
        self.assertEqual(result.returncode, 0)
        self.assertRegex(result.stdout, rb"^qrimage \d+\.\d+\.\d+\n$")


class ReadmeExamples(ToolTest):
    def test_command_line_examples_run(self):
        readme = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "README.md")
        with open(readme, encoding="utf-8") as f:
            section = f.read().split("\n## Command-line tool\n")[1].split("\n## ")[0]
        blocks = re.findall(r"```sh\n(.*?)```", section, re.S)
        self.assertTrue(blocks, "no shell examples in the README's tool section")
        env = dict(os.environ, PATH=os.path.dirname(TOOL) + os.pathsep + os.environ["PATH"])
        for block in blocks:
            result = subprocess.run(["bash", "-e", "-o", "pipefail", "-c", block], env=env,
                                    cwd=self.dir.name, stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE, timeout=60)
            self.assertEqual(result.returncode, 0, result.stderr)
            # Every example writes the file its summary names, and it decodes.
            for line in result.stdout.splitlines():
                summary = SUMMARY.match(line)
                if summary:
                    path = self.path(summary.group(6).decode())
                    self.assertEqual(len(decode(path)), int(summary.group(1)), line)


class Preview(ToolTest):
    COLOUR_ON, COLOUR_OFF = "\x1b[97;40m", "\x1b[0m"

    def split_output(self, output, colour):
        """Returns the preview's pixel rows and the summary line of the tool's output."""
        lines = output.decode("utf-8").split("\n")
        self.assertEqual(lines[-1], "")
        summary, preview = lines[-2], lines[:-2]
        if colour:
            for line in preview:
                self.assertTrue(line.startswith(self.COLOUR_ON) and line.endswith(self.COLOUR_OFF))
            preview = [line[len(self.COLOUR_ON):-len(self.COLOUR_OFF)] for line in preview]
        self.assertNotIn("\x1b", "".join(preview))
        return preview_pixels(preview), summary

    def assert_preview_matches(self, pixels, bmp):
        image = read_bitmap(self.path(bmp))
        side = len(image)
        self.assertEqual(len(pixels), side + side % 2)
        # Rows as text, so a failure names the first row that differs.
        def text(rows):
            return ["".join(".#"[not light] for light in row) for row in rows]
        for y, (shown, written) in enumerate(zip(text(pixels), text(image))):
            self.assertEqual(shown, written, f"pixel row {y} of {bmp}")
        if side % 2:  # the odd last row is drawn over a dark lower half
            self.assertEqual(text(pixels[side:]), ["#" * side])
        # The quiet zone is part of the preview: four light rows on top.
        self.assertTrue(all(all(row) for row in pixels[:4]))

    def test_shown_by_default_on_a_terminal(self):
        for text, level in (("Hello from qrimage", "M"), ("T" * 300, "H")):
            with self.subTest(length=len(text)):
                status, output, stderr = run_on_terminal(["-l", level, "-o", "t.bmp", text],
                                                         self.dir.name)
                self.assertEqual((status, stderr), (0, b""))
                pixels, summary = self.split_output(output, colour=True)
                self.assert_preview_matches(pixels, "t.bmp")
                self.assertRegex(summary, rf"^{len(text)} bytes, level {level}, version \d+, ")
                self.assertEqual(decode(self.path("t.bmp")), text.encode())

    def test_no_show_on_a_terminal(self):
        status, output, _ = run_on_terminal(["-n", "text"], self.dir.name)
        self.assertEqual(status, 0)
        self.assertEqual(output, b"4 bytes, level M, version 1, 21x21 modules, qr.bmp\n")

    def test_show_on_request_when_piped(self):
        result = self.run_tool(["--show", "-o", "p.bmp", "piped"])
        self.assertEqual(result.returncode, 0)
        pixels, summary = self.split_output(result.stdout, colour=False)
        self.assert_preview_matches(pixels, "p.bmp")
        self.assertEqual(summary, "5 bytes, level M, version 1, 21x21 modules, p.bmp")

    def test_no_preview_when_piped(self):
        result = self.run_tool(["-o", "p.bmp", "piped"])
        self.assertEqual(result.stdout, b"5 bytes, level M, version 1, 21x21 modules, p.bmp\n")


if __name__ == "__main__":
    TOOL = os.path.abspath(sys.argv.pop(1))
    unittest.main()
