/*
 * rasterkit_convert: the files around the pixels, on top of rasterkit.
 *
 * Probes headers without decoding, refuses images above a pixel limit before
 * any pixel memory is taken, reads and writes files, bytes in memory and
 * descriptors (standard input and output), writes files safely (a temporary
 * file beside the target, checked complete, renamed over it), converts one
 * file and plans a batch. The same rules serve the rasterkit tool and the
 * Python package.
 *
 * Every function is thread-safe and keeps no state between calls. Nothing is
 * printed: each function that can fail takes `char **message` and, when it is
 * not NULL, stores there text for the caller, allocated with malloc and freed
 * with rkconv_free: on failure one line, "FILE: what went wrong" where a file
 * is at fault; on success NULL, or the warnings, one line each ("FILE:
 * what"), decoders' warnings among them. Functions return 0 on success and -1
 * on failure; rkconv_message_kind tells the kind of a failure.
 */
#ifndef RASTERKIT_CONVERT_H
#define RASTERKIT_CONVERT_H

#include <stddef.h>
#include <stdint.h>

#include "rasterkit.h"

#if defined(__GNUC__)
#  define RKCONV_API __attribute__((visibility("default")))
#else
#  define RKCONV_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Formats, as rasterkit numbers them, and two choices for written files. */
#define RKCONV_FORMAT_BY_NAME 0  /* by the output name's extension; PNG after a warning when unknown */
#define RKCONV_FORMAT_BMP 1
#define RKCONV_FORMAT_PNG 2
#define RKCONV_FORMAT_JPEG 3
#define RKCONV_FORMAT_OF_INPUT 4 /* the format the input file has (conversions only) */

#define RKCONV_TRANSFORM_FLIP_X 1
#define RKCONV_TRANSFORM_FLIP_Y 2
#define RKCONV_TRANSFORM_TRANSPOSE 3

/* What conversions do with an input's ICC colour profile. */
#define RKCONV_PROFILE_KEEP 0    /* carry it into PNG and JPEG output (default) */
#define RKCONV_PROFILE_STRIP 1   /* write no profile */
#define RKCONV_PROFILE_TO_SRGB 2 /* convert the pixels from it to sRGB, write no profile */

/* Kinds of failure, told by rkconv_message_kind. */
#define RKCONV_ERROR_NONE 0          /* success (the message holds warnings) */
#define RKCONV_ERROR_PIXEL_LIMIT 1   /* the header declares more pixels than the limit */
#define RKCONV_ERROR_NOT_AN_IMAGE 2  /* no BMP, PNG or JPEG, or a variant that is not supported */
#define RKCONV_ERROR_DAMAGED 3       /* the data is corrupt or ends early */
#define RKCONV_ERROR_IO 4            /* a file could not be opened, read or written (rkconv_message_errno) */
#define RKCONV_ERROR_OUT_OF_MEMORY 5
#define RKCONV_ERROR_BAD_ARGUMENT 6  /* a setting or argument that cannot work */

/* Default pixel limit: 16384 x 16384. A limit of 0 means the rasterkit
 * record's own ceiling of 2^29 pixels. */
#define RKCONV_DEFAULT_MAX_PIXELS 268435456u

RKCONV_API void rkconv_free(void *block);
RKCONV_API const char *rkconv_version(void);
/* The kind (RKCONV_ERROR_) and the system's error number (errno, for
 * RKCONV_ERROR_IO; else 0) of a message this library handed over. */
RKCONV_API int32_t rkconv_message_kind(const char *message);
RKCONV_API int32_t rkconv_message_errno(const char *message);

/* Settings for reads, writes and conversions; NULL stands for the defaults
 * everywhere. The object only grows: new settings come as new setters. A
 * setter refuses a value out of its range with -1 and keeps the reason: every
 * call with these options then fails with it as RKCONV_ERROR_BAD_ARGUMENT,
 * until the setting is given a valid value. */
typedef struct rkconv_options rkconv_options;
RKCONV_API rkconv_options *rkconv_options_new(void);
RKCONV_API void rkconv_options_free(rkconv_options *options);
/* Pixel limit of every read (default RKCONV_DEFAULT_MAX_PIXELS; 0: 2^29). */
RKCONV_API int32_t rkconv_options_set_max_pixels(rkconv_options *options, uint64_t max_pixels);
/* Format of written files: an RKCONV_FORMAT_ code (default BY_NAME). */
RKCONV_API int32_t rkconv_options_set_format(rkconv_options *options, int32_t format);
/* JPEG quality 0..100, or -1 for rasterkit's choice of 100 (the default).
 * Given for a write whose output is not JPEG, it is refused (outputs that
 * keep their input's format take it where they are JPEG). */
RKCONV_API int32_t rkconv_options_set_quality(rkconv_options *options, int32_t quality);
/* Written JPEG files have Huffman tables built for the image (libjpeg's
 * optimize_coding: the same pixels as rasterkit's writer gives at the same
 * quality, in fewer bytes). 1 writes them progressive (libjpeg's simple
 * progression, the same pixels again); 0 or -1 (not given) baseline.
 * Refused for other outputs like the quality. */
RKCONV_API int32_t rkconv_options_set_progressive(rkconv_options *options, int32_t enabled);
/* Chroma sampling of written JPEG files: 444 keeps the colour at full
 * resolution, 420 (libjpeg's default) halves it both ways; 0 for the
 * default. Refused for other outputs like the quality. */
RKCONV_API int32_t rkconv_options_set_chroma(rkconv_options *options, int32_t subsampling);
/* Compression level 0..9 of written PNG files (0 stores; 1 to 9 are
 * libdeflate's levels 1, 2, 3, 5, 6, 8, 10, 11 and 12), or -1 for the
 * library's default (2: faster and smaller on photographs than zlib's level
 * 3); refused for other outputs like the quality. */
RKCONV_API int32_t rkconv_options_set_compression(rkconv_options *options, int32_t level);
/* Appends a transform, applied after reading (and after turning the image
 * upright) in the order added. */
RKCONV_API int32_t rkconv_options_add_transform(rkconv_options *options, int32_t transform);
/* Whether reads turn the image upright by its EXIF orientation (default 1):
 * the eight orientations become rasterkit's mirrors and transpose. */
RKCONV_API int32_t rkconv_options_set_auto_orient(rkconv_options *options, int32_t enabled);
/* An RKCONV_PROFILE_ code (default KEEP). TO_SRGB acts in conversions. */
RKCONV_API int32_t rkconv_options_set_profile(rkconv_options *options, int32_t profile);
/* Damaged data (a JPEG or PNG that ends early or is corrupt) fails a read
 * by default (RKCONV_ERROR_DAMAGED). Enabled, what decodes is kept (libjpeg
 * fills the rest grey, a PNG's missing rows are transparent black) and the
 * read succeeds with the damage as a warning. */
RKCONV_API int32_t rkconv_options_set_accept_damaged(rkconv_options *options, int32_t enabled);

/* Geometry, applied in this order after the image is turned upright: the
 * crop, the resize to fit a box, the rotation; then the transforms. */
/* Fit the image to a box width x height (0 for a side not given, which then
 * follows the aspect ratio; at least one side positive). Sizes round to the
 * nearest pixel, never below 1. */
RKCONV_API int32_t rkconv_options_set_resize(rkconv_options *options, int32_t width, int32_t height);
/* inside (default: within the box), cover (fill the box, the overflow
 * cropped at the position), contain (within the box, padded to it with the
 * background), fill (the box exactly, aspect ratio ignored), outside (at
 * least the box). */
RKCONV_API int32_t rkconv_options_set_fit(rkconv_options *options, const char *fit);
/* centre (default), top, bottom, left, right, top-left, top-right,
 * bottom-left, bottom-right: where cover crops and contain places. */
RKCONV_API int32_t rkconv_options_set_position(rkconv_options *options, const char *position);
/* "R,G,B" or "R,G,B,A", each 0 to 255 (default transparent black: black in
 * JPEG and BMP, which have no alpha). */
RKCONV_API int32_t rkconv_options_set_background(rkconv_options *options, const char *colour);
/* Whether a resize may make the image larger (default 1). */
RKCONV_API int32_t rkconv_options_set_enlarge(rkconv_options *options, int32_t enabled);
/* nearest, linear, cubic (Catmull-Rom), mitchell, lanczos2, lanczos3 (default). */
RKCONV_API int32_t rkconv_options_set_kernel(rkconv_options *options, const char *kernel);
/* Filter in linear light instead of on the stored sRGB values. */
RKCONV_API int32_t rkconv_options_set_linear(rkconv_options *options, int32_t enabled);
/* The pure kernel on the full decode: no shrink-on-load (JPEG at 1/2, 1/4 or
 * 1/8) and no box reduction ahead of the kernel, which are used by default
 * when reducing and leave the kernel at least a 2x reduction. */
RKCONV_API int32_t rkconv_options_set_exact(rkconv_options *options, int32_t enabled);
/* Cut the rectangle at (x, y) of width x height out of the upright image; a
 * rectangle that leaves the image fails the read. */
RKCONV_API int32_t rkconv_options_set_crop(rkconv_options *options, int32_t x, int32_t y, int32_t width,
                                          int32_t height);
/* 0, 90, 180 or 270 degrees clockwise. */
RKCONV_API int32_t rkconv_options_set_rotate(rkconv_options *options, int32_t degrees);

/* What a file says about its pixels: the EXIF orientation (IFD0 tag 0x0112
 * of a JPEG's APP1 Exif segment or a PNG's eXIf chunk before the pixel data,
 * read with libexif; values outside 1 to 8 count as 1) and the ICC profile
 * (a JPEG's APP2 ICC_PROFILE segments joined in order, a PNG's iCCP chunk
 * decompressed; at most 16 MiB). Probes and reads fill it; writes carry its
 * profile when it is an RGB profile (others are dropped with a warning). */
typedef struct rkconv_metadata rkconv_metadata;
RKCONV_API rkconv_metadata *rkconv_metadata_new(void);
RKCONV_API void rkconv_metadata_free(rkconv_metadata *metadata);
RKCONV_API int32_t rkconv_metadata_orientation(const rkconv_metadata *metadata);
/* The profile's bytes (NULL when there is none), valid until the metadata
 * changes or is freed; its length goes to *length. */
RKCONV_API const uint8_t *rkconv_metadata_icc_profile(const rkconv_metadata *metadata, size_t *length);
/* The profile's description (Little CMS's reading of its desc tag); "" when
 * there is none or it cannot be read. */
RKCONV_API const char *rkconv_metadata_icc_description(const rkconv_metadata *metadata);
/* Replaces the profile; NULL or 0 bytes remove it. */
RKCONV_API int32_t rkconv_metadata_set_icc_profile(rkconv_metadata *metadata, const uint8_t *profile, size_t length);

/* The format rasterkit's writer picks for a file name by its extension
 * (.bmp, .png, .jpg, .jpeg in any case), or BY_NAME where it would fall back
 * to PNG with a warning. */
RKCONV_API int32_t rkconv_format_from_extension(const char *path);

/* The code of a format name (bmp, png, jpeg, jpg), or -1; and the name of
 * a code ("unknown" for others). */
RKCONV_API int32_t rkconv_format_from_name(const char *name);
RKCONV_API const char *rkconv_format_name(int32_t format);

/* What a write with these options will produce. */
typedef struct rkconv_write_facts {
    int32_t format;         /* BMP, PNG or JPEG; OF_INPUT while the input is not known */
    const char *extension;  /* bmp, png or jpg; "" for OF_INPUT */
    int32_t quality;        /* JPEG quality, else -1 */
    int32_t compression;    /* PNG level, else -1 */
} rkconv_write_facts;
/* Says what writing `path` (NULL: bytes or a descriptor) with these options
 * will produce, the input being of `input_format` (-1 when not known), or
 * fails with RKCONV_ERROR_BAD_ARGUMENT and why the settings cannot work. The
 * message may warn that an unknown extension is written as PNG. Nothing is
 * written. */
RKCONV_API int32_t rkconv_describe_write(const rkconv_options *options, const char *path, int32_t input_format,
                                         rkconv_write_facts *facts, char **message);

/* Applies the options' geometry (crop, resize, rotation) and then their
 * transforms to an image in memory; a setting that cannot work on it (a crop
 * that leaves it, a size above the pixel limit) fails before it changes. */
RKCONV_API int32_t rkconv_apply_geometry(rasterkit_image *image, const rkconv_options *options, char **message);

/* What a header tells. */
typedef struct rkconv_header {
    int32_t format; /* RKCONV_FORMAT_BMP, _PNG or _JPEG */
    int32_t width;
    int32_t height;
} rkconv_header;

/* Format and size from the header alone: the file's first bytes tell the
 * format and the header is read with the format's own parser. Every file the
 * readers read gives the size they give; a file refused here is refused by
 * the readers too. No pixel memory is allocated. The message says what is
 * wrong with the header; the caller names the file. `metadata` may be NULL;
 * else it receives the orientation and profile. */
RKCONV_API int32_t rkconv_probe_file(const char *path, rkconv_header *header, rkconv_metadata *metadata,
                                     char **message);
RKCONV_API int32_t rkconv_probe_bytes(const uint8_t *bytes, size_t length, rkconv_header *header,
                                      rkconv_metadata *metadata, char **message);
/* Reads the descriptor to its end first (standard input, a pipe). */
RKCONV_API int32_t rkconv_probe_descriptor(int fd, rkconv_header *header, rkconv_metadata *metadata,
                                           char **message);

/* Reads a file, bytes or a descriptor (to its end) into `image`, the format
 * told by the content, after the header passed the pixel limit, and turns it
 * upright unless the options say otherwise. `metadata` (may be NULL) receives
 * what the file said. On failure the image and metadata are as they were.
 * The options' geometry (crop, resize, rotation) is applied, shrinking on
 * load where it can; their transforms are not. */
RKCONV_API int32_t rkconv_read_file(const char *path, const rkconv_options *options, rasterkit_image *image,
                                    rkconv_metadata *metadata, char **message);
RKCONV_API int32_t rkconv_read_bytes(const uint8_t *bytes, size_t length, const rkconv_options *options,
                                     rasterkit_image *image, rkconv_metadata *metadata, char **message);
RKCONV_API int32_t rkconv_read_descriptor(int fd, const rkconv_options *options, rasterkit_image *image,
                                          rkconv_metadata *metadata, char **message);

/* Writes `image` in the options' format (by the name's extension for a file
 * when BY_NAME; PNG, with a warning in `message`, for an unknown extension).
 * PNG and JPEG are encoded here, PNG by the library's own writer on
 * libdeflate, JPEG on libjpeg's full interface: PNG as RGB when every alpha
 * is 255, else RGBA, with adaptive filters, the options' compression and an
 * sRGB chunk, every file decoding to exactly the image's pixels; JPEG with
 * the calls and defaults of rasterkit's writer, giving its pixels for the
 * same image and quality, and Huffman tables built for the image (see
 * rkconv_options_set_progressive). BMP is rasterkit's
 * writer. A write error says its cause ("No space left on device").
 * A file is written safely: to a temporary file in the target's
 * folder, checked complete (a BMP as long as its header says, a PNG ending
 * with its end chunk, a JPEG with its end-of-image marker), synced and renamed
 * over the target, so a failure leaves the target as it was, or absent. A
 * symbolic link is followed and the file it names replaced; an existing
 * target that is not a regular file is written straight through. Bytes come
 * back in a malloc'd buffer; a descriptor receives the whole checked file or
 * nothing. An image without pixels is written as 1x1 transparent black.
 * With `metadata` (may be NULL) its RGB profile goes into PNG (an iCCP chunk
 * instead of sRGB) and JPEG (APP2 segments) unless the options strip it;
 * BMP has no place for one. */
RKCONV_API int32_t rkconv_write_file(const char *path, const rasterkit_image *image, const rkconv_options *options,
                                     const rkconv_metadata *metadata, char **message);
RKCONV_API int32_t rkconv_write_bytes(const rasterkit_image *image, const rkconv_options *options,
                                      const rkconv_metadata *metadata, uint8_t **bytes, size_t *length,
                                      char **message);
RKCONV_API int32_t rkconv_write_descriptor(int fd, const rasterkit_image *image, const rkconv_options *options,
                                           const rkconv_metadata *metadata, char **message);

/* One conversion: reads `input` (a path, or NULL for descriptor input_fd read
 * to its end) with the limit, turns it upright (unless the options say
 * otherwise), applies the transforms in order, deals with its profile as the
 * options say, and writes `output` (a path, written safely, or NULL for
 * descriptor output_fd, which gets nothing unless the whole file was encoded
 * and checked). Writing to a descriptor needs a format other than BY_NAME.
 * A success may come with a warning (an unknown extension, a profile
 * dropped). */
RKCONV_API int32_t rkconv_convert(const char *input, int input_fd, const char *output, int output_fd,
                                  const rkconv_options *options, char **message);

/* rkconv_convert with memory on either side: the input is the file at
 * `input` or, when it is NULL, the `length` bytes at `bytes` (read in place
 * during the call); the output is the file at `output` (written safely) or,
 * when it is NULL, a malloc'd block handed over at *encoded (*encoded_length
 * bytes; needs a format other than BY_NAME; free it with rkconv_free). With
 * `written` (may be NULL) the call also says what it wrote: the format and
 * the size of the image. */
RKCONV_API int32_t rkconv_convert_memory(const char *input, const uint8_t *bytes, size_t length, const char *output,
                                         uint8_t **encoded, size_t *encoded_length, rkconv_header *written,
                                         const rkconv_options *options, char **message);

/* The files of a batch: each input, or each regular file directly inside an
 * input folder (names starting with a dot left out, sorted), goes to
 * output_dir/<name without its extension>.<ext>, ext that of `format`
 * (bmp, png, jpg) or, for BY_NAME and OF_INPUT, the input's own. Two inputs
 * that would write the same file fail the plan, the message naming both. */
typedef struct rkconv_plan rkconv_plan;
RKCONV_API int32_t rkconv_plan_batch(const char *const *inputs, size_t input_count, const char *output_dir,
                                     int32_t format, rkconv_plan **plan, char **message);
RKCONV_API size_t rkconv_plan_size(const rkconv_plan *plan);
RKCONV_API const char *rkconv_plan_input(const rkconv_plan *plan, size_t index);
RKCONV_API const char *rkconv_plan_output(const rkconv_plan *plan, size_t index);
RKCONV_API void rkconv_plan_free(rkconv_plan *plan);

/* Creates a folder and its missing parents. */
RKCONV_API int32_t rkconv_make_directories(const char *path, char **message);

/* Removes the temporary files of writes still in progress. Safe to call from
 * a signal handler (it only calls unlink), so that a host that is ended by a
 * signal leaves none behind. A host whose writes may exceed a file-size limit
 * should ignore SIGXFSZ: the write then fails and says so. */
RKCONV_API void rkconv_remove_unfinished_files(void);

#ifdef __cplusplus
}
#endif

#endif /* RASTERKIT_CONVERT_H */
