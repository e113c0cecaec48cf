"""Builds the C library with CMake and ships it inside the package.

The version is the library's own, read from the project's CMakeLists.txt.
"""
import os
import re
import shutil
import subprocess

from setuptools import setup
from setuptools.command.build_py import build_py
from setuptools.dist import Distribution

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
LIBRARIES = ("librasterkit.so.0", "librasterkit_convert.so.0")


def library_version():
    with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
        return re.search(r"project\(rasterkit VERSION ([0-9.]+)", f.read()).group(1)


class build_with_library(build_py):
    """Copies the Python sources, then builds the two shared libraries and puts them beside them."""

    def run(self):
        super().run()
        build_dir = os.path.join(os.path.abspath(self.build_lib), "..", "rasterkit-cmake")
        configure = ["cmake", "-S", ROOT, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release",
                     "-DRASTERKIT_BUILD_TESTS=OFF", "-DRASTERKIT_BUILD_TOOLS=OFF"]
        subprocess.check_call(configure, stdout=subprocess.DEVNULL)
        subprocess.check_call(["cmake", "--build", build_dir, "--target", "rasterkit_convert", "-j",
                               str(os.cpu_count() or 1)], stdout=subprocess.DEVNULL)
        for library in LIBRARIES:
            found = [os.path.join(d, library) for d, _, files in os.walk(build_dir) if library in files]
            target = os.path.join(self.build_lib, "rasterkit", library)
            shutil.copyfile(os.path.realpath(found[0]), target)
            os.chmod(target, 0o755)


class binary_distribution(Distribution):
    """The wheel holds a native library, so it is tagged for this platform."""

    def has_ext_modules(self):
        return True


setup(version=library_version(), cmdclass={"build_py": build_with_library}, distclass=binary_distribution)
