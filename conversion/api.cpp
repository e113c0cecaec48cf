// The C interface: argument checks, messages handed over as malloc'd text,
// and no exception ever crossing into the caller.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "batch_plan.h"
#include "conversion.h"
#include "metadata.h"
#include "options.h"
#include "reading.h"
#include "rasterkit_convert.h"
#include "rasterkit_rules/formats.h"
#include "scaling/kernels.h"
#include "safe_write.h"
#include "writing.h"

struct rkconv_plan {
    rkconv::batch_plan plan;
};

namespace {

using rkconv::concerning;
using rkconv::failure_kind;
using rkconv::status;

constexpr std::int32_t ok = 0;
constexpr std::int32_t failed = -1;
constexpr const char *standard_input_name = "standard input";
constexpr const char *standard_output_name = "standard output";

// The files a call is about, to name in its lines; null where there is no name.
struct names {
    const char *input = nullptr;
    const char *output = nullptr;
};

// A message is its text, a terminating zero, then the kind and the system's
// error number, so that rkconv_free and free still take it as one block.
struct message_tail {
    std::int32_t kind;
    std::int32_t system_error;
};

void hand_over(char **message, const std::string &text, std::int32_t kind, std::int32_t system_error) {
    if (message == nullptr) return;
    *message = nullptr;
    if (text.empty()) return;
    const message_tail tail{kind, system_error};
    auto *block = static_cast<char *>(std::malloc(text.size() + 1 + sizeof tail));
    if (block == nullptr) return;
    std::memcpy(block, text.c_str(), text.size() + 1);
    std::memcpy(block + text.size() + 1, &tail, sizeof tail);
    *message = block;
}

std::string named(const names &files, concerning about, const std::string &text) {
    const char *name = about == concerning::input ? files.input : about == concerning::output ? files.output : nullptr;
    return name != nullptr ? std::string(name) + ": " + text : text;
}

// A failure hands over its line; a success its warnings, one line each.
std::int32_t deliver(char **message, const status &outcome, const rkconv::warnings &said, const names &files) {
    if (!outcome.ok()) {
        hand_over(message, named(files, outcome.about, outcome.text), static_cast<std::int32_t>(outcome.kind),
                  outcome.system_error);
        return failed;
    }
    std::string lines;
    for (const rkconv::warning &w : said.list()) lines += (lines.empty() ? "" : "\n") + named(files, w.about, w.text);
    hand_over(message, lines, RKCONV_ERROR_NONE, 0);
    return ok;
}

status bad_argument(const char *text) { return rkconv::failure(failure_kind::bad_argument, text).on(concerning::neither); }

const rkconv_options &settings(const rkconv_options *options) {
    return options != nullptr ? *options : rkconv::default_options();
}

// Runs `body`, which returns a status and may add warnings; whatever it
// throws becomes a failure with a message.
template <typename Body>
std::int32_t guarded(char **message, const names &files, Body &&body) noexcept {
    try {
        rkconv::warnings said;
        const status outcome = body(said);
        return deliver(message, outcome, said, files);
    } catch (const std::bad_alloc &) {
        return deliver(message, rkconv::out_of_memory(), {}, files);
    } catch (const std::exception &error) {
        return deliver(message, rkconv::failure(failure_kind::input_output, error.what()), {}, files);
    } catch (...) {
        return deliver(message, rkconv::failure(failure_kind::input_output, "unexpected failure"), {}, files);
    }
}

// A setter's refusal, kept in the options for the calls that use them.
std::int32_t refuse(rkconv_options *options, const char *setting, const std::string &why) {
    if (options == nullptr) return failed;
    try {
        options->refused[setting] = why;
    } catch (...) {
    }
    return failed;
}

std::int32_t accept(rkconv_options *options, const char *setting) {
    options->refused.erase(setting);
    return ok;
}

status probe(const rkconv::input_place &input, rkconv_header *header, rkconv_metadata *metadata) {
    rkconv_metadata found;
    rkconv::image_header facts;
    status outcome = rkconv::probe_input(input, facts, metadata != nullptr ? &found : nullptr);
    *header = rkconv_header{facts.format, facts.width, facts.height};
    if (outcome.ok() && metadata != nullptr) *metadata = std::move(found);
    return outcome;
}

status read(const rkconv::input_place &input, const rkconv_options *options, rasterkit_image *image,
            rkconv_metadata *metadata, rkconv::warnings &said) {
    if (!settings(options).refused.empty())
        return rkconv::failure(failure_kind::bad_argument, settings(options).refused.begin()->second)
            .on(concerning::neither);
    rkconv_metadata ignored;
    rkconv::image_header header;
    return rkconv::read_input(input, settings(options), image, metadata != nullptr ? *metadata : ignored, header, said);
}

rkconv::input_place memory_input(const uint8_t *bytes, size_t length) {
    rkconv::input_place input;
    input.bytes = bytes;
    input.length = length;
    input.in_memory = true;
    return input;
}

rkconv::input_place path_input(const char *path, int fd = -1) {
    rkconv::input_place input;
    input.path = path;
    input.fd = fd;
    return input;
}

}  // namespace

extern "C" {

RKCONV_API void rkconv_free(void *block) { std::free(block); }

RKCONV_API const char *rkconv_version(void) { return RASTERKIT_CONVERT_VERSION; }

RKCONV_API int32_t rkconv_message_kind(const char *message) {
    if (message == nullptr) return RKCONV_ERROR_NONE;
    message_tail tail{};
    std::memcpy(&tail, message + std::strlen(message) + 1, sizeof tail);
    return tail.kind;
}

RKCONV_API int32_t rkconv_message_errno(const char *message) {
    if (message == nullptr) return 0;
    message_tail tail{};
    std::memcpy(&tail, message + std::strlen(message) + 1, sizeof tail);
    return tail.system_error;
}

RKCONV_API rkconv_options *rkconv_options_new(void) { return new (std::nothrow) rkconv_options(); }

RKCONV_API void rkconv_options_free(rkconv_options *options) { delete options; }

RKCONV_API int32_t rkconv_options_set_max_pixels(rkconv_options *options, uint64_t max_pixels) {
    if (options == nullptr) return failed;
    options->max_pixels = max_pixels;
    return ok;
}

RKCONV_API int32_t rkconv_options_set_format(rkconv_options *options, int32_t format) {
    if (options == nullptr || format < RKCONV_FORMAT_BY_NAME || format > RKCONV_FORMAT_OF_INPUT)
        return refuse(options, "format", "unknown output format " + std::to_string(format));
    options->format = format;
    return accept(options, "format");
}

RKCONV_API int32_t rkconv_options_set_quality(rkconv_options *options, int32_t quality) {
    if (options == nullptr || quality < -1 || quality > 100)
        return refuse(options, "quality", "quality must be a whole number from 0 to 100, not " + std::to_string(quality));
    options->quality = quality;
    return accept(options, "quality");
}

RKCONV_API int32_t rkconv_options_set_progressive(rkconv_options *options, int32_t enabled) {
    if (options == nullptr || enabled < -1 || enabled > 1)
        return refuse(options, "progressive", "progressive must be 0 or 1, not " + std::to_string(enabled));
    options->progressive = enabled;
    return accept(options, "progressive");
}

RKCONV_API int32_t rkconv_options_set_chroma(rkconv_options *options, int32_t subsampling) {
    if (options == nullptr || (subsampling != 0 && subsampling != rkconv::full_chroma && subsampling != rkconv::halved_chroma))
        return refuse(options, "chroma", "chroma must be 444 or 420, not " + std::to_string(subsampling));
    options->chroma = subsampling;
    return accept(options, "chroma");
}

RKCONV_API int32_t rkconv_options_set_compression(rkconv_options *options, int32_t level) {
    if (options == nullptr || level < -1 || level > 9)
        return refuse(options, "compression",
                      "compression must be a whole number from 0 to 9, not " + std::to_string(level));
    options->compression = level;
    return accept(options, "compression");
}

RKCONV_API int32_t rkconv_options_set_auto_orient(rkconv_options *options, int32_t enabled) {
    if (options == nullptr) return failed;
    options->auto_orient = enabled != 0;
    return ok;
}

RKCONV_API int32_t rkconv_options_set_accept_damaged(rkconv_options *options, int32_t enabled) {
    if (options == nullptr) return failed;
    options->accept_damaged = enabled != 0;
    return ok;
}

RKCONV_API int32_t rkconv_options_set_resize(rkconv_options *options, int32_t width, int32_t height) {
    if (options == nullptr || width < 0 || height < 0 || (width == 0 && height == 0))
        return refuse(options, "resize",
                      "resize needs a positive width or height, not " + std::to_string(width) + "x" + std::to_string(height));
    options->geometry.width = width;
    options->geometry.height = height;
    return accept(options, "resize");
}

RKCONV_API int32_t rkconv_options_set_fit(rkconv_options *options, const char *fit) {
    const auto mode = rkconv::fit_named(fit);
    if (options == nullptr || !mode)
        return refuse(options, "fit", std::string("unknown fit '") + (fit ? fit : "") + "' (inside, cover, contain, fill, outside)");
    options->geometry.fit = *mode;
    return accept(options, "fit");
}

RKCONV_API int32_t rkconv_options_set_position(rkconv_options *options, const char *position) {
    const auto place = rkconv::position_named(position);
    if (options == nullptr || !place)
        return refuse(options, "position",
                      std::string("unknown position '") + (position ? position : "") +
                          "' (centre, top, bottom, left, right, top-left, top-right, bottom-left, bottom-right)");
    options->geometry.position = *place;
    return accept(options, "position");
}

RKCONV_API int32_t rkconv_options_set_background(rkconv_options *options, const char *colour) {
    const auto parsed = rkconv::colour_named(colour);
    if (options == nullptr || !parsed)
        return refuse(options, "background",
                      std::string("background must be R,G,B or R,G,B,A from 0 to 255, not '") + (colour ? colour : "") + "'");
    options->geometry.background = *parsed;
    return accept(options, "background");
}

RKCONV_API int32_t rkconv_options_set_enlarge(rkconv_options *options, int32_t enabled) {
    if (options == nullptr) return failed;
    options->geometry.enlarge = enabled != 0;
    return ok;
}

RKCONV_API int32_t rkconv_options_set_kernel(rkconv_options *options, const char *kernel) {
    const rkconv::resampling_kernel *named = rkconv::kernel_named(kernel);
    if (options == nullptr || named == nullptr)
        return refuse(options, "kernel",
                      std::string("unknown kernel '") + (kernel ? kernel : "") +
                          "' (nearest, linear, cubic, mitchell, lanczos2, lanczos3)");
    options->geometry.kernel = named;
    return accept(options, "kernel");
}

RKCONV_API int32_t rkconv_options_set_linear(rkconv_options *options, int32_t enabled) {
    if (options == nullptr) return failed;
    options->geometry.linear_light = enabled != 0;
    return ok;
}

RKCONV_API int32_t rkconv_options_set_exact(rkconv_options *options, int32_t enabled) {
    if (options == nullptr) return failed;
    options->geometry.exact = enabled != 0;
    return ok;
}

RKCONV_API int32_t rkconv_options_set_crop(rkconv_options *options, int32_t x, int32_t y, int32_t width,
                                          int32_t height) {
    if (options == nullptr || x < 0 || y < 0 || width <= 0 || height <= 0)
        return refuse(options, "crop",
                      "crop needs X,Y of 0 or more and a positive W,H, not " + std::to_string(x) + "," +
                          std::to_string(y) + "," + std::to_string(width) + "," + std::to_string(height));
    options->geometry.cropped = true;
    options->geometry.crop = {x, y, width, height};
    return accept(options, "crop");
}

RKCONV_API int32_t rkconv_options_set_rotate(rkconv_options *options, int32_t degrees) {
    if (options == nullptr || (degrees != 0 && degrees != 90 && degrees != 180 && degrees != 270))
        return refuse(options, "rotate", "rotate takes 0, 90, 180 or 270 degrees, not " + std::to_string(degrees));
    options->geometry.rotation = degrees;
    return accept(options, "rotate");
}

RKCONV_API int32_t rkconv_options_set_profile(rkconv_options *options, int32_t profile) {
    if (options == nullptr || profile < RKCONV_PROFILE_KEEP || profile > RKCONV_PROFILE_TO_SRGB)
        return refuse(options, "profile", "unknown profile policy " + std::to_string(profile));
    options->profile = profile;
    return accept(options, "profile");
}

RKCONV_API int32_t rkconv_options_add_transform(rkconv_options *options, int32_t transform) {
    if (options == nullptr || transform < RKCONV_TRANSFORM_FLIP_X || transform > RKCONV_TRANSFORM_TRANSPOSE)
        return refuse(options, "transform", "unknown transform " + std::to_string(transform));
    try {
        options->transforms.push_back(transform);
    } catch (...) {
        return failed;
    }
    return ok;
}

RKCONV_API rkconv_metadata *rkconv_metadata_new(void) { return new (std::nothrow) rkconv_metadata(); }

RKCONV_API void rkconv_metadata_free(rkconv_metadata *metadata) { delete metadata; }

RKCONV_API int32_t rkconv_metadata_orientation(const rkconv_metadata *metadata) {
    return metadata == nullptr ? 1 : metadata->orientation;
}

RKCONV_API const uint8_t *rkconv_metadata_icc_profile(const rkconv_metadata *metadata, size_t *length) {
    const bool has = metadata != nullptr && !metadata->icc_profile.empty();
    if (length != nullptr) *length = has ? metadata->icc_profile.size() : 0;
    return has ? metadata->icc_profile.data() : nullptr;
}

RKCONV_API const char *rkconv_metadata_icc_description(const rkconv_metadata *metadata) {
    return metadata == nullptr ? "" : metadata->icc.description.c_str();
}

RKCONV_API int32_t rkconv_metadata_set_icc_profile(rkconv_metadata *metadata, const uint8_t *profile,
                                                   size_t length) {
    if (metadata == nullptr || (profile == nullptr && length > 0) || length > rkconv::max_icc_bytes) return failed;
    try {
        rkconv::adopt_icc(*metadata, std::vector<std::uint8_t>(profile, profile + length));
    } catch (...) {
        return failed;
    }
    return ok;
}

RKCONV_API int32_t rkconv_format_from_extension(const char *path) {
    return path == nullptr ? RKCONV_FORMAT_BY_NAME : rkconv::format_from_extension(path);
}

RKCONV_API int32_t rkconv_format_from_name(const char *name) {
    const std::int32_t format = rasterkit::format_of_format_name(name);
    return format == rasterkit::format_unknown ? -1 : format;
}

RKCONV_API const char *rkconv_format_name(int32_t format) { return rasterkit::format_name(format); }

RKCONV_API int32_t rkconv_describe_write(const rkconv_options *options, const char *path, int32_t input_format,
                                         rkconv_write_facts *facts, char **message) {
    return guarded(message, {nullptr, path}, [&](rkconv::warnings &said) -> status {
        if (facts == nullptr) return bad_argument("no place for the facts");
        rkconv::write_plan plan;
        status planned = rkconv::plan_write(settings(options), path, input_format, nullptr, plan, said);
        if (!planned.ok()) return planned;
        const bool known = plan.format >= RKCONV_FORMAT_BMP && plan.format <= RKCONV_FORMAT_JPEG;
        *facts = rkconv_write_facts{known ? plan.format : RKCONV_FORMAT_OF_INPUT,
                                    known ? rasterkit::format_extension(plan.format) : "",
                                    plan.format == RKCONV_FORMAT_JPEG ? plan.settings.quality : -1,
                                    plan.format == RKCONV_FORMAT_PNG ? plan.settings.compression : -1};
        return rkconv::success();
    });
}

RKCONV_API int32_t rkconv_apply_geometry(rasterkit_image *image, const rkconv_options *options, char **message) {
    return guarded(message, {}, [&](rkconv::warnings &) -> status {
        if (image == nullptr) return bad_argument("no image given");
        const rkconv_options &given = settings(options);
        if (!given.refused.empty())
            return rkconv::failure(failure_kind::bad_argument, given.refused.begin()->second).on(concerning::neither);
        return rkconv::reshape(image, given);
    });
}

RKCONV_API int32_t rkconv_probe_file(const char *path, rkconv_header *header, rkconv_metadata *metadata,
                                     char **message) {
    return guarded(message, {}, [&](rkconv::warnings &) -> status {
        if (path == nullptr || header == nullptr) return bad_argument("no file or no header record given");
        return probe(path_input(path), header, metadata);
    });
}

RKCONV_API int32_t rkconv_probe_bytes(const uint8_t *bytes, size_t length, rkconv_header *header,
                                      rkconv_metadata *metadata, char **message) {
    return guarded(message, {}, [&](rkconv::warnings &) -> status {
        if ((bytes == nullptr && length > 0) || header == nullptr) return bad_argument("no bytes or no header record given");
        return probe(memory_input(bytes, length), header, metadata);
    });
}

RKCONV_API int32_t rkconv_probe_descriptor(int fd, rkconv_header *header, rkconv_metadata *metadata,
                                           char **message) {
    return guarded(message, {}, [&](rkconv::warnings &) -> status {
        if (header == nullptr) return bad_argument("no header record given");
        return probe(path_input(nullptr, fd), header, metadata);
    });
}

RKCONV_API int32_t rkconv_read_file(const char *path, const rkconv_options *options, rasterkit_image *image,
                                    rkconv_metadata *metadata, char **message) {
    return guarded(message, {path, nullptr}, [&](rkconv::warnings &said) -> status {
        if (path == nullptr || image == nullptr) return bad_argument("no file or no image given");
        return read(path_input(path), options, image, metadata, said);
    });
}

RKCONV_API int32_t rkconv_read_bytes(const uint8_t *bytes, size_t length, const rkconv_options *options,
                                     rasterkit_image *image, rkconv_metadata *metadata, char **message) {
    return guarded(message, {}, [&](rkconv::warnings &said) -> status {
        if ((bytes == nullptr && length > 0) || image == nullptr) return bad_argument("no bytes or no image given");
        return read(memory_input(bytes, length), options, image, metadata, said);
    });
}

RKCONV_API int32_t rkconv_read_descriptor(int fd, const rkconv_options *options, rasterkit_image *image,
                                          rkconv_metadata *metadata, char **message) {
    return guarded(message, {}, [&](rkconv::warnings &said) -> status {
        if (image == nullptr) return bad_argument("no image given");
        return read(path_input(nullptr, fd), options, image, metadata, said);
    });
}

RKCONV_API int32_t rkconv_write_file(const char *path, const rasterkit_image *image, const rkconv_options *options,
                                     const rkconv_metadata *metadata, char **message) {
    return guarded(message, {nullptr, path}, [&](rkconv::warnings &said) -> status {
        if (path == nullptr || image == nullptr) return bad_argument("no file or no image given");
        rkconv::write_plan plan;
        if (status s = rkconv::plan_write(settings(options), path, RKCONV_FORMAT_PNG, metadata, plan, said); !s.ok())
            return s;
        return rkconv::write_to_file(path, rkconv::pixels_to_write::of(image), plan, said);
    });
}

RKCONV_API int32_t rkconv_write_bytes(const rasterkit_image *image, const rkconv_options *options,
                                      const rkconv_metadata *metadata, uint8_t **bytes, size_t *length,
                                      char **message) {
    return guarded(message, {}, [&](rkconv::warnings &said) -> status {
        if (image == nullptr || bytes == nullptr || length == nullptr)
            return bad_argument("no image or no place for the bytes");
        *bytes = nullptr;
        *length = 0;
        rkconv::write_plan plan;
        if (status s = rkconv::plan_write(settings(options), nullptr, RKCONV_FORMAT_PNG, metadata, plan, said); !s.ok())
            return s;
        rkconv::growing_block encoded;
        if (status s = rkconv::write_to_bytes(rkconv::pixels_to_write::of(image), plan, encoded, said); !s.ok()) return s;
        *length = encoded.size();
        *bytes = encoded.release();
        return *bytes != nullptr ? rkconv::success() : rkconv::out_of_memory();
    });
}

RKCONV_API int32_t rkconv_write_descriptor(int fd, const rasterkit_image *image, const rkconv_options *options,
                                           const rkconv_metadata *metadata, char **message) {
    return guarded(message, {}, [&](rkconv::warnings &said) -> status {
        if (image == nullptr) return bad_argument("no image given");
        rkconv::write_plan plan;
        if (status s = rkconv::plan_write(settings(options), nullptr, RKCONV_FORMAT_PNG, metadata, plan, said); !s.ok())
            return s;
        return rkconv::write_to_descriptor(fd, rkconv::pixels_to_write::of(image), plan, said);
    });
}

RKCONV_API int32_t rkconv_convert(const char *input, int input_fd, const char *output, int output_fd,
                                  const rkconv_options *options, char **message) {
    const names files{input != nullptr ? input : standard_input_name, output != nullptr ? output : standard_output_name};
    return guarded(message, files, [&](rkconv::warnings &said) {
        return rkconv::convert({input, input_fd}, {output, output_fd}, settings(options), said);
    });
}

RKCONV_API int32_t rkconv_convert_memory(const char *input, const uint8_t *bytes, size_t length, const char *output,
                                         uint8_t **encoded, size_t *encoded_length, rkconv_header *written,
                                         const rkconv_options *options, char **message) {
    return guarded(message, {input, output}, [&](rkconv::warnings &said) -> status {
        if (input == nullptr && bytes == nullptr) return bad_argument("no input given");
        if (output == nullptr && (encoded == nullptr || encoded_length == nullptr))
            return bad_argument("no output file and no place for the bytes");
        rkconv::growing_block into;
        rkconv::endpoint from;
        from.path = input;
        if (input == nullptr) {
            from.bytes = bytes;
            from.length = length;
        }
        rkconv::endpoint to;
        to.path = output;
        if (output == nullptr) to.encoded = &into;
        rkconv::written_image facts;
        if (status s = rkconv::convert(from, to, settings(options), said, &facts); !s.ok()) return s;
        if (written != nullptr) *written = rkconv_header{facts.format, facts.width, facts.height};
        if (output != nullptr) return rkconv::success();
        *encoded_length = into.size();
        *encoded = into.release();
        return *encoded != nullptr ? rkconv::success() : rkconv::out_of_memory();
    });
}

RKCONV_API int32_t rkconv_plan_batch(const char *const *inputs, size_t input_count, const char *output_dir,
                                     int32_t format, rkconv_plan **plan, char **message) {
    return guarded(message, {}, [&](rkconv::warnings &) -> status {
        if (plan == nullptr) return bad_argument("no place for the plan");
        *plan = nullptr;
        if (output_dir == nullptr || output_dir[0] == '\0') return bad_argument("no output folder given");
        if (inputs == nullptr && input_count > 0) return bad_argument("no inputs given");
        std::vector<std::string> names;
        for (std::size_t i = 0; i < input_count; ++i) {
            if (inputs[i] == nullptr) return bad_argument("an input is missing");
            names.emplace_back(inputs[i]);
        }
        auto made = std::make_unique<rkconv_plan>();
        made->plan = rkconv::plan_batch(names, output_dir, format);
        if (!made->plan.usage_problem.empty())
            return rkconv::failure(failure_kind::bad_argument, made->plan.usage_problem).on(concerning::neither);
        *plan = made.release();
        return rkconv::success();
    });
}

RKCONV_API size_t rkconv_plan_size(const rkconv_plan *plan) { return plan == nullptr ? 0 : plan->plan.files.size(); }

RKCONV_API const char *rkconv_plan_input(const rkconv_plan *plan, size_t index) {
    if (plan == nullptr || index >= plan->plan.files.size()) return nullptr;
    return plan->plan.files[index].input.c_str();
}

RKCONV_API const char *rkconv_plan_output(const rkconv_plan *plan, size_t index) {
    if (plan == nullptr || index >= plan->plan.files.size()) return nullptr;
    return plan->plan.files[index].output.c_str();
}

RKCONV_API void rkconv_plan_free(rkconv_plan *plan) { delete plan; }

RKCONV_API int32_t rkconv_make_directories(const char *path, char **message) {
    return guarded(message, {nullptr, path}, [&](rkconv::warnings &) -> status {
        if (path == nullptr || path[0] == '\0') return bad_argument("no folder given");
        const std::string fault = rkconv::make_directories(path);
        if (fault.empty()) return rkconv::success();
        return rkconv::failure(failure_kind::input_output, fault).on(concerning::output);
    });
}

RKCONV_API void rkconv_remove_unfinished_files(void) { rkconv::remove_unfinished_files(); }

}  // extern "C"
