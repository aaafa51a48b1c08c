#!/usr/bin/env python3
"""End-to-end tests of the qrimage command-line tool, run as a user would.

usage: tool_test.py PATH_TO_QRIMAGE PATH_TO_REFERENCE_BITMAP [unittest arguments]

The library itself is the reference: the tool's files are compared with the
files QRImage writes (through reference_bitmap), and the longest text of each
level is read from the tool's --help, which takes it from the library's table.
"""
import fcntl
import functools
import itertools
import os
import pty
import random
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import time
import tty
import unittest

TOOL = None
REFERENCE = None  # the reference_bitmap program
LIMITS = None  # {"L": 2953, ...}: the longest text of each level, from --help
# The host example that enlarges the library's bitmaps (docs/hosts.md).
SCALE_EXAMPLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "scale_bitmap.py")
# ImageMagick's converter under its portable names.
IMAGEMAGICK = shutil.which("magick") or shutil.which("convert") or "convert"

SUMMARY = re.compile(rb"^(\d+) bytes, [a-z+]+(?:, [^,]+)?, level ([LMQH])(?: \(asked [LMQH]\))?, "
                     rb"version (\d+), masks? [0-7](?:, [0-7])*, (\d+)x(\d+) modules, "
                     rb"(?:(\d+)x\d+ px, ([\d.]+)x[\d.]+ mm(?: at \d+ dpi)?, )?(.*)$")
SUMMARY_NAME = 8
LIBRARY = ["--bytes", "-s", "1"]  # the tool's BMP is then QRImage's file
MAGIC = {"bmp": b"BM", "png": b"\x89PNG\r\n", "svg": b"<?xml", "pbm": b"P4\n", "pdf": b"%PDF-",
         "eps": b"%!PS-Adobe-3.0 EPSF-3.0\n"}
GHOSTSCRIPT = ["gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-dEPSCrop"]


def library_files(level, files):
    """Writes each (path, text) with the library's own QRImage; returns the versions."""
    args = [REFERENCE, level] + [arg for path, text in files for arg in (path.encode(), text)]
    return [int(v) for v in subprocess.run(args, stdout=subprocess.PIPE, check=True).stdout.split()]


def library_file(text, level, path):
    return library_files(level, [(path, text)])[0]


def read_limits():
    help_text = subprocess.run([TOOL, "--help"], stdout=subprocess.PIPE, check=True).stdout
    line = re.search(rb"Longest text: (.*) bytes", help_text).group(1).decode()
    return {level: int(size) for size, level in re.findall(r"(\d+) at ([LMQH])", line)}


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


def as_png(path, scale_up=True):
    """A PNG copy of a picture the readers can open: SVG (over white paper) and
    PDF and EPS drawn at 72 dpi, the resolution they are sized at, a bitmap of one
    pixel per module scaled up (nearest neighbour)."""
    png = path + ".png"
    if path.endswith(".svg"):
        subprocess.run(["rsvg-convert", "-b", "white", "--dpi-x", "72", "--dpi-y", "72", "-o", png, path],
                       check=True, stderr=subprocess.DEVNULL)
    elif path.endswith(".pdf"):
        subprocess.run(["pdftocairo", "-png", "-singlefile", "-antialias", "none", "-r", "72",
                        path, png[:-4]], check=True)
    elif path.endswith(".eps"):
        subprocess.run(GHOSTSCRIPT + ["-sDEVICE=png16m", "-r72", "-sOutputFile=" + png, path], check=True)
    else:
        args = ["-scale", "400%"] if scale_up else []
        subprocess.run([IMAGEMAGICK, path] + args + [png], check=True)
    return png


def decode(path, scale_up=True, binary=False):
    """Decodes the symbol in a picture with zbar; the raw bytes (with `binary`, as the symbol holds them)."""
    png = path if path.endswith(".png") else as_png(path, scale_up and not path.endswith((".pdf", ".eps")))
    result = subprocess.run(["zbarimg", "--raw", "-q"] + ["-Sbinary"] * binary + [png], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL)
    return result.stdout[:-1] if result.stdout.endswith(b"\n") and not binary else result.stdout


def decode_zxing(path):
    """Decodes the symbol in a picture with ZXing; the raw bytes. It reads no SVG and no 1-bit PBM."""
    png = as_png(path, scale_up=False) if path.endswith((".svg", ".pbm", ".pdf", ".eps")) else path
    return subprocess.run(["ZXingReader", "-bytes", png], stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL).stdout


def read_in_both(paths):
    """What the readers read in many PNG pictures, one call each: zbar's lines in the pictures' order
    (it names no file, and gives no line for a picture it cannot read) and ZXing's text per path."""
    run = lambda args: subprocess.run(args + paths, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
    zxing = run(["ZXingReader"]).decode(errors="replace")
    return (run(["zbarimg", "--raw", "-q"]).decode(errors="replace").split("\n"),
            dict(re.findall(r'^File: +(.*)\nText: +"(.*)"$', zxing, re.M)))


def picture_pixels(path):
    """The pixels of any picture the tool writes but text, as rows of booleans (True = light)."""
    png = as_png(path) if path.endswith((".svg", ".pdf", ".eps")) else path
    data = subprocess.run([IMAGEMAGICK, png, "pbm:-"], stdout=subprocess.PIPE,
                          check=True).stdout
    magic, width, height, pixels = re.match(rb"(P4)\s+(\d+)\s+(\d+)\s(.*)", data, re.S).groups()
    width, height = int(width), int(height)
    row_bytes = (width + 7) // 8
    return [[not (pixels[y * row_bytes + (x >> 3)] >> (7 - (x & 7))) & 1 for x in range(width)]
            for y in range(height)]


def picture_colours(path):
    """The colours of a picture as 'rrggbb' (with 'aa' when not opaque)."""
    png = as_png(path) if path.endswith((".svg", ".pdf", ".eps")) else path
    text = subprocess.run([IMAGEMAGICK, png, "-unique-colors", "-depth", "8", "txt:-"],
                          stdout=subprocess.PIPE, check=True).stdout.decode()
    return {c.lower().removesuffix("ff") if len(c) == 8 else c.lower()
            for c in re.findall(r"#([0-9A-Fa-f]{6,8})", text)}


def scaled(rows, scale):
    return [[light for light in row for _ in range(scale)] for row in rows for _ in range(scale)]


def read_terminal(master, process):
    """What a pseudo-terminal shows until the last program writing it ends."""
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
    return output


def run_on_terminal(args, cwd, columns=200):
    """Runs the tool with standard input and output on a pseudo-terminal.
    Returns (exit status, terminal output with newlines as \\n, standard error)."""
    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 50, columns, 0, 0))
    process = subprocess.Popen([TOOL] + args, cwd=cwd, stdin=slave, stdout=slave,
                               stderr=subprocess.PIPE)
    os.close(slave)
    output = read_terminal(master, process)
    stderr = process.stderr.read()
    process.stderr.close()
    return process.wait(), output.replace(b"\r\n", b"\n"), stderr


class ToolTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def path(self, name):
        return os.path.join(self.dir.name, name)

    options = []  # before the arguments of every run_tool

    def run_tool(self, args, stdin=b""):
        """Runs the tool with a pipe for standard input, so it is not a terminal."""
        return subprocess.run([TOOL] + self.options + args, cwd=self.dir.name, input=stdin,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)

    def assert_written(self, result, text, level="M", output="qr.bmp"):
        """Checks a successful run: the summary, the file's size and the decoded text."""
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, b"")
        summary = SUMMARY.match(result.stdout.splitlines()[-1])
        self.assertIsNotNone(summary, result.stdout)
        size, got_level, version, width, height, pixels, _, name = summary.groups()
        version = int(version)
        self.assertEqual((int(size), got_level.decode(), name.decode()), (len(text), level, output))
        self.assertEqual((int(width), int(height), int(pixels)), (4 * version + 17,) * 2 + (4 * version + 25,))
        # At one pixel per module the file is the library's own, byte for byte.
        self.assertEqual(library_file(text, level, self.path("library.bmp")), version)
        self.assert_same_file(output, "library.bmp")
        self.assertEqual(decode(self.path(output)), text)
        return version

    def assert_same_pixels(self, got, expected, name):
        """Compares rows of pixels; a failure shows the first row that differs, as text
        (unittest's diff of whole pictures takes minutes)."""
        def text(row):
            return "".join(".#"[not light] for light in row)
        self.assertEqual((len(got), {len(row) for row in got}), (len(expected), {len(row) for row in expected}),
                         f"rows and row lengths of {name}")
        for y, (row, want) in enumerate(zip(got, expected)):
            if row != want:
                self.fail(f"pixel row {y} of {name}:\n{text(row)}\nexpected\n{text(want)}")

    def assert_same_file(self, name, expected):
        with open(self.path(name), "rb") as got, open(self.path(expected), "rb") as want:
            self.assertTrue(got.read() == want.read(), f"{name} differs from {expected}")


class InputRoutes(ToolTest):
    options = LIBRARY
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
        # No text argument with piped input, the explicit "-", and "-i -".
        for args in ([], ["-"], ["-o", "qr.bmp", "-"], ["-i", "-"], ["-i-"]):
            with self.subTest(args=args):
                self.assert_written(self.run_tool(args, stdin=b"from a pipe"), b"from a pipe")

    def test_empty_text_when_asked_for(self):
        with open(self.path("empty.txt"), "wb"):
            pass
        for args in ([""], ["-"], ["-i", "empty.txt"]):
            with self.subTest(args=args):
                self.assertEqual(self.assert_written(self.run_tool(args), b""), 1)

    def test_level_reaches_the_library(self):
        # The library's file and version for the same level are the reference.
        text = b"x" * 17
        forms = {"L": ["-l", "L"], "M": ["--level", "m"], "Q": ["--level=Q"], "H": ["-lh"]}
        versions = [self.assert_written(self.run_tool(forms[level] + ["-o", level + ".bmp", "x" * 17]),
                                        text, level, level + ".bmp") for level in LIMITS]
        self.assertLess(versions[0], versions[3])

    def test_longest_text_of_each_level(self):
        for level in LIMITS:
            with self.subTest(level=level):
                text = bytes(0x41 + i % 26 for i in range(LIMITS[level]))
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
        L, M, Q, H = LIMITS.values()  # in the order --help lists them
        cases = [("L", L + 1, f"level L holds at most {L} bytes of it; --split would write it as 2 symbols\n"),
                 ("M", M + 1, f"level M holds at most {M} bytes of it (level L holds it); --split would"),
                 ("H", H + 1, f"level H holds at most {H} bytes of it (level Q holds it)"),
                 ("Q", 5000, f"the text is 5000 bytes; level Q holds at most {Q} bytes of it; --split"),
                 ("L", b"7" * 7090, "7090 bytes; level L holds at most 7089 bytes of it; --split would write it as 2"),
                 ("M", "é".encode() * 1200, "2400 bytes in UTF-8; behind its ECI header, level M holds at most 2330 "
                  "bytes of it (level L holds it); --split would write it as 2 symbols\n"),
                 ("M --latin1", "é".encode() * 2400, "the text is 2400 bytes in ISO-8859-1; level M holds at most 2331"),
                 ("Q --micro", b"7" * 22, "the text is 22 bytes; Micro QR M4 at level Q holds at most 21 digits, "
                  "13 alphanumeric characters, 9 bytes or 5 Kanji characters (level M holds it)")]
        for level, length, message in cases:
            with self.subTest(level=level, message=message):
                result = self.run_tool(["-l"] + level.split() + ["-"], stdin=length if bytes == type(length) else b"a" * length)
                self.assert_fails(result, 1, message)
        self.assertFalse(os.path.exists(self.path("qr.bmp")))

    def test_huge_input_is_not_read_to_the_end(self):
        result = subprocess.run([TOOL, "-i", "/dev/zero"], cwd=self.dir.name, timeout=60,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.assert_fails(result, 5, "NUL byte (at byte 1)")
        with open(self.path("big.txt"), "wb") as f:
            f.write(b"b" * (3 << 20))
        self.assert_fails(self.run_tool(["-i", "big.txt"]), 1, "the text is more than 1048576 bytes")

    def test_nul_byte_is_refused(self):
        with open(self.path("nul.txt"), "wb") as f:
            f.write(b"abc\0def")
        for args, stdin in ((["-i", "nul.txt"], b""), ([], b"ab\0"), (["-"], b"\0")):
            with self.subTest(args=args):
                result = self.run_tool(args, stdin=stdin)
                self.assert_fails(result, 5, f"NUL byte (at byte {stdin.find(0) + 1 if stdin else 4})")
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
                 (["-i", "in.txt", "-i", "in.txt"], "option '-i' given more than once"),
                 (["-i", "-", "-"], "give the text one way only"),
                 ([], "no text given, and standard input is empty"),
                 (["-s", "0", "x"], "option '-s' takes a whole number from 1 to 64, not '0'"),
                 (["--scale=65", "x"], "from 1 to 64"),
                 (["-d", "7x", "x"], "option '-d' takes a whole number"),
                 (["-t", "gif", "x"], "unknown picture type 'gif': use one of bmp, png, svg, pdf, eps, pbm, txt"),
                 (["--levle", "H", "x"], "unknown option '--levle'; did you mean '--level'?"),
                 (["--rmqr", "x"], "unknown option '--rmqr'\n"), (["--sise", "3cm", "x"], "did you mean '--size'?"),
                 (["one\u2066", "two\u200f"], "more than one text given: 'one\\u2066' and 'two\\u200f'"),
                 (["--s", "x"], "option '--s' is ambiguous: it may be --start, --scale, --size, --strict, --split, --show"),
                 (["--strict", "x"], "--strict needs the version to keep: give it with -v N"),
                 (["--size", "3cm", "-s", "2", "x"], "--size and -s exclude each other"),
                 (["--size", "3", "x"], "option '--size' takes a length with its unit (mm, cm, in, pt or px)"),
                 (["--size", "1e-300mm", "-o", "z.svg", "x"], "digits with a decimal point if need be, like 30mm"),
                 (["--size", "0x10mm", "x"], "not '0x10mm'"), (["--size", "1mm", "-o", "z.svg", "x"], "--size is too small"),
                 (["--size", "3cm", "-t", "txt", "x"], "--size needs a picture with a size: not txt"),
                 (["--bytes", "--latin1", "x"], "--bytes writes the text as one byte segment: not with --latin1"),
                 (["--split", "-o", "one.bmp", "x"], "with --split, the output name needs exactly one number in it, like qr-%02d.bmp"),
                 (["--batch", "in.txt", "--split"], "--split cannot be used with --batch"),
                 (["-m", "65", "x"], "option '-m' takes a whole number from 0 to 64"),
                 (["--min-version=41", "x"], "option '--min-version' takes a whole number from 1 to 40"),
                 (["--eci", "--latin1", "x"], "--eci and --latin1 exclude each other"),
                 (["--micro", "-l", "H", "x"], "a Micro QR symbol (--micro, -v M1 to M4) has no level H"),
                 (["-v", "M3", "--eci", "x"], "carries no ECI: not with --eci"), (["-v", "M5", "x"], "M4 for Micro QR), not 'M5'"),
                 (["--micro", "--mask", "4", "x"], "a Micro QR symbol has masks 0 to 3: not --mask 4"),
                 (["--micro", "--split", "x"], "has no structured append"), (["--micro", "-v", "3", "x"], "not a QR Code version"),
                 (["--fg", "12345", "x"], "option '--fg' takes a colour as RRGGBB in hex"),
                 (["--fg", "aaaaaa", "x"], "contrast ratio is 2.32:1, at least 3:1 is needed"),
                 (["--fg", "1b1b1b", "--bg", "666666", "x"], "contrast ratio is 2.99:1"),
                 (["-s", "64", "-m", "64", "-v", "40", "-t", "pdf", "x"], "a PDF page is 3 to 14400 pt a side"),
                 (["-d", "100000", "-o", "p.pdf", "x"], "this one would be 0.08352 pt"),
                 (["--fg", "#ffffff", "--bg", "000000", "x"], "is not darker than the background"),
                 (["--bg", "transparent", "-o", "t.bmp", "x"], "a transparent background needs a png or svg"),
                 (["--fg", "1a237e", "-t", "pbm", "x"], "a pbm picture is black and white only"),
                 (["--fg", "cmyk:0,0,0,100", "-o", "k.png", "x"], "inks (cmyk:) need a pdf or eps picture, not png"),
                 (["--bg", "cmyk:0,0,0,100.5", "-t", "eps", "x"], "takes inks as cmyk:C,M,Y,K in percent from 0 to 100"),
                 (["--fg", "cmyk:0,0,0,30", "-t", "pdf", "x"], "cmyk:0,0,0,30 on ffffff are too close to scan: their contrast ratio is 2.09:1"),
                 (["-o", "qr.jpg", "x"], "cannot tell the picture type of 'qr.jpg' from its extension"),
                 (["--null", "x"], "--null only goes with --batch"),
                 (["--start", "3", "x"], "--start only goes with --batch"),
                 (["--batch", "in.txt", "x"], "--batch reads the texts from its file"),
                 (["--batch", "in.txt", "--show"], "--show cannot be used with --batch"),
                 (["--batch", "in.txt", "-o", "same.bmp"], "needs exactly one number in it"),
                 (["--batch", "in.txt", "-o", "%d-%d.bmp"], "it has several"),
                 (["--batch", "in.txt", "-o", "%s.bmp"], "'%s.bmp' has a '%' that is not a number"),
                 (["--batch", "in.txt", "-o", "%#d.bmp"], "'%#d.bmp' has a '%' that is not a number"),
                 (["--batch", "in.txt", "-o", "d/%.999d.bmp"], "file names of more than 255 bytes"),
                 (["--batch", "in.txt", "-o", "x" * 250 + "%+d.bmp"], "file names of at least 256 bytes")]
        for args, message in cases:
            with self.subTest(args=args):
                result = self.run_tool(args)
                self.assert_fails(result, 2, message)
                self.assertIn(b"Try 'qrimage --help'", result.stderr)
                self.assertNotIn(b"put '--' before it", result.stderr)  # none of them is a text
        self.assertEqual(os.listdir(self.dir.name), ["in.txt"])

    def test_text_taken_for_an_option_gets_a_hint(self):
        for text in ("-starts-with-dash", "--> dashes", "-n5", "-5"):
            with self.subTest(text=text):
                result = self.run_tool([text])
                self.assert_fails(result, 2, f"put '--' before it: qrimage [OPTIONS] -- '{text}'")

    def test_no_text_on_a_terminal(self):
        status, output, stderr = run_on_terminal([], self.dir.name)
        self.assertEqual(status, 2)
        self.assertIn(b"no text given", stderr)
        self.assertEqual(output, b"")

    def test_cannot_write_gives_the_reason(self):
        os.mkdir(self.path("folder"))
        cases = [("missing/qr.bmp", "cannot write 'missing/qr.bmp': No such file or directory"),
                 ("missing/a\nb\x1b.bmp", "cannot write 'missing/a\\nb\\x1b.bmp': No such file"),
                 ("missing/\u202egnp.bmp", "cannot write 'missing/\\u202egnp.bmp'"),
                 ("folder", "cannot write 'folder': Is a directory"),
                 ("/dev/full", "cannot write '/dev/full': No space left on device"),
                 ("", "cannot write '': the path is empty"),
                 ("a" * 300, "the path is 300 bytes long; at most 259 are taken")]
        for output, message in cases:
            with self.subTest(output=output[:20]):
                self.assert_fails(self.run_tool(["-t", "bmp", "-o", output, "text"]), 3, message)

    def test_first_failure_is_named(self):
        # The write fails (a file-size limit, SIGXFSZ at its default) and the
        # emptied file cannot be removed (an immutable folder): the write's
        # reason is the one given.
        os.mkdir(self.path("locked"))
        open(self.path("locked/x.bmp"), "wb").close()
        if subprocess.run(["chattr", "+i", self.path("locked")], stderr=subprocess.DEVNULL).returncode:
            self.skipTest("chattr +i needs root and a file system that has it")
        self.addCleanup(subprocess.run, ["chattr", "-i", self.path("locked")])
        # A small file fails as it is closed, a large one while it is written.
        for scale in ("8", "16"):
            with self.subTest(scale=scale):
                result = subprocess.run(["bash", "-c", 'ulimit -f 1; exec "$@"', "limit", TOOL,
                                         "-n", "-s", scale, "-o", "locked/x.bmp", "text"],
                                        cwd=self.dir.name, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, timeout=60)
                self.assert_fails(result, 3, "cannot write 'locked/x.bmp': File too large\n")
                self.assertEqual(os.path.getsize(self.path("locked/x.bmp")), 0)

    def test_failed_rewrite_keeps_the_old_file(self):
        # Through a symbolic link, the target is replaced and the link kept,
        # with the target's permission bits; a failed rewrite changes nothing.
        self.run_tool(["-n", "-o", "x.bmp", "old"])
        os.chmod(self.path("x.bmp"), 0o640)
        os.symlink("x.bmp", self.path("link.bmp"))
        with open(self.path("x.bmp"), "rb") as f:
            old = f.read()
        failed = subprocess.run(["bash", "-c", 'ulimit -f 1; exec "$@"', "limit", TOOL, "-n", "-s",
                                 "16", "-o", "link.bmp", "new"], cwd=self.dir.name, stderr=subprocess.PIPE)
        self.assertIn(b"cannot write 'link.bmp': File too large", failed.stderr)
        with open(self.path("x.bmp"), "rb") as f:
            self.assertTrue(f.read() == old)
        self.assert_written(self.run_tool(LIBRARY + ["-n", "-o", "link.bmp", "new"]), b"new", output="link.bmp")
        self.assertEqual((sorted(os.listdir(self.dir.name)), os.readlink(self.path("link.bmp")),
                          os.stat(self.path("x.bmp")).st_mode & 0o777),
                         (["library.bmp", "link.bmp", "link.bmp.png", "x.bmp"], "x.bmp", 0o640))

    def test_rewrites_keep_the_old_file_or_write_it_whole(self):
        # (needs, shell command, exit status, message, {file: its bytes, str: the text of its
        # picture, None: not read}). "mount": root in a private mount namespace; "user": no root
        # rights; "owner": root, running the tool as $AS_USER. Exit status 77: the facility is missing.
        long_name = "x" * 244 + ".bmp"
        seq, big = '"$(seq 1 300)"', "\"$(head -c 4000 /dev/zero | tr '\\0' a)\""
        cases = [(None, f"echo OLD > {long_name}; ulimit -f 8; qrimage -nq -s 8 -v 10 -o {long_name} x", 3,
                  "File too large", {long_name: b"OLD\n"}),
                 ("mount", "mkdir m; mount -t tmpfs -o size=64k,nr_inodes=3 none m; echo OLD > m/o.bmp; : > m/f; "
                  "qrimage -nq -o m/o.bmp x; s=$?; ls -A m > left; cat m/o.bmp >> left; exit $s", 3,
                  "No space left on device", {"m": None, "left": b"f\no.bmp\nOLD\n"}),
                 ("user", "echo OLD > ro.bmp; chmod 444 ro.bmp; qrimage -nq -o ro.bmp x", 3,
                  "cannot write 'ro.bmp': Permission denied", {"ro.bmp": b"OLD\n"}),
                 ("mount", "echo OLD > a.bmp; : > b.bmp; mount --bind a.bmp b.bmp; qrimage -nq --bytes -s1 -o b.bmp x", 0, "",
                  {"a.bmp": "x", "b.bmp": b""}),
                 # Written in place, a file keeps its old bytes and length when the write fails.
                 (None, f"printf precious > k.png; ln k.png k2.png; head -c 5000 /dev/zero | tr '\\0' o > b.png; ln b.png b2.png;"
                  f" ulimit -f 1; qrimage -nq -o k.png {seq} || qrimage -nq -o b.png {seq}", 3, "File too large",
                  {"k.png": b"precious", "k2.png": b"precious", "b.png": b"o" * 5000, "b2.png": b"o" * 5000}),
                 ("root", f"printf precious > n.png; chown 65534 n.png; ulimit -f 1; qrimage -nq -o n.png {seq}", 3,
                  "File too large", {"n.png": b"precious"}),
                 ("mount", "mkdir m; mount -t tmpfs -o size=64k none m; printf precious > m/n.bmp; chown 65534 m/n.bmp; "
                  f"cat /dev/zero > m/f 2>&-; qrimage -nq -o m/n.bmp {seq}; s=$?; cat m/n.bmp > left; exit $s", 3,
                  "No space left on device", {"m": None, "left": b"precious"}),
                 ("owner", f"printf precious > g.png; chown 65534:0 . g.png; ulimit -f 1; $AS_USER qrimage -nq -o g.png {seq}",
                  3, "File too large", {"g.png": b"precious"}),
                 # A sequence is written whole or not at all: no new part, no old part lost.
                 ("owner", f"echo 2 > p2.bmp; echo 3 > p3.bmp; echo 4 > p4.bmp; chown 65534 . p2.bmp p4.bmp; "
                  f"$AS_USER qrimage -nq --split -l H -o p%d.bmp {big}", 3, "cannot write 'p3.bmp': Permission denied",
                  {"p2.bmp": b"2\n", "p3.bmp": b"3\n", "p4.bmp": b"4\n"}),
                 ("root", f"echo 1 > p1.bmp; echo 3 > p3.bmp; chattr +a p3.bmp || exit 77; qrimage -nq --split -l H -o p%d.bmp "
                  f"{big}; s=$?; chattr -a p3.bmp; exit $s", 3, "'p3.bmp': Operation not permitted", {"p1.bmp": b"1\n", "p3.bmp": b"3\n"}),
                 (None, "echo OLD > in.txt; qrimage -nq -t bmp -i in.txt -o in.txt", 3,
                  "cannot write 'in.txt': it is the file the text is read from", {"in.txt": b"OLD\n"}),
                 (None, "mkfifo f; qrimage -nq -t bmp -o f x", 3, "cannot write 'f': nothing reads the FIFO", {"f": None}),
                 ("root", "echo OLD > s.bmp; chgrp 65534 s.bmp; chmod 6750 s.bmp; qrimage -nq --bytes -s1 -o s.bmp x && "
                  "stat -c %a:%g s.bmp > mode", 0, "", {"s.bmp": "x", "mode": b"6750:65534\n"})]
        root = os.geteuid() == 0
        as_user = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] if root else []
        env = dict(os.environ, PATH=os.path.dirname(TOOL) + os.pathsep + os.environ["PATH"], AS_USER=" ".join(as_user))
        wrap = {None: [], "root": [], "mount": ["unshare", "-m"], "user": as_user, "owner": []}
        for needs, command, status, message, files in cases:
            with self.subTest(command=command[-50:]), tempfile.TemporaryDirectory() as folder:
                if needs in ("root", "mount", "owner") and not root:
                    self.skipTest(f"'{needs}' rows need root")
                probe = as_user if needs == "owner" else wrap[needs]
                if subprocess.run(probe + [TOOL, "-V"], stdout=subprocess.DEVNULL).returncode:
                    self.skipTest(f"cannot run the tool under {probe}")
                os.chown(folder, 65534 if needs == "user" and root else -1, -1)
                result = subprocess.run(wrap[needs] + ["bash", "-c", command], cwd=folder, env=env,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
                if result.returncode == 77:
                    self.skipTest(f"the file system here has no such file: {result.stderr}")
                self.assertEqual(result.returncode, status, result.stderr)
                self.assertIn(message.encode(), result.stderr)
                self.assertEqual(sorted(os.listdir(folder)), sorted(files))
                for name, content in files.items():
                    if isinstance(content, str):
                        library_file(content.encode(), "M", self.path("library.bmp"))
                        self.assert_same_file(os.path.join(folder, name), self.path("library.bmp"))
                    elif content is not None:
                        with open(os.path.join(folder, name), "rb") as f:
                            self.assertEqual(f.read(), content, name)

    def test_ending_signals_remove_the_new_file(self):
        # The tool is stopped while its new file exists, then sent the signal and continued.
        def state(process):
            with open(f"/proc/{process.pid}/stat") as f:
                return f.read().rsplit(")", 1)[1].split()[0]
        for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            with self.subTest(signal=number):
                for attempt in range(20):
                    with open(self.path("big.bmp"), "wb") as f:
                        f.write(b"OLD")
                    process = subprocess.Popen([TOOL, "-nq", "-l", "L", "-s", "64", "-o", "big.bmp",
                                                "x" * LIMITS["L"]], cwd=self.dir.name)
                    while process.poll() is None and len(os.listdir(self.dir.name)) == 1:
                        pass
                    process.send_signal(signal.SIGSTOP)
                    while process.poll() is None and state(process) != "T":
                        pass
                    caught = len(os.listdir(self.dir.name)) == 2
                    process.send_signal(number)
                    process.send_signal(signal.SIGCONT)
                    if caught:
                        break
                    process.wait(timeout=60)
                self.assertTrue(caught, "the new file was never seen")
                self.assertEqual(process.wait(timeout=60), -number)
                self.assertEqual(os.listdir(self.dir.name), ["big.bmp"])
                with open(self.path("big.bmp"), "rb") as f:
                    self.assertEqual(f.read(), b"OLD")

    def test_no_death_by_signal(self):
        # '-o -' into a pipe whose reader leaves and under a file-size limit,
        # and memory too short for a version 40 PNG at scale 64 (never the
        # loader's shortage, 127): a message and status 3, or success.
        text = "x" * LIMITS["L"]
        cases = [('"$@" -s 40 -o - text | head -c 100 > /dev/null', "Broken pipe"),
                 ('ulimit -f 1; "$@" -q -s 40 -o - text > out.bmp', "File too large")]
        cases += [(f'prlimit --as={mb << 19} "$@" -l L -s 64 -o big.png {text}', "") for mb in range(8, 40)]
        # Just above the least address space the tool starts in, even reading the options runs out.
        low, high = 1 << 20, 64 << 20
        while high - low > 1024:
            middle = (low + high) // 2
            started = subprocess.run(["prlimit", f"--as={middle}", TOOL, "-V"], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL).returncode != 127
            low, high = (low, middle) if started else (middle, high)
        cases += [(f'prlimit --as={high + kb * 2048} "$@" -q -n -s 2 -o a.bmp x', "") for kb in range(64)]
        results = [subprocess.run(["bash", "-c", script + '; exit "${PIPESTATUS[0]}"', "run", TOOL],
                                  cwd=self.dir.name, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
                   for script, _ in cases]
        if 0 not in {result.returncode for result in results}:
            self.skipTest("the tool does not start in 20 MB (a sanitizer build?)")
        for (script, message), result in zip(cases, results):
            self.assertIn(result.returncode, (0, 3, 127) if message == "" else (3,), script[:40])
            self.assertIn(message.encode() if result.returncode == 3 else b"", result.stderr)
        self.assertIn(3, {result.returncode for result in results[2:]})

    def test_standard_output_that_cannot_be_written(self):
        # Help, the summary and the preview into a full device, and the picture itself.
        with open(self.path("list.txt"), "wb") as f:
            f.write(b"one\ntwo\n")
        for args in (["--help"], ["-V"], ["-o", "x.bmp", "text"], ["--show", "-q", "-o", "x.bmp", "text"],
                     ["-o", "-", "text"], ["--batch", "list.txt"]):
            with self.subTest(args=args):
                with open("/dev/full", "wb") as full:
                    result = subprocess.run([TOOL] + args, cwd=self.dir.name, stdout=full,
                                            stderr=subprocess.PIPE, timeout=60)
                self.assertEqual(result.returncode, 3, result.stderr)
                self.assertIn(b"cannot write standard output: No space left on device",
                              result.stderr)

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
        for status in range(10):
            self.assertRegex(result.stdout, rb"\n  %d  \S" % status)
        for option in (b"-l, --level", b"-o, --output", b"-i, --input", b"-t, --type", b"-s, --scale",
                       b"-d, --dpi", b"--latin1", b"--batch", b"--null", b"--start", b"--show",
                       b"-n, --no-show", b"-q, --quiet", b"-h, --help", b"-V, --version"):
            self.assertIn(option, result.stdout)
        self.assertEqual(sorted(LIMITS), sorted("LMQH"))
        result = self.run_tool(["-V"])
        self.assertEqual(result.returncode, 0)
        self.assertRegex(result.stdout, rb"^qrimage \d+\.\d+\.\d+\n$")


class ReadmeExamples(ToolTest):
    def test_command_line_examples_run(self):
        top = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
        with open(os.path.join(top, "README.md"), encoding="utf-8") as f, \
                open(os.path.join(top, "docs", "tool.md"), encoding="utf-8") as g:
            sections = (f.read().split("\n## Command-line tool\n")[1].split("\n## ")[0], g.read())
        blocks = [re.findall(r"```sh\n(.*?)```", section, re.S) for section in sections]
        self.assertTrue(all(blocks), "no shell examples in the README's tool section or docs/tool.md")
        env = dict(os.environ, PATH=os.path.dirname(TOOL) + os.pathsep + os.environ["PATH"])
        for block in sum(blocks, []):
            result = subprocess.run(["bash", "-e", "-o", "pipefail", "-c", block], env=env,
                                    cwd=self.dir.name, stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE, timeout=60)
            self.assertEqual(result.returncode, 0, result.stderr)
            # Every example writes the file its summary names, and it decodes.
            for line in result.stdout.splitlines():
                summary = SUMMARY.match(line)
                if summary:
                    path = self.path(summary.group(SUMMARY_NAME).decode())
                    self.assertEqual(len(decode_zxing(path)), int(summary.group(1)), line)


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
        self.assert_same_pixels(pixels[:side], image, bmp)
        if side % 2:  # the odd last row is drawn over a dark lower half
            self.assert_same_pixels(pixels[side:], [[False] * side], bmp)
        # The quiet zone is part of the preview: four light rows on top.
        self.assertTrue(all(all(row) for row in pixels[:4]))

    def test_shown_by_default_on_a_terminal(self):
        for text, level in (("Hello from qrimage", "M"), ("T" * 300, "H")):
            with self.subTest(length=len(text)):
                status, output, stderr = run_on_terminal(["-s1", "--no-boost", "-l", level, "-o", "t.bmp", text],
                                                         self.dir.name)
                self.assertEqual((status, stderr), (0, b""))
                pixels, summary = self.split_output(output, colour=True)
                self.assert_preview_matches(pixels, "t.bmp")
                self.assertRegex(summary, rf"^{len(text)} bytes, (alphanumeric|byte), level {level}, version \d+, ")
                self.assertEqual(decode(self.path("t.bmp")), text.encode())

    def test_no_show_on_a_terminal(self):
        for args, output in ((["-n", "text"], b"4 bytes, byte, level H (asked M), version 1, mask 3, 21x21 modules, "
                              b"116x116 px, 40.9x40.9 mm, qr.bmp\n"), (["-nq", "text"], b"")):
            status, got, _ = run_on_terminal(args, self.dir.name)
            self.assertEqual((status, got), (0, output))

    def test_show_on_request_when_piped(self):
        result = self.run_tool(["--show", "-s1", "-o", "p.bmp", "piped"])
        self.assertEqual(result.returncode, 0)
        pixels, summary = self.split_output(result.stdout, colour=False)
        self.assert_preview_matches(pixels, "p.bmp")
        self.assertEqual(summary, "5 bytes, byte, level H (asked M), version 1, mask 5, 21x21 modules, 29x29 px, 10.2x10.2 mm, p.bmp")

    def test_no_preview_when_piped(self):
        result = self.run_tool(["-o", "p.bmp", "piped"])
        self.assertEqual(result.stdout, b"5 bytes, byte, level H (asked M), version 1, mask 5, 21x21 modules, "
                                        b"116x116 px, 40.9x40.9 mm, p.bmp\n")

    def test_narrow_terminal_gets_no_picture(self):
        # Version 2 needs 33 columns with its quiet zone.
        for columns, shown in ((32, False), (33, True)):
            with self.subTest(columns=columns):
                status, output, stderr = run_on_terminal(["-o", "n.bmp", "Hello from qrimage"],
                                                         self.dir.name, columns)
                self.assertEqual(status, 0)
                self.assertEqual(b"\xe2\x96" in output, shown)
                self.assertEqual(b"the terminal is 32 columns wide" in stderr, not shown, stderr)
                self.assertRegex(output, rb"\n?18 bytes, byte, level Q \(asked M\), version 2, .* n.bmp\n$")

    def test_fifo_output_ends(self):
        # The preview is drawn from the symbol, never read back from the output.
        os.mkfifo(self.path("fifo"))
        library_file(b"through a fifo", "M", self.path("library.bmp"))
        with open(self.path("library.bmp"), "rb") as f:
            expected = f.read()
        for on_terminal in (False, True):
            with self.subTest(on_terminal=on_terminal):
                # A reader is there before the tool opens the FIFO; the
                # bitmap fits in the pipe's buffer.
                reader = os.open(self.path("fifo"), os.O_RDONLY | os.O_NONBLOCK)
                args = LIBRARY + ["--show", "-o", "fifo", "through a fifo"]
                if on_terminal:
                    status, output, _ = run_on_terminal(args, self.dir.name)
                else:
                    result = self.run_tool(args)
                    status, output = result.returncode, result.stdout
                got = os.read(reader, 1 << 16)
                os.close(reader)
                self.assertEqual(status, 0)
                self.assertIn(b"\xe2\x96", output)
                self.assertTrue(got == expected, "the FIFO did not carry the library's bitmap")

class StandardOutput(ToolTest):
    def test_picture_on_standard_output_and_nothing_else(self):
        library_file(b"to stdout", "M", self.path("library.bmp"))
        # '-o -', and a path that is standard output: the summary goes to
        # standard error (or nowhere with -q), never into the picture.
        for args, summary in ((["-o", "-"], b"standard output"), (["-o", "/dev/stdout"], b"/dev/stdout"),
                              (["--show", "-o", "-"], b"standard output"), (["-qo-"], None)):
            with self.subTest(args=args):
                with open(self.path("got.bmp"), "wb") as got:
                    result = subprocess.run([TOOL] + LIBRARY + args + ["to stdout"], cwd=self.dir.name,
                                            stdout=got, stderr=subprocess.PIPE, timeout=60)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assert_same_file("got.bmp", "library.bmp")
                if summary is None:
                    self.assertEqual(result.stderr, b"")
                else:
                    self.assertRegex(result.stderr, rb"^9 bytes, byte, level M, version 1, .*, %s\n$" % summary)


class Formats(ToolTest):
    def library_modules(self, text, level="M"):
        """The library's picture as rows of booleans, quiet zone included."""
        library_file(text, level, self.path("library.bmp"))
        return read_bitmap(self.path("library.bmp"))

    def test_each_type_decodes_and_has_the_library_modules(self):
        text = b"https://example.org/formats"
        # (options, output name, scale, the type the file must have, margin, colours)
        cases = [(["-s", "3"], "s3.bmp", 3, "bmp"), (["-s", "2"], "s2.PNG", 2, "png"),
                 (["-s", "4"], "s4.svg", 4, "svg"), (["-s", "2"], "s2.pbm", 2, "pbm"),
                 (["-t", "pbm", "-s", "5"], "pbm.dat", 5, "pbm"),
                 (["-t", "png", "--scale=3"], "typed.bmp", 3, "png"), (["-s", "2"], "s2.pdf", 2, "pdf"),
                 (["-s", "3", "-m", "1", "--fg", "1a237e", "--bg", "#fff8e1"], "c.bmp", 3, "bmp", 1,
                  {"1a237e", "fff8e1"}),
                 (["-s", "3", "-m2", "--fg=8b0000", "--bg", "transparent"], "t.png", 3, "png", 2,
                  {"8b0000", "ffffff00"}),
                 (["-s", "4", "--margin", "3", "--fg", "004d40"], "c.svg", 4, "svg", 3, {"004d40", "ffffff"}),
                 (["-s", "2", "--fg", "4a148c", "--bg", "e0f7fa"], "c.pdf", 2, "pdf", 4, {"4a148c", "e0f7fa"}),
                 (["-t", "eps", "-s", "3", "-m", "2", "--fg", "1a237e"], "e.dat", 3, "eps", 2, {"1a237e", "ffffff"})]
        library = self.library_modules(text)
        for args, name, scale, kind, margin, colours in (case + (4, {"000000", "ffffff"})[len(case) - 4:]
                                                         for case in cases):
            with self.subTest(name=name):
                modules = [row[4 - margin:len(row) - 4 + margin] for row in library[4 - margin:len(library) - 4 + margin]]
                result = self.run_tool(args + ["--bytes", "-n", "-o", name, text.decode()])
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(int(SUMMARY.match(result.stdout).group(6)), scale * len(modules))
                with open(self.path(name), "rb") as f:
                    self.assertTrue(f.read().startswith(MAGIC[kind]), name)
                # The readers go by the extension: give each file its type's.
                path = self.path(name)
                os.rename(path, path + "." + kind)
                path += "." + kind
                self.assert_same_pixels(picture_pixels(path), scaled(modules, scale), name)
                if kind != "pbm":
                    self.assertEqual(picture_colours(path), colours)
                self.assertEqual(decode(path), text)
                self.assertEqual(decode_zxing(path), text)

    def test_library_files_enlarged_as_hosts_show_them(self):
        # zbar finds hardly any symbol at the library's one pixel per module; enlarged by the
        # Python example, every pixel a square of the same colour, each reads.
        cases = [("L", b"x"), ("M", b"https://example.org/scaled"), ("Q", b"Q" * 200), ("H", b"h" * 600)]
        for i, (level, text) in enumerate(cases):
            with self.subTest(level=level):
                path, big = self.path(f"lib{i}.bmp"), self.path(f"lib{i}-x{i + 2}.bmp")
                library_file(text, level, path)
                subprocess.run([sys.executable, SCALE_EXAMPLE, path, big, str(i + 2)], check=True)
                self.assert_same_pixels(read_bitmap(big), scaled(read_bitmap(path), i + 2), big)
                self.assertEqual(decode(big, scale_up=False), text)

    def test_text_picture(self):
        text = b"half blocks"
        modules = self.library_modules(text, "Q")
        for args in (["-o", "t.txt"], ["-t", "TXT", "-o", "-"]):
            with self.subTest(args=args):
                result = self.run_tool(args + ["--bytes", "-n", "-lQ", text.decode()])
                self.assertEqual(result.returncode, 0, result.stderr)
                if args[-1] == "-":
                    picture = result.stdout.decode()
                else:
                    with open(self.path("t.txt"), encoding="utf-8") as f:
                        picture = f.read()
                pixels = preview_pixels(picture.splitlines())
                self.assert_same_pixels(pixels[:len(modules)], modules, "t.txt")

    def test_scale_8_decodes_as_written(self):
        text = b"eight pixels per module"
        result = self.run_tool(["-n", "-s", "8", "-o", "big.bmp", text.decode()])
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(decode(self.path("big.bmp"), scale_up=False), text)
        self.assertEqual(decode_zxing(self.path("big.bmp")), text)

    def test_printed_size_follows_dpi(self):
        # An SVG without -d is in CSS pixels, 96 an inch; a PBM's millimetres say their dpi. The
        # same pixels differ by the rounding of 72 dpi to 2834 pixels per metre in PNG.
        for args, pixels, millimetres in ((["-s", "10"], 290, "102.3 mm, d.png"),
                                          (["-s", "8", "-o", "d.pbm"], 232, "81.8 mm at 72 dpi, d.pbm"),
                                          (["-s", "10", "-d", "300"], 290, "24.6 mm, d.png"),
                                          (["-d", "600", "-s", "24"], 696, "29.5 mm, d.png"),
                                          (["-s", "10", "-o", "d.svg"], 290, "76.7 mm, d.svg"),
                                          (["-s", "10", "-d", "72", "-o", "p.svg"], 290, "102.3 mm, p.svg"),
                                          (["-d", "300", "-o", "d.pbm"], 116, "9.8 mm at 300 dpi, d.pbm"),
                                          (["-d", "100000", "-s", "64", "-v", "40", "-o", "e.pdf"], 11840,
                                           "3.0 mm, e.pdf"),
                                          (["-m", "0", "-o", "d.pdf"], 84, "29.6 mm, d.pdf")):
            with self.subTest(args=args):
                result = self.run_tool(["-o", "d.png"] + args + ["size"])
                summary = SUMMARY.match(result.stdout)
                self.assertEqual(int(summary.group(6)), pixels)
                self.assertTrue(result.stdout.endswith(f"x{millimetres}\n".encode()), result.stdout)
        for name, width in (("d.svg", 'width="290"'), ("p.svg", 'width="290pt"')):
            with open(self.path(name)) as f:
                self.assertIn(width, f.read())
        with open(self.path("e.pdf"), "rb") as f:  # a module is 72 / 100000 * 64 pt, not rounded
            self.assertEqual(re.search(rb"\n(\S+ 0 0 \S+ 0 \S+) cm\n", f.read())[1], b"0.04608 0 0 -0.04608 0 8.5248")
        self.assertIn(b"with --margin 0 the symbol has no quiet zone", result.stderr)

    def test_inks_on_the_page(self):
        # Ghostscript's coverage of each ink: the page of a colour in inks is all inks, the
        # other colour converted (black to the black ink alone, white to none).
        for args, inks in ((["--fg", "cmyk:0,0,0,100", "-o", "k.eps"], "K"),
                           (["--fg", "cmyk:100,60,0,20", "-o", "b.pdf"], "CMK"),
                           (["--bg", "cmyk:0,0,10,0", "-o", "y.eps"], "YK"),
                           (["--fg", "cmyk:100,60,0,20", "--bg", "cmyk:0,0,12.5,0", "-o", "c.pdf"], "CMYK")):
            with self.subTest(args=args):
                self.assertEqual(self.run_tool(["-nq"] + args + ["inks"]).returncode, 0)
                coverage = subprocess.run(GHOSTSCRIPT + ["-sDEVICE=inkcov", "-o", "-", self.path(args[-1])],
                                          stdout=subprocess.PIPE, check=True).stdout.split()[:4]
                self.assertEqual("".join(ink for ink, share in zip("CMYK", coverage) if float(share) > 0), inks)

    def test_default_name_follows_the_type(self):
        for args, name in ((["-t", "svg", "x"], "qr.svg"), (["--batch", "-", "-t", "png"], "qr-0001.png"),
                           (["-t", "eps", "x"], "qr.eps")):
            self.assertEqual(self.run_tool(args, stdin=b"x").returncode, 0)
            self.assertEqual(decode_zxing(self.path(name)), b"x")

    def test_version_floor_and_eci(self):
        # Both readers show the text the ECI marks as UTF-8; ZXing reports the marker.
        text = "5 € Ω 😀"
        result = self.run_tool(["-v", "5", "--eci", "-s", "4", "-o", "e.png", text])
        self.assertRegex(result.stdout, rb"^%d bytes, byte, UTF-8 \(ECI 26\), level H \(asked M\), version 5, mask 7, 37x37 modules"
                         % len(text.encode()))
        self.assertEqual(decode(self.path("e.png")).decode(), text)
        zxing = subprocess.run(["ZXingReader", self.path("e.png")], stdout=subprocess.PIPE).stdout.decode()
        self.assertRegex(zxing, f'Text: +"{text}"\n(.*\n)*HasECI: +true')
        result = self.run_tool(["--eci", "-s", "4", "-o", "bom.png", "\ufeff" + text])  # the mark is skipped
        self.assertEqual((result.returncode, decode_zxing(self.path("bom.png"))), (0, text.encode()))


class ChosenSymbol(ToolTest):
    def zxing(self, *paths):
        return subprocess.run(["ZXingReader", *paths], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout.decode()

    def test_smallest_symbol_reads_in_both_readers(self):
        # (text, options, the start of the summary, ZXing's level and ECI). By hand: 40 digits take
        # 148 bits (version 2 holds 176 at Q), 30 alphanumeric 178 (224 at M), 27 bytes alone 228.
        cases = [("1234567890" * 4, [], "40 bytes, numeric, level Q (asked M), version 2,", "Q", "false"),
                 ("HTTPS://EXAMPLE.ORG/ITEM/12345", [], "30 bytes, alphanumeric, level M, version 2,", "M", "false"),
                 ("Part 0123456789012345 qty 7", [], "27 bytes, numeric+byte, level M, version 2,", "M", "false"),
                 ("café", [], "5 bytes, byte, UTF-8 (ECI 26), level H (asked M), version 1,", "H", "true"),
                 ("café", ["--latin1"], "4 bytes, byte, ISO-8859-1, level H (asked M), version 1,", "H", "false"),
                 ("\ufeffShelf 12", [], "8 bytes, byte, level Q (asked M), version 1,", "Q", "false"),  # mark dropped
                 # One segment of each mode in each width of the count (versions 1-9, 10-26, 27-40).
                 ("0123456789" * 60, [], "600 bytes, numeric, level M, version 11,", "M", "false"),
                 ("0123456789" * 300, [], "3000 bytes, numeric, level M, version 29,", "M", "false"),
                 ("HELLO WORLD " * 40, [], "480 bytes, alphanumeric, level M, version 13,", "M", "false"),
                 ("HELLO WORLD " * 150, [], "1800 bytes, alphanumeric, level M, version 29,", "M", "false"),
                 ("hello world, " * 30, [], "390 bytes, byte, level M, version 15,", "M", "false"),
                 ("Zürich 8001, " * 110, [], "1540 bytes, byte, UTF-8 (ECI 26), level M, version 33,", "M", "true"),
                 ("5 € Ω", [], "8 bytes, byte, UTF-8 (ECI 26), level Q (asked M), version 1,", "Q", "true"),
                 ("Привет, мир", ["--no-boost", "-l", "L"], "20 bytes, byte+kanji, level L, version 2,", "L", "false")]
        for text, args, summary, level, eci in cases:
            with self.subTest(text=text, args=args):
                result = self.run_tool(args + ["-n", "-o", "c.png", text])
                self.assertTrue(result.stdout.decode().startswith(summary), result.stdout)
                text = text.removeprefix("\ufeff")
                self.assertEqual(decode(self.path("c.png")).decode(), text)  # zbar answers in UTF-8
                self.assertRegex(self.zxing(self.path("c.png")),
                                 f'Text: +"{re.escape(text)}"\n(.*\n)*HasECI: +{eci}\n(.*\n)*EC Level: +{level}\n')

    def test_accented_texts_read_exactly_in_both_readers(self):
        # Readers guess the character set of unmarked bytes beyond ASCII, and often wrongly: the
        # tool marks such texts as UTF-8. Words alone, among digits and upper-case runs, and the
        # whole of U+00A0-U+00FF in chunks.
        words = ("Straße|Grüße aus Köln|Übergrößen|Fußgängerzone|Bäckerei Müller|schöne Äpfel|café crème|"
                 "naïve Noël|garçon|élève|déjà vu|Hôtel-Dieu|Ça va ?|año nuevo|niño|señor Muñoz|¿Qué tal?|"
                 "¡Olé!|Málaga|corazón|Ærø|Ålborg|smørrebrød|Tromsø|Göteborg|Reykjavík|Þórsmörk|fjörður|"
                 "Zażółć gęślą jaźń|Łódź|Kraków|Wrocław|Gdańsk|Źródło").split("|")
        high = "".join(map(chr, range(0xA0, 0x100)))
        chunks = [high[i:i + 8] for i in range(0, len(high), 8)]
        texts = [form.format(w=w, W=w.upper()) for w in words
                 for form in ("{w}", "{W} 4711 {w}", "NR 0815 {w} 2026", "ZIMMER 12 {w} 0123456789")]
        texts += chunks + [chunk + " 12345 ABC" for chunk in chunks]
        paths = [self.path(f"a{i}.png") for i in range(len(texts))]
        for text, path in zip(texts, paths):
            self.assertEqual(self.run_tool(["-nq", "-o", path, text]).returncode, 0, text)
        zbar, zxing = read_in_both(paths)
        self.assertEqual(([text for text in texts if text not in zbar],
                          [text for text, path in zip(texts, paths) if zxing.get(path) != text]), ([], []))

    def test_japanese_texts_read_exactly_in_both_readers(self):
        # (text, options, the summary up to the version). Without an ECI header, Kanji segments take
        # 13 bits a character against UTF-8's 24; the versions are those of the shortest split, each
        # worked out apart. With a backslash or tilde (other characters in Shift JIS), a character
        # Kanji mode lacks (é, half-width katakana, U+FF5E), or where UTF-8 is shorter: UTF-8.
        address = ("〒100-8111 東京都千代田区千代田1-1 宮内庁管理部 総務課 電話03-3213-1111 "
                   "受付時間 平日9時から17時まで（土日祝日を除く）")
        cases = [("東京都千代田区1-1 お問い合わせ", [], "30 bytes, alphanumeric+kanji, level Q (asked M), version 3"),
                 ("東京都千代田区1-1 お問い合わせ", ["-l", "L"], "30 bytes, alphanumeric+kanji, level L, version 2"),
                 ("こんにちは、世界", [], "16 bytes, kanji, level M, version 1"),
                 ("カタカナ テスト", ["-l", "L"], "15 bytes, alphanumeric+kanji, level L, version 1"),
                 ("ＡＢＣ１２３４５", [], "16 bytes, kanji, level M, version 1"),
                 ("Order 12345: 注文番号 ABC-99", [], "28 bytes, alphanumeric+byte+kanji, level Q (asked M), version 3"),
                 (address, [], "118 bytes, numeric+alphanumeric+kanji, level M, version 7"),
                 (address * 10, [], "1180 bytes, numeric+alphanumeric+kanji, level M, version 29"),
                 ("αβγδε ±×§ ЖЗИЙ", [], "26 bytes, alphanumeric+kanji, level Q (asked M), version 3"),
                 ("±0.5 × 3 § 12 αβγ Жж", ["-l", "L"], "28 bytes, byte, UTF-8 (ECI 26), level L, version 2"),
                 ("C:\\ユーザー", [], "15 bytes, byte, UTF-8 (ECI 26), level Q (asked M), version 2"),
                 ("café 東京", [], "12 bytes, byte, UTF-8 (ECI 26), level M, version 1"),
                 ("〜波ダッシュ～", [], "21 bytes, byte, UTF-8 (ECI 26), level M, version 2"),
                 ("ｶﾀｶﾅ", [], "12 bytes, byte, UTF-8 (ECI 26), level M, version 1"),
                 ("a漢a漢a漢a漢", ["-l", "L"], "16 bytes, byte, UTF-8 (ECI 26), level L, version 1")]
        paths = [self.path(f"j{i}.png") for i in range(len(cases))]
        summaries = [self.run_tool(args + ["-n", "-o", path, text]).stdout.decode()
                     for (text, args, _), path in zip(cases, paths)]
        zbar, zxing = read_in_both(paths)
        self.assertEqual([(s[:len(c[2]) + 1], c[0] in zbar, zxing.get(p))
                          for s, c, p in zip(summaries, cases, paths)],
                         [(c[2] + ",", True, c[0]) for c in cases])
        # A sequence of Kanji symbols joins back in both.
        result = self.run_tool(["-n", "--split", "-v", "7", "--strict", "-o", "k-%d.png", address * 3])
        self.assertTrue(result.stdout.startswith(b"354 bytes in 3 symbols, numeric+alphanumeric+kanji,"), result.stdout)
        parts = [self.path(f"k-{i}.png") for i in (1, 2, 3)]
        subprocess.run([IMAGEMAGICK] + parts + ["+append", self.path("all.png")], check=True)
        self.assertEqual((decode(self.path("all.png")).decode(), self.zxing(*parts).count(f'"{address * 3}"')),
                         (address * 3, 1))

    def test_split_joins_back(self):
        # (options, text, the summary up to the names). The fewest symbols are cut for the highest
        # level they allow: 8 of version 25 at H, 2 of 1500 bytes at Q; cut between the bytes the
        # symbols hold, 2 x 2951 ISO-8859-1 bytes fill two of version 40 at L.
        cases = [(["-l", "H"], "The quick brown fox jumps over the lazy dog. " * 60, "2700 bytes in 3 symbols, "
                  "byte, level H, version 34, masks 3, 3, 6, 153x153 modules, 644x644 px, 227.2x227.2 mm"),
                 (["-l", "H", "-v", "25", "--strict"], "".join(f"{n}\n" for n in range(1, 1001)),
                  "3893 bytes in 8 symbols, byte, level H, version 25,"),
                 (["-v", "40", "-l", "L"], "a" * 3000, "3000 bytes in 2 symbols, byte, level Q (asked L), version 40,"),
                 (["--latin1", "-l", "L"], "\u00c3\u00a9" * 2951, "5902 bytes in 2 symbols, byte, ISO-8859-1, level L, version 40,")]
        for args, text, summary in cases:
            with self.subTest(args=args):
                result = self.run_tool(["-n", "--split"] + args + ["-o", "part-%d.png", "-"], stdin=text.encode())
                self.assertTrue(result.stdout.startswith(summary.encode()), result.stdout + result.stderr)
                count, level = re.match(rb"\d+ bytes in (\d+) symbols, .*?level (.)", result.stdout).groups()
                parts = [self.path(f"part-{i}.png") for i in range(1, int(count) + 1)]
                # Each symbol, then ZXing's merged result: bytes, level, place and parity.
                read = re.findall(r"^Bytes: +(.*)\n(?:.*\n)*?EC Level: +(.)\nStructured Append: (.*) \(parity/id: '(\d+)'",
                                  self.zxing(*parts), re.M)
                encoded = text.encode("latin-1")  # ASCII or --latin1: a byte a character
                data = [bytes.fromhex(row[0]) for row in read]
                self.assertEqual((b"".join(data[:-1]), data[-1]), (encoded, encoded))
                places = [f"symbol {i} of {len(parts)}" for i in range(1, len(parts) + 1)]
                parity = str(functools.reduce(int.__xor__, encoded))  # the XOR of all its bytes
                self.assertEqual([row[1:] for row in read], [(level.decode(), place, parity) for place in
                                                              places + [f"merged result from {len(parts)} symbols"]])
                # zbar joins a sequence it sees whole in one picture.
                subprocess.run([IMAGEMAGICK] + parts + ["+append", self.path("all.png")], check=True)
                self.assertEqual(decode(self.path("all.png"), binary=True), encoded)
        # A text that one symbol holds is one plain symbol, numbered all the same.
        self.assertEqual(self.run_tool(["-n", "--split", "short"]).returncode, 0)
        self.assertNotIn("Structured Append", self.zxing(self.path("qr-01.bmp")))
        self.assertEqual(decode_zxing(self.path("qr-01.bmp")), b"short")

    def test_micro_symbols_read_in_zxing(self):
        # Capacities by hand from the symbol tables: (version, level, digits, alphanumeric characters,
        # bytes, kanji). Each mode at capacity, then one character more: the next symbol, past M4 exit 1.
        table = [("M1", "L", 5, 0, 0, 0), ("M2", "L", 10, 6, 0, 0), ("M2", "M", 8, 5, 0, 0), ("M3", "L", 23, 14, 9, 6),
                 ("M3", "M", 18, 11, 7, 4), ("M4", "L", 35, 21, 15, 9), ("M4", "M", 30, 18, 13, 8),
                 ("M4", "Q", 21, 13, 9, 5)]
        alphabets = ("3141592653589793238462643383279502884", "AB CD$EF%GH*IJ+KL-MN.OP/QR:", "micro symbols, bytes",
                     "東京都千代田区丸の内一丁目")
        written = {}
        for version, level, *capacities in table:
            for mode, extra in itertools.product(range(4), (0, 1)):
                if capacities[mode] == 0:
                    continue
                text, path = alphabets[mode][:capacities[mode] + extra], self.path(f"{version}{level}{mode}{extra}.png")
                result = self.run_tool(["-n", "--no-boost", "-l", level, "-v", version, "-o", path, text])
                if extra and version == "M4":
                    self.assertEqual(result.returncode, 1, result.stderr)
                    continue
                modules = 9 + 2 * int(version[1])  # with a 2-module quiet zone, 4 pixels each
                symbol = (f"{'error detection only' if version == 'M1' else 'level ' + level}, Micro QR {version}, "
                          f"mask [0-3], {modules}x{modules} modules, {(modules + 4) * 4}x")
                self.assertEqual(bool(re.search(symbol, result.stdout.decode())), not extra, result.stdout + result.stderr)
                written[path] = text
        read = re.findall(r'^(.*) MicroQRCode "(.*)"$', re.sub(r"<U\+([0-9A-F]+)>", lambda m: chr(int(m[1], 16)), subprocess.run(
            ["ZXingReader", "-format", "MicroQRCode", "-1", *written], stdout=subprocess.PIPE).stdout.decode()), re.M)
        self.assertEqual(dict(read), written)

    def test_chosen_mask_in_modules_and_format(self):
        # The format word worked out here: 5 bits (QR: level M's 00 and the mask; Micro QR: the symbol
        # number, M3-M's 4, and the mask), 10 BCH bits over x^10+x^8+x^5+x^4+x^2+x+1, and the XOR mask.
        def word(data, xor):
            remainder = data << 10
            for bit in range(14, 9, -1):
                remainder ^= (remainder >> bit & 1) * (0x537 << bit - 10)
            return (data << 10 | remainder) ^ xor
        text, paths = "MASK 0123", {False: [], True: []}
        for micro, mask in [(False, m) for m in range(8)] + [(True, m) for m in range(4)]:
            path = self.path(f"mask{mask}{'m' * micro}.png")
            result = self.run_tool(["-n", "--no-boost", "--mask", str(mask), "-o", path, text] + ["--micro"] * micro)
            self.assertIn(f", mask {mask}, ".encode(), result.stdout, result.stderr)
            margin, pixels = 2 if micro else 4, picture_pixels(path)
            dark = lambda r, c: int(not pixels[(margin + r) * 4][(margin + c) * 4])
            n = len(pixels) // 4 - 2 * margin
            read = (sum(dark(8, 15 - b) << b for b in range(7, 15)) | sum(dark(b + 1, 8) << b for b in range(7))
                    if micro else sum(dark(n - 15 + b, 8) << b for b in range(8, 15)) |
                    sum(dark(8, n - 1 - b) << b for b in range(8)))
            self.assertEqual(read, word(4 << 2 | mask, 0x4445) if micro else word(mask, 0x5412), path)
            paths[micro].append(path)
        zbar, zxing = read_in_both(paths[False])
        self.assertEqual((zbar[:8], list(zxing.values())), ([text] * 8, [text] * 8))
        read = subprocess.run(["ZXingReader", "-format", "MicroQRCode", "-1", *paths[True]], stdout=subprocess.PIPE)
        self.assertEqual(re.findall(r' MicroQRCode "(.*)"$', read.stdout.decode(), re.M), [text] * 4)

    def test_strict_and_size(self):
        # (options, text, exit status, part of the summary or message); "Shelf 12" is version 1,
        # 29 modules wide with its quiet zone: 3 cm at 300 dpi is 354 pixels, 12 per module.
        cases = [(["-v", "3", "--strict", "-o", "s.png"], "Shelf 12", 0, "version 3, mask 2, 29x29 modules, 148x148 px"),
                 (["-v", "1", "--strict"], "x" * 40, 1, "the text needs version 3 at level M; --strict keeps "
                  "the symbol at version 1"),
                 (["--split", "-l", "H", "-v", "1", "--strict"], "7" * 200, 1, "the text needs more than 16 symbols of version 1 at level H"),
                 (["--size", "3cm", "-d", "300", "-o", "s.png"], "Shelf 12", 0, " 348x348 px, 29.5x29.5 mm, s.png"),
                 (["--size", "104px", "-o", "s.png"], "Shelf 12", 0, " 87x87 px,"),  # 3.59 per module: 3
                 (["--size", "60mm", "-o", "s.svg"], "Shelf 12", 0, " 170x170 px, 60.0x60.0 mm, s.svg"),
                 (["--size", "200px", "-o", "p.svg"], "Shelf 12", 0, " 200x200 px, 52.9x52.9 mm, p.svg"),
                 (["--size", "2in", "-d", "36", "-o", "s.pdf"], "Shelf 12", 0, " 72x72 px, 50.8x50.8 mm, s.pdf"),
                 (["--size", "30mm", "-o", "s.eps"], "Shelf 12", 0, " 85x85 px, 30.0x30.0 mm, s.eps"),
                 (["--size", "5mm", "-o", "s.png"], "Shelf 12", 2, "--size is too small: version 1 with its "
                  "4-module quiet zone needs at least 29 px (10.2 mm at 72 dpi)")]
        for args, text, status, expected in cases:
            with self.subTest(args=args):
                result = self.run_tool(["-n"] + args + [text])
                self.assertEqual(result.returncode, status, result.stderr)
                self.assertIn(expected.encode(), result.stderr if status else result.stdout)
                if status == 0:
                    path = self.path(args[-1])
                    self.assertEqual((decode(path), decode_zxing(path)), (text.encode(),) * 2)
                    with open(path, "rb") as f:  # SVG, PDF and EPS are sized exactly, in points or CSS pixels
                        self.assertIn({"s.svg": b'width="170.0787401575pt"', "p.svg": b'width="200"',
                                       "s.pdf": b"/MediaBox [0 0 144 144]", "s.eps": b"%%BoundingBox: 0 0 86 86\n"
                                       b"%%HiResBoundingBox: 0 0 85.0393700787 85.0393700787"}.get(args[-1], b""), f.read())
                    if path.endswith(".png"):
                        self.assertEqual(len(picture_pixels(path)), int(SUMMARY.match(result.stdout).group(6)))


class Batch(ToolTest):
    def test_thousand_mixed_records(self):
        rng = random.Random(12)
        records = [bytes(rng.randrange(0x20, 0x7F) for _ in range(rng.randrange(1, 120)))
                   for _ in range(1000)]
        records[299] = b""  # an empty line is an empty text
        records[499] = b"y" * (LIMITS["M"] + 1)
        records[999] = "Grüße".encode()  # the last line has no newline
        with open(self.path("list.txt"), "wb") as f:
            f.write(b"\n".join(records))
        result = self.run_tool(LIBRARY + ["--batch", "list.txt", "--start", "7", "-o", "out/b-%04d.bmp"])
        os.mkdir(self.path("out"))  # the first run could not write anything
        self.assertEqual(result.returncode, 8)
        self.assertIn(b"line 1: cannot write 'out/b-0007.bmp': No such file or directory", result.stderr)
        self.assertEqual(result.stdout, b"0 written, 1000 failed\n")

        result = self.run_tool(LIBRARY + ["--batch", "list.txt", "--start", "7", "-o", "out/b-%04d.bmp"])
        self.assertEqual(result.returncode, 8)
        self.assertEqual(result.stdout, b"999 written, 1 failed\n")
        self.assertEqual(result.stderr, b"qrimage: line 500: the text is %d bytes; level M holds at most "
                         b"%d bytes of it (level L holds it)\n" % (LIMITS["M"] + 1, LIMITS["M"]))
        expected = {f"b-{n + 7:04d}.bmp" for n in range(1000) if n != 499}
        self.assertEqual(set(os.listdir(self.path("out"))), expected)
        os.mkdir(self.path("ref"))
        written = [n for n in range(1000) if n != 499]
        library_files("M", [(self.path(f"ref/{n}.bmp"), records[n]) for n in written])
        for n in written:
            self.assert_same_file(f"out/b-{n + 7:04d}.bmp", f"ref/{n}.bmp")

    def test_null_separated_records_from_standard_input(self):
        records = [b"two\nlines", b"", b"tab\tand %d"]
        for separator_at_end in (b"", b"\0"):
            with self.subTest(separator_at_end=separator_at_end):
                result = self.run_tool(["--batch", "-", "--null", "-q", "-o", "n%d.png", "-s", "3"],
                                       stdin=b"\0".join(records) + separator_at_end)
                self.assertEqual((result.returncode, result.stdout, result.stderr), (0, b"", b""))
                self.assertEqual(sorted(os.listdir(self.dir.name)), ["n1.png", "n2.png", "n3.png"])
                for n, text in enumerate(records):
                    self.assertEqual(decode_zxing(self.path(f"n{n + 1}.png")), text)

    def test_record_failures_are_numbered(self):
        with open(self.path("list.txt"), "wb") as f:
            f.write(b"fine\nnul\0byte\n\xff\xfe\ncaf\xc3\xa9\n\xe2\x82\xac\n")
        result = self.run_tool(["--batch", "list.txt", "--latin1", "-o", "l%d.bmp"])
        self.assertEqual(result.returncode, 8)
        self.assertEqual(result.stdout, b"2 written, 3 failed\n")
        self.assertEqual(result.stderr.decode().splitlines(), [
            "qrimage: line 2: the text contains a NUL byte (at byte 4); it cannot be encoded, "
            "as the library would end the text there",
            "qrimage: line 3: --latin1: the text is not valid UTF-8 (byte 0xFF at byte 1)",
            "qrimage: line 5: --latin1: character U+20AC '\u20ac' at byte 1 is not in ISO-8859-1; "
            "without --latin1 the text is written as UTF-8 bytes"])
        self.assertEqual(sorted(os.listdir(self.dir.name)), ["l1.bmp", "l4.bmp", "list.txt"])

    def test_from_the_shell(self):
        # (command, exit status, {file: the text of its picture, or None: not written}, message)
        cases = [("seq 0 11 | qrimage --batch - --start 0 -o %070d.bmp", 0,
                  {"%070d.bmp" % n: b"%d" % n for n in range(12)}, ""),
                 ("printf 'alpha\\nbeta\\n' | qrimage --batch - -o o%d.bmp > o1.bmp", 0,
                  {"o1.bmp": b"alpha", "o2.bmp": b"beta"}, "2 written, 0 failed\n"),
                 ("(echo first; for i in $(seq 300); do [ -e p1.bmp ] && break; sleep 0.1; done;"
                  " [ -e p1.bmp ] && echo second) | qrimage --batch - -o p%d.bmp", 0,
                  {"p1.bmp": b"first", "p2.bmp": b"second"}, ""),
                 ("qrimage --batch /dev/zero -o z%d.bmp", 6, {}, "line 1: the text is more than 1048576"),
                 ("head -c 1048577 /dev/zero | tr '\\0' a | qrimage --batch - -o z%d.bmp", 6, {},
                  "line 1: the text is more than 1048576"),
                 ("head -c 2331 /dev/zero | tr '\\0' a | qrimage --eci --batch - -o e%d.bmp", 8, {},
                  "2331 bytes in UTF-8; behind its ECI header, level M holds at most 2330 bytes of it (level L holds it)\n"),
                 ("printf 'x\\ny\\n' > 1.bmp; qrimage --batch 1.bmp -o %d.bmp", 8,
                  {"1.bmp": None, "2.bmp": b"y"}, "line 1: cannot write '1.bmp': it is the file"),
                 ("printf 'a\\r\\nb\\r\\n' | qrimage --batch - -o c%d.bmp", 0, {"c1.bmp": b"a", "c2.bmp": b"b"}, ""),
                 ("head -c 1000 /dev/zero | qrimage --batch - --null -o z%d.bmp", 6, {},
                  "record 101: more than 100 empty texts in a row (from record 1 on), which is no list: none"),
                 ("(echo a; yes '' | head -n 100; echo b) | qrimage --batch - -o e%d.bmp", 0,
                  {f"e{n}.bmp": b"a" if n == 1 else b"b" if n == 102 else b"" for n in range(1, 103)}, ""),
                 ("printf 'a\\r\\n\\0b' | qrimage --batch - --null -o n%d.bmp", 0,
                  {"n1.bmp": b"a\r\n", "n2.bmp": b"b"}, "")]
        env = dict(os.environ, PATH=os.path.dirname(TOOL) + os.pathsep + os.environ["PATH"])
        for command, status, pictures, message in cases:
            with self.subTest(command=command), tempfile.TemporaryDirectory() as folder:
                # The library's own files are the reference.
                bytes = "qrimage -s1 " if "--eci" in command else "qrimage --bytes -s1 "
                result = subprocess.run(["bash", "-c", command.replace("qrimage ", bytes)], cwd=folder, env=env, timeout=60,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                self.assertEqual(result.returncode, status, result.stderr)
                self.assertIn(message.encode(), result.stderr)
                self.assertEqual(sorted(os.listdir(folder)), sorted(pictures))
                texts = [(name, text) for name, text in pictures.items() if text is not None]
                if texts:
                    library_files("M", [(self.path(name), text) for name, text in texts])
                for name, _ in texts:
                    self.assert_same_file(self.path(name), os.path.join(folder, name))

    def test_progress_only_on_a_terminal(self):
        # A batch past its first second shows its progress on a terminal's
        # standard error, within one row, cleared at the end, and nothing on a pipe.
        command = ["bash", "-c", f"(echo a; sleep 1.5; echo b) | {TOOL} --batch - -o p%d.bmp"]
        for columns, line in ((80, rb"2 texts done, \d+ files/s"), (15, rb"2 done, \d+/s")):
            master, slave = pty.openpty()
            fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 50, columns, 0, 0))
            process = subprocess.Popen(command, cwd=self.dir.name, stdout=subprocess.DEVNULL, stderr=slave)
            os.close(slave)
            shown = read_terminal(master, process)
            self.assertEqual(process.wait(timeout=30), 0)
            self.assertRegex(shown, rb"^\r" + line + rb" *\r +\r$")
            self.assertLess(max(map(len, shown.split(b"\r"))), columns)
        piped = subprocess.run(command, cwd=self.dir.name, capture_output=True, timeout=30)
        self.assertEqual((piped.returncode, piped.stderr), (0, b""))

    def test_read_error_inside_a_record(self):
        # Reading a terminal whose other side has closed fails (EIO): the
        # line cut there is reported, not written.
        master, slave = pty.openpty()
        tty.setraw(slave)
        process = subprocess.Popen([TOOL, "--batch", "-", "-o", "e%d.bmp"], cwd=self.dir.name,
                                   stdin=slave, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        os.write(master, b"whole\npart")
        # The terminal fails only a read that waits as it closes: wait until
        # the first line is written, every byte taken and the tool asleep.
        def waiting():
            with open(f"/proc/{process.pid}/stat") as f:
                asleep = f.read().rsplit(")", 1)[1].split()[0] == "S"
            pending = struct.unpack("i", fcntl.ioctl(slave, termios.TIOCINQ, b"\0" * 4))[0]
            return os.path.exists(self.path("e1.bmp")) and pending == 0 and asleep
        for _ in range(600):
            if waiting():
                break
            time.sleep(0.05)
        os.close(slave)
        os.close(master)
        stdout, stderr = process.communicate(timeout=60)
        self.assertEqual((process.returncode, stdout), (6, b"1 written, 1 failed\n"))
        self.assertEqual(stderr, b"qrimage: line 2: cannot read standard input: Input/output error "
                         b"(after 4 bytes of it; it is not written)\n")
        self.assertEqual(os.listdir(self.dir.name), ["e1.bmp"])


class Latin1(ToolTest):
    def test_round_trip_through_both_readers(self):
        # --latin1 writes ISO-8859-1 bytes without a marker, which both
        # readers take as such for this text (not for every text).
        text = "café naïve Ærø"
        result = self.run_tool(["--latin1", "-s", "3", "-o", "l.png", text])
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(result.stdout.startswith(b"14 bytes, "))
        self.assertEqual(decode_zxing(self.path("l.png")), text.encode("latin-1"))
        self.assertEqual(decode(self.path("l.png")).decode(), text)  # zbar answers in UTF-8
        zxing = subprocess.run(["ZXingReader", self.path("l.png")], stdout=subprocess.PIPE).stdout
        self.assertIn(f'Text:       "{text}"', zxing.decode())
        # A byte-order mark before the text only says it is UTF-8.
        result = self.run_tool(["--latin1", "-s", "3", "-o", "bom.png", "\ufeff" + text])
        self.assertEqual((result.returncode, decode_zxing(self.path("bom.png"))), (0, text.encode("latin-1")))

    def test_refusal(self):
        with open(self.path("bad.txt"), "wb") as f:
            f.write(b"ok \xc3\x28")
        # --eci takes the text as UTF-8 too: overlong forms and surrogates are not.
        cases = [(["--latin1", "5 €"], "--latin1: character U+20AC '€' at byte 3 is not in ISO-8859-1"),
                 (["--latin1", "a\u202eb"], "character U+202E '\\u202e' at byte 2"),
                 (["--latin1", "\U0001F600"], "character U+1F600"),
                 (["--latin1", "東京 5"], "U+6771 '東' at byte 1 is not in ISO-8859-1; without --latin1 the text "
                  "is written in Kanji segments"),
                 (["--latin1", "-i", "bad.txt"], "--latin1: the text is not valid UTF-8 (byte 0xC3 at byte 4)"),
                 (["--eci", b"caf\xe9 \xff\xfe"], "--eci: the text is not valid UTF-8 (byte 0xE9 at byte 4)"),
                 (["--micro", "café"], "--micro: byte 4 of the text is beyond ASCII"),
                 (["--micro", "東京~"], "--micro: byte 1 of the text is beyond ASCII, and the text does not go whole in Kanji"),
                 (["--eci", b"\xc0\xaf"], "(byte 0xC0 at byte 1)"), (["--eci", b"a\xed\xa0\x80"], "(byte 0xED at byte 2)")]
        # Overlong forms of 3 and 4 bytes and a surrogate: refused, and by default their bytes are
        # written as they are, with no UTF-8 marker.
        for bad in (b"\xe0\x83\xa9", b"\xf0\x82\x82\xac", b"\xed\xa0\x80"):
            cases += [([option, b"ok " + bad], f"{option}: the text is not valid UTF-8 (byte 0x{bad[0]:02X} at byte 4)")
                      for option in ("--eci", "--latin1")] + [(["-o", "-", b"ok " + bad], "bytes, byte, level")]
        for args, message in cases:
            with self.subTest(args=args):
                result = self.run_tool(args)
                self.assertEqual(result.returncode, 9 if args[0] != "-o" else 0)
                self.assertIn(message.encode(), result.stderr)
        self.assertFalse(os.path.exists(self.path("qr.bmp")))


if __name__ == "__main__":
    TOOL = os.path.abspath(sys.argv.pop(1))
    REFERENCE = os.path.abspath(sys.argv.pop(1))
    LIMITS = read_limits()
    unittest.main()
