"""The tool's safe writes, batch form and JSON output, driven as a user would."""
import filecmp
import json
import os
import resource
import signal
import subprocess
import tempfile
import threading
import time
import unittest
import zlib

TOOL = os.environ["RASTERKIT_TOOL"]
FIXTURES = os.environ["RASTERKIT_FIXTURES"]
CORPUS = os.environ.get("RASTERKIT_CORPUS", "")
FIXTURE = {ext: os.path.join(FIXTURES, "testpfp0." + ext) for ext in ("bmp", "png", "jpg")}


def read(path):
    with open(path, "rb") as f:
        return f.read()


def png_declaring(width, height, rows=None):
    """A 1-bit grey PNG of the size given whose pixel data is `rows` zero rows (none: no data at all)."""
    def chunk(kind, data):
        return len(data).to_bytes(4, "big") + kind + data + zlib.crc32(kind + data).to_bytes(4, "big")
    header = width.to_bytes(4, "big") + height.to_bytes(4, "big") + bytes([1, 0, 0, 0, 0])
    data = zlib.compress(bytes(rows * (1 + (width + 7) // 8)), 9) if rows else b""
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", data) + chunk(b"IEND", b"")


def run(*args, size_limit=None):
    def limit():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (size_limit, size_limit))

    return subprocess.run([TOOL, *args], capture_output=True, preexec_fn=limit if size_limit else None)


class ToolCase(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.TemporaryDirectory()
        self.dir = self.work.name

    def tearDown(self):
        self.work.cleanup()

    def path(self, *names):
        return os.path.join(self.dir, *names)

    def convert(self, *args, status=0):
        result = run("convert", *args)
        self.assertEqual(result.returncode, status, result.stderr.decode(errors="replace"))
        return result


class SafeWriteTest(ToolCase):
    @unittest.skipUnless(os.path.isdir(CORPUS), "corpus not present")
    def test_failed_write_keeps_the_old_file(self):
        photo = os.path.join(CORPUS, "photos", "kodim23.png")  # far past the limit in every format
        for ext in ("png", "bmp", "jpg"):
            with self.subTest(ext=ext):
                out = self.path("keep." + ext)
                self.convert(FIXTURE["png"], out)
                before = read(out)
                result = run("convert", photo, out, size_limit=len(before) + 4096)
                self.assertEqual(result.returncode, 1)
                self.assertIn(out.encode(), result.stderr)
                if ext != "bmp":  # the encoders see the write fail and say why
                    self.assertIn(b"File too large", result.stderr)
                self.assertEqual(read(out), before)
        self.assertEqual(sorted(os.listdir(self.dir)), ["keep.bmp", "keep.jpg", "keep.png"])

    def test_interrupted_write_leaves_no_trace(self):
        width, height = 3000, 2000  # noise: seconds of PNG compression to interrupt
        noise = self.path("noise.bmp")
        with open(noise, "wb") as f:
            size = 54 + width * height * 3
            f.write(b"BM" + size.to_bytes(4, "little") + bytes(4) + (54).to_bytes(4, "little"))
            f.write((40).to_bytes(4, "little") + width.to_bytes(4, "little") + height.to_bytes(4, "little"))
            f.write((1).to_bytes(2, "little") + (24).to_bytes(2, "little") + bytes(24))
            f.write(os.urandom(width * height * 3))
        out = self.path("keep.png")
        self.convert(FIXTURE["png"], out)
        before = read(out)
        tool = subprocess.Popen([TOOL, "convert", noise, out], stdout=subprocess.DEVNULL)
        for _ in range(3000):
            if any(".rasterkit-" in name for name in os.listdir(self.dir)):
                break
            time.sleep(0.005)
        tool.send_signal(signal.SIGINT)
        self.assertEqual(tool.wait(), -signal.SIGINT)
        self.assertEqual(sorted(os.listdir(self.dir)), ["keep.png", "noise.bmp"])
        self.assertEqual(read(out), before)

    def test_output_may_be_the_input(self):
        out = self.path("same.png")
        self.convert(FIXTURE["png"], out)
        self.convert(out, out, "--flip-x")
        self.convert(out, out, "--flip-x")
        self.assertTrue(filecmp.cmp(out, self.convert_copy(FIXTURE["png"]), shallow=False))

    def convert_copy(self, source):
        copy = self.path("copy.png")
        self.convert(source, copy)
        return copy

    def test_symbolic_link_keeps_the_link(self):
        os.mkdir(self.path("real"))
        target = self.path("real", "target.png")
        self.convert(FIXTURE["bmp"], target)
        os.symlink("real/target.png", self.path("link.png"))
        self.convert(FIXTURE["png"], self.path("link.png"), "--transpose")
        self.assertTrue(os.path.islink(self.path("link.png")))
        self.assertIn(b"png 128x192", run("info", target).stdout)

    def test_fifo_is_written_through(self):
        fifo = self.path("pipe")
        os.mkfifo(fifo)
        received = []
        reader = threading.Thread(target=lambda: received.append(read(fifo)))
        reader.start()
        self.convert(FIXTURE["png"], fifo, "--format", "bmp")
        reader.join()
        with open(self.path("got.bmp"), "wb") as f:
            f.write(received[0])
        self.assertIn(b"bmp 192x128", run("info", self.path("got.bmp")).stdout)
        self.assertFalse(os.path.isfile(fifo))


class BatchTest(ToolCase):
    def inputs(self):
        return [FIXTURE["bmp"], FIXTURE["png"], FIXTURE["jpg"]]

    def test_equals_single_conversions_for_any_thread_count(self):
        os.mkdir(self.path("in"))
        for ext, source in FIXTURE.items():  # distinct names for the batch
            self.convert(source, self.path("in", "f_" + ext + "." + ext))
        ops = ("--transpose", "--flip-y", "--format", "jpeg", "--quality", "80")
        self.convert(self.path("in"), "-o", self.path("j1"), "-j", "1", *ops)
        self.convert(self.path("in"), "-o", self.path("j4"), "-j", "4", *ops)
        names = sorted(os.listdir(self.path("j1")))
        self.assertEqual(names, ["f_bmp.jpg", "f_jpg.jpg", "f_png.jpg"])
        self.assertEqual(filecmp.cmpfiles(self.path("j1"), self.path("j4"), names, shallow=False)[0], names)
        for name in names:
            single = self.path("single.jpg")
            self.convert(self.path("in", name[:-4] + "." + name[2:5]), single, *ops)
            self.assertTrue(filecmp.cmp(single, self.path("j1", name), shallow=False), name)

    def test_keeps_each_format_and_goes_on_past_failures(self):
        junk = self.path("junk.png")
        with open(junk, "w") as f:
            f.write("not an image")
        result = self.convert(FIXTURE["bmp"], junk, self.path("missing.jpg"), FIXTURE["jpg"],
                              "-o", self.path("new", "dir"), status=1)
        self.assertEqual(sorted(os.listdir(self.path("new", "dir"))), ["testpfp0.bmp", "testpfp0.jpg"])
        self.assertIn(b"junk.png: not a readable", result.stderr)
        self.assertIn(b"missing.jpg", result.stderr)
        self.assertIn(b"2 converted, 2 failed", result.stderr)

    def test_name_clash_is_refused_before_writing(self):
        result = self.convert(*self.inputs(), "-o", self.path("out"), "--format", "png", status=2)
        self.assertIn(b"testpfp0.bmp and " + FIXTURE["png"].encode() + b" would both be written", result.stderr)
        self.assertFalse(os.path.exists(self.path("out")))


class JsonInfoTest(ToolCase):
    def test_lines_parse_for_any_name(self):
        odd = os.path.join(self.dir.encode(), b'quote " back\\ \xc3\xa9 \xff.png')
        self.convert(FIXTURE["png"], os.fsdecode(odd))
        result = subprocess.run([TOOL.encode(), b"info", b"--json", odd, FIXTURE["jpg"].encode(), b"nope.bmp"],
                                capture_output=True)
        self.assertEqual(result.returncode, 1)
        lines = [json.loads(line) for line in result.stdout.decode("utf-8").splitlines()]
        self.assertEqual(lines[0]["path"], odd.decode("utf-8", errors="replace"))
        self.assertEqual((lines[0]["format"], lines[0]["width"], lines[0]["height"]), ("png", 192, 128))
        self.assertEqual(lines[1]["format"], "jpeg")
        self.assertEqual(set(lines[2]), {"path", "error"})


class PixelLimitTest(ToolCase):
    def test_huge_header_is_refused_without_decoding(self):
        huge = self.path("huge.png")
        with open(huge, "wb") as f:
            f.write(png_declaring(20000, 20000, rows=20000))
        child = subprocess.Popen([TOOL, "convert", huge, self.path("out.png")], stderr=subprocess.PIPE)
        error = child.stderr.read()
        child.stderr.close()
        _, status, usage = os.wait4(child.pid, 0)
        child.returncode = os.waitstatus_to_exitcode(status)
        self.assertEqual(child.returncode, 1)
        for part in (b"huge.png", b"20000x20000", b"268435456", b"--max-pixels"):
            self.assertIn(part, error)
        # A decode would take 1.6 GB; the bound leaves room for sanitizer builds'
        # own memory (the benchmark measures the plain tool: under 5 MB).
        self.assertLess(usage.ru_maxrss, 100 * 1024)  # KiB
        self.assertFalse(os.path.exists(self.path("out.png")))

    def test_zero_lifts_the_default_and_a_number_sets_it(self):
        declared = self.path("declared.png")
        with open(declared, "wb") as f:
            f.write(png_declaring(20000, 20000))
        # Past the limit the reader runs, and fails only on the missing pixels.
        lifted = self.convert(declared, self.path("a.png"), "--max-pixels", "0", status=1)
        self.assertIn(b"damaged PNG data", lifted.stderr)
        lowered = self.convert(FIXTURE["png"], self.path("b.png"), "--max-pixels", "100", status=1)
        self.assertIn(b"more than the limit of 100 ", lowered.stderr)
        self.convert(FIXTURE["png"], self.path("b.png"), "--max-pixels", "24576")
        self.convert(FIXTURE["png"], self.path("b.png"), "--max-pixels", "lots", status=2)


class StreamTest(ToolCase):
    def piped(self, *args, stdin=b""):
        return subprocess.run([TOOL, "convert", *args], input=stdin, capture_output=True)

    def test_each_format_both_ways_equals_file_to_file(self):
        for source in FIXTURE.values():
            for name, ext in (("bmp", "bmp"), ("png", "png"), ("jpeg", "jpg")):
                with self.subTest(source=os.path.basename(source), format=name):
                    expected = self.path("file." + ext)
                    self.convert(source, expected, "--transpose")
                    streamed = self.piped("-", "-", "--format", name, "--transpose", stdin=read(source))
                    self.assertEqual(streamed.returncode, 0, streamed.stderr)
                    self.assertEqual(streamed.stdout, read(expected))
                    from_stdin = self.path("from-stdin." + ext)
                    self.assertEqual(self.piped("-", from_stdin, "--transpose", stdin=read(source)).returncode, 0)
                    self.assertEqual(read(from_stdin), read(expected))

    def test_info_probes_standard_input(self):
        for ext, line in (("png", b"-: png 192x128\n"), ("jpg", b"-: jpeg 192x128\n")):
            probed = subprocess.run([TOOL, "info", "-"], input=read(FIXTURE[ext]), capture_output=True)
            self.assertEqual((probed.returncode, probed.stdout), (0, line))
        refused = subprocess.run([TOOL, "info", "-"], input=b"junk", capture_output=True)
        self.assertEqual(refused.returncode, 1)

    def test_failure_leaves_standard_output_empty(self):
        for stdin in (b"not an image", read(FIXTURE["png"])[:300]):
            result = self.piped("-", "-", "--format", "png", stdin=stdin)
            self.assertEqual((result.returncode, result.stdout), (1, b""))
            self.assertIn(b"standard input", result.stderr)

    @unittest.skipUnless(os.path.isdir(CORPUS), "corpus not present")
    def test_an_unsupported_file_leaves_the_stream_empty(self):
        two_components = os.path.join(CORPUS, "jpeg", "generated", "twocomp-16x16.jpg")
        streamed = self.piped(two_components, "-", "--format", "png")
        self.assertEqual((streamed.returncode, streamed.stdout), (1, b""))
        self.assertIn(b"2 colour components are not supported", streamed.stderr)

    def test_usage(self):
        for args in (("-", "-"), ("-", "-o", self.dir), ("--", "-x.png")):
            with self.subTest(args=args):
                self.assertEqual(self.piped(*args).returncode, 2)
        self.convert(FIXTURE["png"], self.path("-x.png"))
        ended = subprocess.run([TOOL, "convert", "--", "-x.png", "-y.bmp"], cwd=self.dir, capture_output=True)
        self.assertEqual(ended.returncode, 0, ended.stderr)
        self.assertEqual(read(self.path("-y.bmp"))[:2], b"BM")


ORIENTATION = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "data", "orientation")
# The turn each EXIF orientation asks for, as the tool's own transforms.
UPRIGHT = {1: [], 2: ["--flip-x"], 3: ["--flip-x", "--flip-y"], 4: ["--flip-y"], 5: ["--transpose"],
           6: ["--transpose", "--flip-x"], 7: ["--transpose", "--flip-x", "--flip-y"], 8: ["--transpose", "--flip-y"]}


class OrientationAndProfileTest(ToolCase):
    def info(self, path):
        result = run("info", "--json", path)
        self.assertEqual(result.returncode, 0, result.stderr)
        return json.loads(result.stdout)

    def test_each_orientation_comes_out_upright(self):
        for n, turn in UPRIGHT.items():
            with self.subTest(orientation=n):
                photo = os.path.join(ORIENTATION, "o%d.jpg" % n)
                self.assertEqual(self.info(photo)["orientation"], n)
                self.convert(photo, self.path("auto.png"))
                self.convert(photo, self.path("turned.png"), "--no-auto-orient", *turn)
                self.assertEqual(read(self.path("auto.png")), read(self.path("turned.png")))
                # Transforms given apply after the turn; the batch form turns too.
                self.convert(photo, self.path("then.png"), "--flip-y")
                self.convert(self.path("auto.png"), self.path("after.png"), "--flip-y")
                self.assertEqual(read(self.path("then.png")), read(self.path("after.png")))
                self.convert(photo, "-o", self.path("batch"), "--format", "png", "--quiet")
                self.assertEqual(read(self.path("batch", "o%d.png" % n)), read(self.path("auto.png")))

    @unittest.skipUnless(os.path.isdir(CORPUS), "corpus not present")
    def test_profile_is_carried_shown_and_stripped(self):
        photo = os.path.join(CORPUS, "jpeg", "pillow", "flower2.jpg")
        profile = self.info(photo)["icc_profile"]
        self.assertGreater(profile["length"], 0)
        for ext in ("png", "jpg"):
            with self.subTest(ext=ext):
                self.convert(photo, self.path("kept." + ext))
                self.assertEqual(self.info(self.path("kept." + ext))["icc_profile"], profile)
                self.convert(photo, self.path("bare." + ext), "--strip")
                self.assertIsNone(self.info(self.path("bare." + ext))["icc_profile"])
        self.assertIsNone(self.info(FIXTURE["png"])["icc_profile"])
        self.assertEqual(self.convert(photo, self.path("x.bmp")).stderr, b"")
        self.assertEqual(run("convert", photo, self.path("y.png"), "--strip", "--to-srgb").returncode, 2)


if __name__ == "__main__":
    unittest.main()


@unittest.skipUnless(os.path.isdir(CORPUS), "corpus not present")
class DamagedDataTest(ToolCase):
    def damaged_folder(self):
        folder = self.path("in")
        os.mkdir(folder)
        whole = read(os.path.join(CORPUS, "jpeg", "libjpeg-turbo", "testorig.jpg"))
        for name, data in (("cut.jpg", whole[: len(whole) // 2]), ("whole.jpg", whole),
                           ("cut.png", read(FIXTURE["png"])[:3000])):
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
        return folder

    def test_batch_names_each_file_and_fails_it_unless_accepted(self):
        folder = self.damaged_folder()
        strict = self.convert(folder, "-o", self.path("out"), "-j", "2", status=1)
        lines = strict.stderr.decode().splitlines()
        self.assertTrue(all(line.startswith("rasterkit: ") for line in lines), lines)
        self.assertIn("rasterkit: %s: damaged JPEG data (Premature end of JPEG file)" % os.path.join(folder, "cut.jpg"),
                      lines)
        self.assertIn("rasterkit: %s: damaged PNG data (the file ends early)" % os.path.join(folder, "cut.png"), lines)
        self.assertEqual(sorted(os.listdir(self.path("out"))), ["whole.jpg"])
        lenient = self.convert(folder, "-o", self.path("kept"), "-j", "2", "--accept-damaged")
        self.assertIn("rasterkit: warning: %s: Premature end of JPEG file" % os.path.join(folder, "cut.jpg"),
                      lenient.stderr.decode().splitlines())
        self.assertEqual(len(os.listdir(self.path("kept"))), 3)

    def test_library_refusals_are_usage_errors(self):
        for args, said in ((("--quality", "150"), b"quality must be a whole number from 0 to 100, not 150"),
                           (("--compression", "3", "--format", "jpeg"), b"compression applies to PNG output only"),
                           (("--progressive", "--format", "png"), b"progressive applies to JPEG output only"),
                           (("--chroma", "422"), b"chroma must be 444 or 420, not 422")):
            with self.subTest(args=args):
                refused = self.convert(FIXTURE["png"], self.path("a.jpg"), *args, status=2)
                self.assertIn(said, refused.stderr)
                self.assertFalse(os.path.exists(self.path("a.jpg")))

    @unittest.skipUnless(subprocess.run(["which", "strace"], capture_output=True).returncode == 0, "no strace")
    def test_a_conversion_opens_its_input_once(self):
        # LeakSanitizer cannot work under ptrace; the sanitizer build runs the tool traced without it.
        env = dict(os.environ, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0")
        for source in FIXTURE.values():
            with self.subTest(source=os.path.basename(source)):
                traced = subprocess.run(["strace", "-f", "-e", "trace=open,openat", TOOL, "convert", source,
                                         self.path("out.png")], capture_output=True, env=env)
                self.assertEqual(traced.returncode, 0, traced.stderr)
                self.assertEqual(traced.stderr.decode().count('"%s"' % source), 1, traced.stderr)


@unittest.skipUnless(subprocess.run(["which", "convert"], capture_output=True).returncode == 0, "no ImageMagick")
class GeometryTest(ToolCase):
    def as_bmp(self, png):
        self.convert(png, png + ".bmp")
        return read(png + ".bmp")

    def test_crop_and_rotations_equal_imagemagick(self):
        cases = [(("--crop", "10,20,50,40"), ("-crop", "50x40+10+20", "+repage"))]
        cases += [(("--rotate", str(d)), ("-rotate", str(d))) for d in (90, 180, 270)]
        for ours, theirs in cases:
            with self.subTest(ours=ours):
                self.convert(FIXTURE["png"], self.path("ours.png"), *ours)
                subprocess.run(["convert", FIXTURE["png"], *theirs, self.path("theirs.png")], check=True)
                self.assertEqual(self.as_bmp(self.path("ours.png")), self.as_bmp(self.path("theirs.png")))

    def test_batch_makes_thumbnails_and_refuses_bad_geometry(self):
        self.convert(FIXTURE["png"], FIXTURE["jpg"], "-o", self.path("out"), "--resize", "64x64", "--fit", "cover")
        for name in ("testpfp0.png", "testpfp0.jpg"):
            self.assertIn(b"64x64", run("info", self.path("out", name)).stdout)
        for args, said in ((("--resize", "0x"), b"resize needs a positive width or height, not 0x0"), (("--resize", "-5x10"), b"resize needs a positive"),
                           (("--resize", "9x9", "--kernel", "box"), b"unknown kernel 'box'"),
                           (("--crop", "0,0,500,5"), b"leaves the 192x128 image")):
            with self.subTest(args=args):
                refused = self.convert(FIXTURE["png"], self.path("never.png"), *args, status=2)
                self.assertIn(said, refused.stderr)
                self.assertFalse(os.path.exists(self.path("never.png")))
