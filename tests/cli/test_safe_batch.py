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

TOOL = os.environ["RASTERKIT_TOOL"]
FIXTURES = os.environ["RASTERKIT_FIXTURES"]
CORPUS = os.environ.get("RASTERKIT_CORPUS", "")
FIXTURE = {ext: os.path.join(FIXTURES, "testpfp0." + ext) for ext in ("bmp", "png", "jpg")}


def read(path):
    with open(path, "rb") as f:
        return f.read()


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


if __name__ == "__main__":
    unittest.main()
