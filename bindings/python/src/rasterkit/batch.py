"""Many conversions at once: on a pool of threads here, or over a Dask cluster."""
from __future__ import annotations

import os
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass
from typing import Any, Iterable, List, Optional, Sequence, Tuple

from .errors import PathLike, RasterkitError
from .image import FORMATS, Image, magic_type

TRANSFORMS = ("flip_x", "flip_y", "transpose")
_EXTENSIONS = {"bmp": ".bmp", "png": ".png", "jpeg": ".jpg", "jpg": ".jpg"}


@dataclass(frozen=True)
class ConversionResult:
    """What became of one input: its output path, or the error that stopped it."""

    input: str
    output: Optional[str]
    error: Optional[str] = None

    @property
    def ok(self) -> bool:
        """True when the file was converted."""
        return self.error is None


def _expand(inputs: Iterable[PathLike]) -> List[str]:
    """Each input, or the regular files directly inside an input folder (dot-names left out), sorted."""
    files: List[str] = []
    for given in inputs:
        path = os.fsdecode(given)
        if not os.path.isdir(path):
            files.append(path)
            continue
        names = sorted(n for n in os.listdir(path) if not n.startswith("."))
        files.extend(os.path.join(path, n) for n in names if os.path.isfile(os.path.join(path, n)))
    return files


def _output_name(input_path: str, format: Optional[str]) -> str:
    stem, extension = os.path.splitext(os.path.basename(input_path))
    return stem + (_EXTENSIONS[format] if format is not None else extension)


def plan(inputs: Iterable[PathLike], output_dir: PathLike, format: Optional[str]) -> List[Tuple[str, str]]:
    """(input, output) pairs; ValueError naming both inputs where two would write the same file."""
    directory = os.fsdecode(output_dir)
    pairs, writer_of = [], {}
    for path in _expand(inputs):
        output = os.path.join(directory, _output_name(path, format))
        if output in writer_of:
            raise ValueError("%s and %s would both be written to %s" % (writer_of[output], path, output))
        writer_of[output] = path
        pairs.append((path, output))
    return pairs


def convert_one(input_path: str, output_path: str, format: Optional[str], transforms: Sequence[str],
                quality: Optional[int]) -> ConversionResult:
    """Reads, transforms and safely writes one file; never raises for a bad file. Runs on Dask workers too."""
    try:
        detected = None if format else magic_type(input_path)
        target_format = format or detected
        if target_format is None:
            raise RasterkitError("not a readable BMP, PNG or JPEG file", input_path)
        with Image._read_as(input_path, detected) if detected else Image.read(input_path) as image:
            for name in transforms:
                getattr(image, name)()
            jpeg_quality = quality if FORMATS[target_format] == 3 else None
            image.write(output_path, format=target_format, quality=jpeg_quality)
        return ConversionResult(input_path, output_path)
    except (RasterkitError, MemoryError, OSError) as error:
        return ConversionResult(input_path, None, str(error))


def convert_files(inputs: Iterable[PathLike], output_dir: PathLike, format: Optional[str] = None,
                  transforms: Sequence[str] = (), quality: Optional[int] = None, workers: Optional[int] = None,
                  client: Any = None) -> List[ConversionResult]:
    """Converts each input to ``output_dir/<stem>.<ext>`` with the rules of ``rasterkit convert IN... -o DIR``.

    `format` ('bmp', 'png', 'jpeg') gives every output that format and extension (jpg for JPEG); without
    it each file keeps its own format (by content) and extension. A folder among the inputs stands for the
    files directly inside it. `transforms` are 'flip_x', 'flip_y', 'transpose', applied in order; `quality`
    (0..100) applies to JPEG outputs. The output folder is created if missing.

    Returns one ConversionResult per input file, in input order; a file that cannot be read or written is
    reported in its result, never raised. Arguments that are wrong for every file raise ValueError, and two
    inputs that would write the same output raise ValueError before anything is written.

    With `client=None` the files are converted on `workers` threads (default: one per processor); the
    library releases the interpreter lock during each call, so threads run in parallel. With a
    ``dask.distributed.Client`` the files are mapped over that cluster's workers, which must have this
    package installed and see the same paths.
    """
    if format is not None and format not in FORMATS:
        raise ValueError("format must be one of bmp, png, jpeg, not %r" % (format,))
    transforms = tuple(transforms)
    for name in transforms:
        if name not in TRANSFORMS:
            raise ValueError("transforms are %s, not %r" % (", ".join(TRANSFORMS), name))
    if quality is not None and not 0 <= quality <= 100:
        raise ValueError("quality must be within 0..100, not %r" % (quality,))
    if quality is not None and format is not None and FORMATS[format] != 3:
        raise ValueError("quality applies to JPEG output only")
    pairs = plan(inputs, output_dir, format)
    os.makedirs(os.fsdecode(output_dir), exist_ok=True)
    inputs_list = [p[0] for p in pairs]
    outputs_list = [p[1] for p in pairs]
    count = len(pairs)
    if client is not None:
        futures = client.map(convert_one, inputs_list, outputs_list, [format] * count, [transforms] * count,
                             [quality] * count, pure=False)
        return client.gather(futures)
    with ThreadPoolExecutor(max_workers=workers or os.cpu_count() or 1) as pool:
        return list(pool.map(convert_one, inputs_list, outputs_list, [format] * count, [transforms] * count,
                             [quality] * count))
