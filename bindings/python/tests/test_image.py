"""The Image class against the real shared library."""
import gc
import os
import sys
import tempfile
import unittest

import rasterkit
from rasterkit import Image, RasterkitError

EXAMPLES = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "examples")

CORPUS = os.environ.get("RASTERKIT_CORPUS", "")


class BindingTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def test_exported_function_types(self):
        self.assertEqual(rasterkit.library.rasterkit_exportedtestfn(65536, 1), 1)
        self.assertEqual(rasterkit.library.rasterkit_exportedtestfn(-3, 4), 25)

    def test_pixels_and_transforms(self):
        with Image(3, 2) as image:
            image.pixel(0, 0, (255, 0, 0, 255))
            image.pixel(2, 1, (1, 2, 3, 4))
            self.assertEqual(image.pixel(2, 1), (1, 2, 3, 4))
            image.transpose().flip_x()  # quarter turn clockwise
            self.assertEqual(image.size, (2, 3))
            self.assertEqual(image.pixel(1, 0), (255, 0, 0, 255))
            image.flip_y().flip_y()
            self.assertEqual(image.pixel(1, 0), (255, 0, 0, 255))
            with self.assertRaises(IndexError):
                image.pixel(2, 0)

    def test_files_by_extension_and_format(self):
        with Image(5, 4) as image:
            image.pixel(4, 3, (10, 20, 30, 0))
            for name, kind in (("a.png", "png"), ("a.bmp", "bmp"), ("a.jpg", "jpeg")):
                image.write(self.path(name))
                self.assertEqual(rasterkit.magic_type(self.path(name)), kind)
            image.write(self.path("b.dat"), format="bmp")
            image.write(self.path("c.jpg"), quality=80)
            with Image.read(self.path("a.png")) as back:
                self.assertEqual(back.pixel(4, 3), (10, 20, 30, 0))
            with Image.read(self.path("b.dat")) as back:
                self.assertEqual(back.pixel(4, 3), (10, 20, 30, 255))

    def test_png_bytes_round_trip(self):
        with Image(7, 3) as image:
            image.pixel(6, 2, (9, 8, 7, 6))
            data = image.to_png_bytes()
            self.assertEqual(data[:8], b"\x89PNG\r\n\x1a\n")
            with Image.from_png_bytes(data) as back:
                self.assertEqual(back.size, (7, 3))
                self.assertEqual(back.pixel(6, 2), (9, 8, 7, 6))
        with self.assertRaises(RasterkitError):
            Image.from_png_bytes(b"not a png at all")

    def test_failures_raise(self):
        with self.assertRaises(RasterkitError):
            Image.read(self.path("missing.png"))
        with Image(1, 1) as image, self.assertRaises(RasterkitError):
            image.write(self.path("no/such/dir.png"))

    def test_records_are_freed(self):
        image = Image(2, 2)
        image.close()
        image.close()
        self.assertEqual(repr(image), "Image(closed)")
        with self.assertRaises(ValueError):
            image.width
        for _ in range(100):
            Image(64, 64)
        gc.collect()

    def test_readme_example(self):
        sys.path.insert(0, EXAMPLES)
        import quarter_turn as example

        with Image(4, 2) as image:
            image.pixel(0, 0, (1, 2, 3, 255))
            image.write(self.path("in.bmp"))
        self.assertEqual(example.quarter_turn(self.path("in.bmp"), self.path("out.png")), (2, 4))
        with Image.read(self.path("out.png")) as turned:
            self.assertEqual(turned.pixel(1, 0), (1, 2, 3, 255))

    @unittest.skipUnless(os.path.isdir(CORPUS), "corpus not present")
    def test_corpus_files(self):
        with Image.read(os.path.join(CORPUS, "jpeg", "libjpeg-turbo", "testorig.jpg")) as image:
            self.assertEqual(image.size, (227, 149))
        with Image.read(os.path.join(CORPUS, "bmpsuite", "g", "rgb24.bmp")) as image:
            self.assertEqual(image.size, (127, 64))


if __name__ == "__main__":
    unittest.main()
