"""Many conversions at once: on a pool of threads here, or over a Dask cluster."""
from __future__ import annotations

import ctypes
import os
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass
from typing import Any, Iterable, List, Optional, Sequence, Tuple

from ._conversion import (DEFAULT_MAX_PIXELS, FORMAT_OF_INPUT, PROFILE_KEEP, PROFILE_STRIP, PROFILE_TO_SRGB,
                          TRANSFORM_CODES, Geometry, Message, Options, error, format_code)
from ._library import conversion
from .errors import PathLike

TRANSFORMS = tuple(TRANSFORM_CODES)

# What one conversion needs, plain enough to travel to a Dask worker.
Settings = Tuple[int, Tuple[str, ...], Optional[int], int, Optional[int], bool, int, bool, Geometry, bool, Optional[int]]


@dataclass(frozen=True)
class ConversionResult:
    """What became of one input: its output path, or the error that stopped it; `warning` says what a
    success had to say (a colour profile dropped), else None."""

    input: str
    output: Optional[str]
    error: Optional[str] = None
    warning: Optional[str] = None

    @property
    def ok(self) -> bool:
        """True when the file was converted."""
        return self.error is None


def plan(inputs: Iterable[PathLike], output_dir: PathLike, code: int) -> List[Tuple[str, str]]:
    """(input, output) pairs by the library's batch rules; ValueError naming both inputs where two would
    write the same file."""
    names = [os.fsencode(p) for p in inputs]
    array = (ctypes.c_char_p * len(names))(*names)
    handle, message = ctypes.c_void_p(), Message()
    if conversion.rkconv_plan_batch(array, len(names), os.fsencode(output_dir), code, ctypes.byref(handle),
                                    message.ref) != 0:
        raise error(message)
    try:
        return [(os.fsdecode(conversion.rkconv_plan_input(handle, i)), os.fsdecode(conversion.rkconv_plan_output(handle, i)))
                for i in range(conversion.rkconv_plan_size(handle))]
    finally:
        conversion.rkconv_plan_free(handle)


def convert_one(input_path: str, output_path: str, settings: Settings) -> ConversionResult:
    """Reads with the pixel limit, transforms and safely writes one file; never raises for a bad file.
    Runs on Dask workers too."""
    (format, transforms, quality, max_pixels, compression, auto_orient, profile, accept_damaged, geometry,
     progressive, chroma) = settings
    options = Options(format=format, quality=quality, max_pixels=max_pixels, transforms=transforms,
                      compression=compression, auto_orient=auto_orient, profile=profile,
                      accept_damaged=accept_damaged, geometry=geometry, progressive=progressive, chroma=chroma)
    message = Message()
    if conversion.rkconv_convert(os.fsencode(input_path), -1, os.fsencode(output_path), -1, options.handle,
                                 message.ref) != 0:
        return ConversionResult(input_path, None, message.text())
    return ConversionResult(input_path, output_path, None, message.text())


def convert_files(inputs: Iterable[PathLike], output_dir: PathLike, format: Optional[str] = None,
                  transforms: Sequence[str] = (), quality: Optional[int] = None, workers: Optional[int] = None,
                  client: Any = None, max_pixels: int = DEFAULT_MAX_PIXELS,
                  compression: Optional[int] = None, auto_orient: bool = True, strip: bool = False,
                  to_srgb: bool = False, accept_damaged: bool = False, resize: Optional[Tuple[int, int]] = None,
                  fit: Optional[str] = None, position: Optional[str] = None,
                  background: Optional[Tuple[int, ...]] = None, kernel: Optional[str] = None, linear: bool = False,
                  exact: bool = False, enlarge: bool = True, crop: Optional[Tuple[int, int, int, int]] = None,
                  rotate: Optional[int] = None, progressive: bool = False,
                  chroma: Optional[int] = None) -> List[ConversionResult]:
    """Converts each input to ``output_dir/<stem>.<ext>`` with the rules of ``rasterkit convert IN... -o DIR``.

    `format` ('bmp', 'png', 'jpeg') gives every output that format and extension (jpg for JPEG); without
    it each file keeps its own format (by content) and extension. A folder among the inputs stands for the
    files directly inside it. `transforms` are 'flip_x', 'flip_y', 'transpose', applied in order; `quality`
    (0..100), `progressive` and `chroma` (444 or 420) apply to JPEG outputs, `compression` (PNG level 0..9, default 2: 0 stores, 9 smallest) to PNG outputs. The output folder is created if missing. A file whose header
    declares more than `max_pixels` pixels fails without being decoded (default 268435456; 0 allows up
    to the library's ceiling of 2**29). Each image is first turned upright by its EXIF orientation unless
    `auto_orient` is False (the outputs carry no EXIF); `transforms` apply after that. A colour profile is
    carried into PNG and JPEG outputs unless `strip`; `to_srgb` converts the pixels to sRGB instead.
    A file whose data is damaged (ends early, corrupt) fails unless `accept_damaged`, which converts what
    decodes and reports the damage in the result's `warning`.

    Geometry, in this order after the turn upright: `crop=(x, y, width, height)`; `resize=(width,
    height)` fits a box (a side of 0 or None follows the aspect ratio) by `fit` ('inside' default,
    'cover' crops the overflow at `position`, 'contain' pads with `background` (R, G, B[, A]), 'fill',
    'outside'), never enlarging when `enlarge` is False, with `kernel` (default lanczos3) and, unless
    `exact`, a JPEG shrunk on load and a box reduction for large reductions; `rotate` 90, 180 or 270
    clockwise; then `transforms`.

    Returns one ConversionResult per input file, in input order; a file that cannot be read or written is
    reported in its result, never raised. Arguments that are wrong for every file raise ValueError, and two
    inputs that would write the same output raise ValueError before anything is written.

    With `client=None` the files are converted on `workers` threads (default: one per processor); the
    library releases the interpreter lock during each call, so threads run in parallel. With a
    ``dask.distributed.Client`` the files are mapped over that cluster's workers, which must have this
    package installed and see the same paths.
    """
    code = format_code(format, FORMAT_OF_INPUT)
    transforms = tuple(transforms)
    for name in transforms:
        if name not in TRANSFORMS:
            raise ValueError("transforms are %s, not %r" % (", ".join(TRANSFORMS), name))
    if strip and to_srgb:
        raise ValueError("strip and to_srgb exclude each other")
    profile = PROFILE_STRIP if strip else PROFILE_TO_SRGB if to_srgb else PROFILE_KEEP
    geometry = Geometry(resize=resize, fit=fit, position=position, background=background, kernel=kernel,
                        linear=linear, exact=exact, enlarge=enlarge, crop=crop, rotate=rotate)
    settings = (code, transforms, quality, max_pixels, compression, bool(auto_orient), profile, bool(accept_damaged),
                geometry, bool(progressive), chroma)
    # Settings the library refuses fail here, before any file is planned or touched.
    Options(format=code, quality=quality, max_pixels=max_pixels, compression=compression, geometry=geometry,
            progressive=progressive, chroma=chroma).check()
    pairs = plan(inputs, output_dir, code)
    message = Message()
    if conversion.rkconv_make_directories(os.fsencode(output_dir), message.ref) != 0:
        raise error(message, output_dir)
    inputs_list = [p[0] for p in pairs]
    outputs_list = [p[1] for p in pairs]
    count = len(pairs)
    if client is not None:
        futures = client.map(convert_one, inputs_list, outputs_list, [settings] * count, pure=False)
        return client.gather(futures)
    with ThreadPoolExecutor(max_workers=workers or os.cpu_count() or 1) as pool:
        return list(pool.map(convert_one, inputs_list, outputs_list, [settings] * count))
