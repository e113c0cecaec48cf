"""The installed package: where it loads from, NumPy, strict arguments, PNG bytes, safe writes, batches."""
import ctypes
import errno
import glob
import io
import itertools
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import zlib

import numpy

import rasterkit
from rasterkit import Image, RasterkitError

CORPUS = os.environ.get("RASTERKIT_CORPUS", "")
SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def gradient(width, height):
    array = numpy.zeros((height, width, 4), numpy.uint8)
    array[..., 0] = numpy.arange(width, dtype=numpy.uint8)[None, :]
    array[..., 1] = numpy.arange(height, dtype=numpy.uint8)[:, None]
    array[..., 2] = 7
    array[..., 3] = 200
    return array


class Folder(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.TemporaryDirectory()
        self.dir = self.work.name

    def tearDown(self):
        self.work.cleanup()

    def path(self, *names):
        return os.path.join(self.dir, *names)


class InstalledPackageTest(unittest.TestCase):
    def test_imports_the_installed_copy_with_its_bundled_library(self):
        if os.environ.get("RASTERKIT_LIBRARY"):
            self.skipTest("RASTERKIT_LIBRARY overrides the bundled library")
        package = os.path.dirname(os.path.abspath(rasterkit.__file__))
        self.assertFalse(package.startswith(SOURCE), package)
        self.assertEqual(rasterkit.library_path(), os.path.join(package, "librasterkit.so.0"))
        with open(os.path.join(os.path.dirname(SOURCE), os.pardir, "CMakeLists.txt")) as f:
            self.assertIn("VERSION %s " % rasterkit.__version__, f.read())


class NumpyTest(Folder):
    def test_asarray_is_a_view(self):
        with Image(5, 3) as image:
            view = numpy.asarray(image)
            self.assertEqual((view.shape, view.dtype), ((3, 5, 4), numpy.uint8))
            view[2, 4] = (1, 2, 3, 4)
            self.assertEqual(image.pixel(4, 2), (1, 2, 3, 4))
            image.pixel(0, 1, (9, 9, 9, 9))
            self.assertEqual(tuple(view[1, 0]), (9, 9, 9, 9))
        with Image() as empty:
            self.assertEqual(numpy.asarray(empty).shape, (0, 0, 4))

    def test_from_array_shapes(self):
        rgba = gradient(6, 4)
        cases = {
            "rgba": (rgba, rgba),
            "rgb": (rgba[..., :3], numpy.dstack([rgba[..., :3], numpy.full((4, 6), 255, numpy.uint8)])),
            "grey": (rgba[..., 0], numpy.dstack([rgba[..., 0]] * 3 + [numpy.full((4, 6), 255, numpy.uint8)])),
            "strided": (rgba[::-1, ::2], rgba[::-1, ::2]),
        }
        for name, (given, expected) in cases.items():
            with self.subTest(name), Image.from_array(given) as image:
                self.assertEqual(image.size, (given.shape[1], given.shape[0]))
                numpy.testing.assert_array_equal(numpy.asarray(image), expected)

    def test_from_array_refuses_other_kinds(self):
        for bad, error in ((numpy.zeros((2, 2, 4), numpy.float32), TypeError),
                           (numpy.zeros((2, 2, 2), numpy.uint8), ValueError),
                           (numpy.zeros((2,), numpy.uint8), ValueError)):
            with self.subTest(dtype=bad.dtype, shape=bad.shape), self.assertRaises(error) as caught:
                Image.from_array(bad)
            self.assertIn(str(bad.dtype) if error is TypeError else str(bad.shape), str(caught.exception))


class StrictArgumentsTest(unittest.TestCase):
    def test_channels_and_coordinates_do_not_wrap(self):
        with Image(2, 2) as image:
            for rgba, error in (((300, 0, 0, 0), ValueError), ((-1, 0, 0, 0), ValueError),
                                ((1.5, 0, 0, 0), TypeError), ((1, 2, 3), ValueError)):
                with self.subTest(rgba=rgba), self.assertRaises(error):
                    image.pixel(0, 0, rgba)
            with self.assertRaises(TypeError):
                image.pixel(0.0, 1)
            self.assertEqual(image.pixel(0, 0), (0, 0, 0, 0))


class PngBytesTest(unittest.TestCase):
    def test_equal_to_the_library_encoding_and_decodes_back(self):
        with Image.from_array(gradient(300, 200)) as image:
            data = image.to_png_bytes()
            length = ctypes.c_int32(0)
            buffer = (ctypes.c_uint8 * len(data))()
            rasterkit.library.rasterkit_pngbytebuffer_from_img(image._live(), buffer, len(data), ctypes.byref(length))
            self.assertEqual(data, bytes(buffer[: length.value]))
            with Image.from_png_bytes(data) as back:
                numpy.testing.assert_array_equal(numpy.asarray(back), numpy.asarray(image))


def png_declaring(width, height):
    """A grey PNG header of the size given with no pixel data."""
    def chunk(kind, data):
        return len(data).to_bytes(4, "big") + kind + data + zlib.crc32(kind + data).to_bytes(4, "big")
    header = width.to_bytes(4, "big") + height.to_bytes(4, "big") + bytes([8, 0, 0, 0, 0])
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", b"") + chunk(b"IEND", b"")


class HeaderAndLimitTest(Folder):
    def test_probe_reads_the_header_only(self):
        huge = self.path("huge.png")
        with open(huge, "wb") as f:
            f.write(png_declaring(20000, 20000))
        self.assertEqual(rasterkit.probe(huge)[:3], ("png", 20000, 20000))
        self.assertEqual(rasterkit.probe(huge).width, 20000)
        with self.assertRaises(RasterkitError):
            rasterkit.probe(self.path("missing.png"))

    def test_limit_refuses_reads_and_conversions(self):
        huge = self.path("huge.png")
        with open(huge, "wb") as f:
            f.write(png_declaring(20000, 20000))
        with self.assertRaisesRegex(RasterkitError, "20000x20000.*268435456.*max_pixels") as caught:
            Image.read(huge)
        self.assertEqual(caught.exception.path, huge)
        with self.assertRaisesRegex(rasterkit.DamagedImageError, "damaged PNG data"):
            Image.read(huge, max_pixels=0)  # past the limit, the reader finds no pixel data
        [result] = rasterkit.convert_files([huge], self.path("out"), max_pixels=1000)
        self.assertIn("more than the limit of 1000 ", result.error)
        with Image.from_array(gradient(40, 30)) as image:
            image.write(self.path("small.png"))
        with self.assertRaisesRegex(RasterkitError, "more than the limit of 1199 "):
            Image.read(self.path("small.png"), max_pixels=1199)
        Image.read(self.path("small.png"), max_pixels=1200).close()


class BytesTest(unittest.TestCase):
    def test_each_format_round_trips_like_a_file(self):
        with Image.from_array(gradient(33, 17)) as image, tempfile.TemporaryDirectory() as folder:
            for name in ("bmp", "png", "jpeg"):
                with self.subTest(name):
                    path = os.path.join(folder, "file." + name)
                    image.write(path, format=name)
                    data = image.to_bytes(name)
                    with open(path, "rb") as f:
                        self.assertEqual(data, f.read())
                    with Image.from_bytes(data) as back, Image.read(path) as from_file:
                        numpy.testing.assert_array_equal(numpy.asarray(back), numpy.asarray(from_file))
            self.assertNotEqual(image.to_bytes("jpeg", quality=10), image.to_bytes("jpeg"))
        with self.assertRaises(RasterkitError):
            Image.from_bytes(b"nothing here")


ORIENTATION = os.path.join(SOURCE, os.pardir, os.pardir, "tests", "data", "orientation")
UPRIGHT = {1: [], 2: ["flip_x"], 3: ["flip_x", "flip_y"], 4: ["flip_y"], 5: ["transpose"],
           6: ["transpose", "flip_x"], 7: ["transpose", "flip_x", "flip_y"], 8: ["transpose", "flip_y"]}


class OrientationAndProfileTest(Folder):
    def test_orientations_turn_upright_when_asked(self):
        for n, turn in UPRIGHT.items():
            with self.subTest(orientation=n):
                photo = os.path.join(ORIENTATION, "o%d.jpg" % n)
                self.assertEqual(rasterkit.probe(photo).orientation, n)
                with Image.read(photo) as raw, Image.read(photo, auto_orient=True) as upright:
                    for name in turn:
                        getattr(raw, name)()
                    numpy.testing.assert_array_equal(numpy.asarray(upright), numpy.asarray(raw))
        photo = os.path.join(ORIENTATION, "o6.jpg")
        [turned] = rasterkit.convert_files([photo], self.path("auto"), format="png")
        [kept] = rasterkit.convert_files([photo], self.path("kept"), format="png", auto_orient=False)
        self.assertEqual(rasterkit.probe(turned.output)[1:3], (32, 48))
        self.assertEqual(rasterkit.probe(kept.output)[1:3], (48, 32))

    @unittest.skipUnless(os.path.isdir(CORPUS), "corpus not present")
    def test_profile_is_held_carried_and_settable(self):
        photo = os.path.join(CORPUS, "jpeg", "pillow", "flower2.jpg")
        with Image.read(photo) as image:
            profile = image.icc_profile
            self.assertEqual(rasterkit.probe(photo).icc_profile.length, len(profile))
            image.write(self.path("kept.png"))
            self.assertEqual(Image.from_bytes(image.to_bytes("jpeg")).icc_profile, profile)
        with Image.read(self.path("kept.png")) as back:
            self.assertEqual(back.icc_profile, profile)
        with Image.from_array(gradient(4, 4)) as made:
            self.assertIsNone(made.icc_profile)
            made.icc_profile = profile
            made.write(self.path("given.jpg"))
            made.icc_profile = b"not a profile"
            with self.assertWarnsRegex(RuntimeWarning, "malformed: dropped"):
                made.write(self.path("dropped.png"))
        self.assertEqual(rasterkit.probe(self.path("given.jpg")).icc_profile.length, len(profile))
        self.assertIsNone(rasterkit.probe(self.path("dropped.png")).icc_profile)


class SafeWriteTest(Folder):
    def test_failed_write_raises_and_keeps_the_old_file(self):
        for ext in ("png", "bmp", "jpg"):
            with self.subTest(ext=ext):
                target = self.path("keep." + ext)
                with Image.from_array(gradient(8, 8)) as small:
                    small.write(target)
                with open(target, "rb") as f:
                    before = f.read()
                script = ("import resource, rasterkit, numpy\n"
                          "resource.setrlimit(resource.RLIMIT_FSIZE, (%d, %d))\n"
                          "noise = numpy.random.default_rng(1).integers(0, 256, (600, 800, 4), numpy.uint8)\n"
                          "try:\n    rasterkit.Image.from_array(noise).write(%r)\n"
                          "except rasterkit.RasterkitError as e:\n    print('raised:', e.path)\n"
                          % (len(before) + 4096, len(before) + 4096, target))
                child = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True)
                self.assertIn("raised: " + target, child.stdout, child.stderr)
                with open(target, "rb") as f:
                    self.assertEqual(f.read(), before)
        self.assertEqual(sorted(os.listdir(self.dir)), ["keep.bmp", "keep.jpg", "keep.png"])


class ConvertFilesTest(Folder):
    def make_inputs(self):
        os.mkdir(self.path("in"))
        for i, ext in enumerate(("png", "bmp", "jpg", "png")):
            with Image.from_array(gradient(40 + i, 30)) as image:
                image.write(self.path("in", "img%d.%s" % (i, ext)))
        with open(self.path("in", "broken.png"), "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n not really")
        return [self.path("in")]

    def check(self, results, out):
        self.assertEqual([r.ok for r in results], [False, True, True, True, True])
        self.assertIn("broken.png", results[0].error)
        for result in results[1:]:
            single = self.path("single.jpg")
            with Image.read(result.input) as image:
                image.transpose().write(single, quality=85)
            with open(single, "rb") as a, open(result.output, "rb") as b:
                self.assertEqual(a.read(), b.read(), result.output)
        self.assertEqual(len(os.listdir(out)), 4)

    def test_threads_match_single_conversions(self):
        inputs = self.make_inputs()
        out = self.path("threads")
        self.check(rasterkit.convert_files(inputs, out, "jpeg", ["transpose"], 85, workers=3), out)
        os.mkdir(self.path("other"))
        shutil.copy(self.path("in", "img0.png"), self.path("other", "img0.jpg"))
        with self.assertRaisesRegex(ValueError, "would both be written"):
            rasterkit.convert_files([self.path("in"), self.path("other")], self.path("clash"), "bmp")
        self.assertFalse(os.path.exists(self.path("clash")))

    def test_dask_local_cluster_of_processes(self):
        from distributed import Client, LocalCluster

        inputs = self.make_inputs()
        out = self.path("dask")
        with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
                Client(cluster) as client:
            self.check(rasterkit.convert_files(inputs, out, "jpeg", ["transpose"], 85, client=client), out)


class ErrorKindTest(Folder):
    def test_each_kind_has_its_class(self):
        missing = self.path("missing.png")
        with self.assertRaises(FileNotFoundError) as raised:
            Image.read(missing)
        self.assertIsInstance(raised.exception, rasterkit.RasterkitOSError)
        self.assertEqual((raised.exception.errno, raised.exception.path), (errno.ENOENT, missing))
        with self.assertRaises(rasterkit.UnsupportedImageError):
            Image.from_bytes(b"GIF89a" + bytes(20))
        with self.assertRaises(rasterkit.PixelLimitError):
            Image.from_bytes(Image(40, 40).to_bytes("png"), max_pixels=1000)
        with self.assertRaises(rasterkit.RasterkitArgumentError) as bad:
            Image(2, 2).write(self.path("a.jpg"), quality=150)
        self.assertIsInstance(bad.exception, ValueError)
        self.assertFalse(os.path.exists(self.path("a.jpg")))

    def test_damaged_data_fails_unless_accepted(self):
        whole = Image.from_array(gradient(64, 64)).to_bytes("jpeg")
        cut = whole[: len(whole) // 2]
        with self.assertRaisesRegex(rasterkit.DamagedImageError, "Premature end of JPEG file"):
            Image.from_bytes(cut)
        with self.assertWarnsRegex(RuntimeWarning, "Premature end of JPEG file"):
            self.assertEqual(Image.from_bytes(cut, accept_damaged=True).size, (64, 64))
        with open(self.path("cut.jpg"), "wb") as f:
            f.write(cut)
        failed, = rasterkit.convert_files([self.path("cut.jpg")], self.path("out"))
        self.assertIn("damaged JPEG data", failed.error)
        kept, = rasterkit.convert_files([self.path("cut.jpg")], self.path("out"), accept_damaged=True)
        self.assertTrue(kept.ok)
        self.assertIn("Premature end of JPEG file", kept.warning)

    @unittest.skipUnless(os.path.isdir(CORPUS), "corpus not present")
    def test_cmyk_jpeg_reads_as_pillow_converts_it(self):
        try:
            from PIL import Image as PillowImage
        except ImportError:
            self.skipTest("Pillow is not installed")
        path = os.path.join(CORPUS, "jpeg", "pillow", "pil_sample_cmyk.jpg")
        with self.assertWarnsRegex(RuntimeWarning, "CMYK without a colour profile"):
            ours = numpy.asarray(Image.read(path))
        with PillowImage.open(path) as opened:
            self.assertEqual(opened.mode, "CMYK")
            theirs = numpy.asarray(opened.convert("RGBA"))
        numpy.testing.assert_array_equal(ours, theirs)


def psnr(a, b):
    error = ((a[..., :3].astype(float) - b[..., :3].astype(float)) ** 2).mean()
    return float("inf") if error == 0 else 10 * numpy.log10(255 ** 2 / error)


class ScalingTest(Folder):
    def test_sizes_for_every_fit(self):
        data = Image.from_array(gradient(400, 300)).to_bytes("png")
        for geometry, size in ((dict(resize=(200, 200)), (200, 150)),
                               (dict(resize=(200, 200), fit="cover"), (200, 200)),
                               (dict(resize=(200, 200), fit="contain"), (200, 200)),
                               (dict(resize=(200, 100), fit="fill"), (200, 100)),
                               (dict(resize=(200, 200), fit="outside"), (267, 200)),
                               (dict(resize=(100, None)), (100, 75)), (dict(resize=(None, 61)), (81, 61)),
                               (dict(resize=(800, 800), enlarge=False), (400, 300)),
                               (dict(resize=(200, 200), rotate=90), (150, 200)),
                               (dict(crop=(10, 20, 100, 50), resize=(50, None)), (50, 25))):
            with self.subTest(**geometry):
                self.assertEqual(Image.from_bytes(data, **geometry).size, size)
        self.assertEqual(Image(1000, 1).resize((10, 0)).size, (10, 1))  # never below one pixel
        padded = numpy.asarray(Image.from_bytes(data, resize=(200, 200), fit="contain", background=(9, 8, 7, 6)))
        self.assertEqual(tuple(padded[0, 0]), (9, 8, 7, 6))
        self.assertEqual(padded[100, 100, 3], 200)

    def test_resizes_equal_pillows(self):
        try:
            from PIL import Image as PillowImage
        except ImportError:
            self.skipTest("Pillow is not installed")
        source = os.path.join(CORPUS, "photos", "kodim23.png")
        if not os.path.exists(source):
            self.skipTest("corpus not present")
        with PillowImage.open(source) as opened:
            rgb, grey = opened.convert("RGB"), opened.convert("L")
        # Grey pictures take a one-channel path of their own; a picture
        # narrower than the reduction's window, another.
        large_sizes = ((200, 133), (1000, 700), (77, 301))
        cases = (("RGB", rgb, large_sizes), ("L", grey, large_sizes),
                 ("narrow RGB", rgb.crop((300, 200, 311, 209)), ((2, 2), (3, 20))))
        kernels = (("lanczos3", PillowImage.LANCZOS), ("cubic", PillowImage.BICUBIC), ("linear", PillowImage.BILINEAR))
        for (mode, picture, sizes), (kernel, pillow_filter) in itertools.product(cases, kernels):
            for size in sizes:
                with self.subTest(mode=mode, kernel=kernel, size=size):
                    samples = numpy.asarray(picture.convert("RGBA"))
                    ours = numpy.asarray(Image.from_array(samples).resize(size, kernel=kernel))[..., :3].astype(int)
                    theirs = numpy.asarray(picture.resize(size, pillow_filter).convert("RGB")).astype(int)
                    difference = abs(ours - theirs)
                    self.assertGreaterEqual((difference <= 1).mean(), 0.999)
                    self.assertLessEqual(difference.max(), 2)

    def test_no_colour_comes_from_transparent_pixels(self):
        edge = numpy.zeros((40, 40, 4), numpy.uint8)
        edge[:, :20] = (255, 0, 0, 0)      # transparent red
        edge[:, 20:] = (0, 0, 255, 255)    # opaque blue
        for kernel in ("lanczos3", "linear", "mitchell"):
            for linear in (False, True):
                with self.subTest(kernel=kernel, linear=linear):
                    small = numpy.asarray(Image.from_array(edge).resize((13, 13), kernel=kernel, linear=linear))
                    self.assertEqual(small[small[..., 3] > 0][..., 0].max(), 0)
        thumbnail = numpy.asarray(Image.from_bytes(Image.from_array(edge).to_bytes("png"), resize=(4, 4)))
        self.assertEqual(thumbnail[thumbnail[..., 3] > 0][..., 0].max(), 0)

    def test_shrink_on_load_stays_close_to_the_exact_kernel(self):
        source = os.path.join(CORPUS, "large", "bythewater-2560x1600.jpg")
        if not os.path.exists(source):
            self.skipTest("corpus not present")
        shrunk = numpy.asarray(Image.read(source, resize=(256, 256)))
        exact = numpy.asarray(Image.read(source, resize=(256, 256), exact=True))
        self.assertEqual(shrunk.shape, (160, 256, 4))
        self.assertGreater(psnr(shrunk, exact), 45.0)
        array = numpy.asarray(Image.read(source, resize=(224, 224), fit="cover"))
        self.assertEqual(array.shape, (224, 224, 4))

    def test_bad_geometry_is_refused(self):
        image = Image.from_array(gradient(40, 30))
        data = image.to_bytes("png")
        for geometry, said in ((dict(resize=(-1, 10)), "resize needs a positive"),
                               (dict(resize=(10, 10), kernel="bogus"), "unknown kernel 'bogus'"),
                               (dict(resize=(10, 10), fit="bogus"), "unknown fit 'bogus'"),
                               (dict(crop=(30, 0, 20, 10)), "crop 30,0,20,10 leaves the 40x30 image"),
                               (dict(resize=(100000, 100000), fit="fill"), "more than the limit"),
                               (dict(rotate=45), "rotate takes 0, 90, 180 or 270")):
            with self.subTest(**geometry):
                with self.assertRaisesRegex(rasterkit.RasterkitArgumentError, said):
                    Image.from_bytes(data, **geometry)
        with self.assertRaises(ValueError):
            image.crop(0, 0, 41, 1)
        self.assertEqual(image.size, (40, 30))

    def test_convert_files_makes_thumbnails(self):
        source = os.path.join(CORPUS, "large", "bythewater-2560x1600.jpg")
        if not os.path.exists(source):
            self.skipTest("corpus not present")
        result, = rasterkit.convert_files([source], self.path("out"), format="png", resize=(64, 64), fit="cover",
                                          rotate=90)
        self.assertTrue(result.ok, result.error)
        self.assertEqual(rasterkit.probe(result.output)[1:3], (64, 64))


@unittest.skipUnless(os.path.isdir(CORPUS), "corpus not present")
class PngWriterTest(Folder):
    """The PNG writer checked by decoders that are not its own: Pillow and pngcheck."""

    def decoded_by_pillow(self, data):
        from PIL import Image as PillowImage
        with PillowImage.open(io.BytesIO(data)) as opened:
            return numpy.asarray(opened.convert("RGBA"))

    def test_every_level_decodes_to_the_pixels(self):
        try:
            import PIL  # noqa: F401
        except ImportError:
            self.skipTest("Pillow is not installed")
        # Every corpus PNG and small photograph at every level; the large photographs,
        # whose strongest levels take seconds each, at the fast levels and the default.
        small = sorted(glob.glob(os.path.join(CORPUS, "pngsuite", "*.png")) +
                       glob.glob(os.path.join(CORPUS, "photos", "*")))
        large = sorted(glob.glob(os.path.join(CORPUS, "large", "*.jpg")))
        for path, levels in [(p, range(10)) for p in small] + [(p, (None, 0, 2)) for p in large]:
            try:
                image = Image.read(path)
            except RasterkitError:
                continue  # the corpus's broken files
            pixels = numpy.asarray(image)
            for level in levels:
                with self.subTest(path=os.path.basename(path), level=level):
                    data = image.to_bytes("png", compression=level)
                    numpy.testing.assert_array_equal(self.decoded_by_pillow(data), pixels)
                    numpy.testing.assert_array_equal(numpy.asarray(Image.from_bytes(data)), pixels)

    def test_pngcheck_finds_the_chunks_valid(self):
        if shutil.which("pngcheck") is None:
            self.skipTest("pngcheck is not installed")
        with Image.read(os.path.join(CORPUS, "jpeg", "pillow", "flower2.jpg")) as photo:
            photo.write(self.path("profile.png"))
            profile = photo.icc_profile
            photo.icc_profile = None
            photo.write(self.path("plain.png"))
        for name, colour_chunk in (("profile.png", "iCCP"), ("plain.png", "sRGB")):
            with self.subTest(name):
                report = subprocess.run(["pngcheck", "-v", self.path(name)], capture_output=True, text=True)
                self.assertEqual(report.returncode, 0, report.stdout)
                chunks = re.findall(r"chunk (\w{4})", report.stdout)
                self.assertEqual(sorted(set(chunks), key=chunks.index), ["IHDR", colour_chunk, "IDAT", "IEND"])
        self.assertEqual(Image.read(self.path("profile.png")).icc_profile, profile)


class JpegWriterTest(Folder):
    def test_progressive_and_chroma_keep_the_pixels_and_apply_to_jpeg_only(self):
        image = Image.from_array(gradient(64, 48))
        baseline = image.to_bytes("jpeg", quality=80)
        layered = image.to_bytes("jpeg", quality=80, progressive=True)
        self.assertIn(b"\xff\xc2", layered)
        numpy.testing.assert_array_equal(numpy.asarray(Image.from_bytes(layered)),
                                         numpy.asarray(Image.from_bytes(baseline)))
        self.assertGreater(len(image.to_bytes("jpeg", quality=80, chroma=444)), len(baseline))
        with self.assertRaisesRegex(ValueError, "progressive applies to JPEG output only"):
            image.to_bytes("png", progressive=True)
        with self.assertRaisesRegex(ValueError, "chroma must be 444 or 420"):
            rasterkit.convert_files([], self.path("out"), format="jpeg", chroma=422)


class ExamplesTest(Folder):
    def test_examples_run(self):
        with Image.from_array(gradient(10, 6)) as image:
            image.write(self.path("in.png"))
        examples = os.path.join(SOURCE, "examples")
        for script, args in (("numpy_view.py", [self.path("in.png"), self.path("dark.png")]),
                             ("batch_threads.py", [self.dir, self.path("jpeg")]),
                             ("dask_cluster.py", ["", self.dir, self.path("dask")]),
                             ("training_batches.py", [self.dir, "1"])):
            with self.subTest(script):
                child = subprocess.run([sys.executable, os.path.join(examples, script), *args], capture_output=True)
                self.assertEqual(child.returncode, 0, child.stdout + child.stderr)


if __name__ == "__main__":
    unittest.main()
