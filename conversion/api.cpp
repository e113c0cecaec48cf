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
#include "memory_file.h"
#include "metadata.h"
#include "options.h"
#include "probe.h"
#include "reading.h"
#include "rasterkit_convert.h"
#include "safe_write.h"
#include "writing.h"

struct rkconv_plan {
    rkconv::batch_plan plan;
};

namespace {

constexpr std::int32_t ok = 0;
constexpr std::int32_t failure = -1;
constexpr const char *out_of_memory = "out of memory";

// Hands `text` to the caller; an empty text stores NULL.
void tell(char **message, const std::string &text) {
    if (message == nullptr) return;
    *message = nullptr;
    if (text.empty()) return;
    *message = static_cast<char *>(std::malloc(text.size() + 1));
    if (*message != nullptr) std::memcpy(*message, text.c_str(), text.size() + 1);
}

// A failure hands over its error; a success its warning, if any.
std::int32_t outcome(char **message, const std::string &error, const std::string &warning = {}) {
    tell(message, error.empty() ? warning : error);
    return error.empty() ? ok : failure;
}

const rkconv_options &settings(const rkconv_options *options) {
    return options != nullptr ? *options : rkconv::default_options();
}

// Runs `body`, which returns the error text (empty on success) and may set
// `warning`; whatever it throws becomes a failure with a message.
template <typename Body>
std::int32_t guarded(char **message, Body &&body, const std::string *warning = nullptr) noexcept {
    try {
        const std::string error = body();
        return outcome(message, error, warning != nullptr ? *warning : std::string());
    } catch (const std::bad_alloc &) {
        return outcome(message, out_of_memory);
    } catch (const std::exception &error) {
        return outcome(message, error.what());
    } catch (...) {
        return outcome(message, "unexpected failure");
    }
}

// Runs a probe, fills the caller's header and, on success, its metadata;
// returns the probe's error.
template <typename Probe>
std::string deliver(Probe &&probe, rkconv_header *header, rkconv_metadata *metadata) {
    rkconv_metadata found;
    const rkconv::header_facts facts = probe(metadata != nullptr ? &found : nullptr);
    *header = rkconv_header{facts.format, facts.width, facts.height};
    if (facts.error.empty() && metadata != nullptr) *metadata = std::move(found);
    return facts.error;
}

}  // namespace

extern "C" {

RKCONV_API void rkconv_free(void *block) { std::free(block); }

RKCONV_API const char *rkconv_version(void) { return RASTERKIT_CONVERT_VERSION; }

RKCONV_API rkconv_options *rkconv_options_new(void) { return new (std::nothrow) rkconv_options(); }

RKCONV_API void rkconv_options_free(rkconv_options *options) { delete options; }

RKCONV_API int32_t rkconv_options_set_max_pixels(rkconv_options *options, uint64_t max_pixels) {
    if (options == nullptr) return failure;
    options->max_pixels = max_pixels;
    return ok;
}

RKCONV_API int32_t rkconv_options_set_format(rkconv_options *options, int32_t format) {
    if (options == nullptr || format < RKCONV_FORMAT_BY_NAME || format > RKCONV_FORMAT_OF_INPUT) return failure;
    options->format = format;
    return ok;
}

RKCONV_API int32_t rkconv_options_set_quality(rkconv_options *options, int32_t quality) {
    if (options == nullptr || quality < -1 || quality > 100) return failure;
    options->quality = quality;
    return ok;
}

RKCONV_API int32_t rkconv_options_set_compression(rkconv_options *options, int32_t level) {
    if (options == nullptr || level < -1 || level > 9) return failure;
    options->compression = level;
    return ok;
}

RKCONV_API int32_t rkconv_options_set_auto_orient(rkconv_options *options, int32_t enabled) {
    if (options == nullptr) return failure;
    options->auto_orient = enabled != 0;
    return ok;
}

RKCONV_API int32_t rkconv_options_set_profile(rkconv_options *options, int32_t profile) {
    if (options == nullptr || profile < RKCONV_PROFILE_KEEP || profile > RKCONV_PROFILE_TO_SRGB) return failure;
    options->profile = profile;
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
    if (metadata == nullptr || (profile == nullptr && length > 0) || length > rkconv::max_icc_bytes) return failure;
    try {
        rkconv::adopt_icc(*metadata, std::vector<std::uint8_t>(profile, profile + length));
    } catch (...) {
        return failure;
    }
    return ok;
}

RKCONV_API int32_t rkconv_options_add_transform(rkconv_options *options, int32_t transform) {
    if (options == nullptr || transform < RKCONV_TRANSFORM_FLIP_X || transform > RKCONV_TRANSFORM_TRANSPOSE)
        return failure;
    try {
        options->transforms.push_back(transform);
    } catch (...) {
        return failure;
    }
    return ok;
}

RKCONV_API int32_t rkconv_format_from_extension(const char *path) {
    return path == nullptr ? RKCONV_FORMAT_BY_NAME : rkconv::format_from_extension(path);
}

RKCONV_API int32_t rkconv_probe_file(const char *path, rkconv_header *header, rkconv_metadata *metadata,
                                     char **message) {
    return guarded(message, [&]() -> std::string {
        if (path == nullptr || header == nullptr) return "no file or no header record given";
        return deliver([&](rkconv_metadata *found) { return rkconv::probe_file(path, found); }, header, metadata);
    });
}

RKCONV_API int32_t rkconv_probe_bytes(const uint8_t *bytes, size_t length, rkconv_header *header,
                                      rkconv_metadata *metadata, char **message) {
    return guarded(message, [&]() -> std::string {
        if ((bytes == nullptr && length > 0) || header == nullptr) return "no bytes or no header record given";
        return deliver([&](rkconv_metadata *found) { return rkconv::probe_memory(bytes, length, found); }, header,
                       metadata);
    });
}

RKCONV_API int32_t rkconv_probe_descriptor(int fd, rkconv_header *header, rkconv_metadata *metadata,
                                           char **message) {
    return guarded(message, [&]() -> std::string {
        if (header == nullptr) return "no header record given";
        std::vector<std::uint8_t> bytes;
        if (std::string fault = rkconv::read_all(fd, bytes); !fault.empty()) return fault;
        return deliver([&](rkconv_metadata *found) { return rkconv::probe_memory(bytes.data(), bytes.size(), found); },
                       header, metadata);
    });
}

RKCONV_API int32_t rkconv_read_file(const char *path, const rkconv_options *options, rasterkit_image *image,
                                    rkconv_metadata *metadata, char **message) {
    return guarded(message, [&]() -> std::string {
        if (path == nullptr || image == nullptr) return "no file or no image given";
        rkconv_metadata ignored;
        return rkconv::read_path(path, settings(options), image, metadata != nullptr ? *metadata : ignored).error;
    });
}

RKCONV_API int32_t rkconv_read_bytes(const uint8_t *bytes, size_t length, const rkconv_options *options,
                                     rasterkit_image *image, rkconv_metadata *metadata, char **message) {
    return guarded(message, [&]() -> std::string {
        if ((bytes == nullptr && length > 0) || image == nullptr) return "no bytes or no image given";
        rkconv_metadata ignored;
        return rkconv::read_memory(bytes, length, "the bytes", settings(options), image,
                                   metadata != nullptr ? *metadata : ignored)
            .error;
    });
}

RKCONV_API int32_t rkconv_read_descriptor(int fd, const rkconv_options *options, rasterkit_image *image,
                                          rkconv_metadata *metadata, char **message) {
    return guarded(message, [&]() -> std::string {
        if (image == nullptr) return "no image given";
        rkconv_metadata ignored;
        return rkconv::read_descriptor(fd, "the input", settings(options), image,
                                       metadata != nullptr ? *metadata : ignored)
            .error;
    });
}

RKCONV_API int32_t rkconv_write_file(const char *path, const rasterkit_image *image, const rkconv_options *options,
                                     const rkconv_metadata *metadata, char **message) {
    std::string warning;
    return guarded(
        message,
        [&]() -> std::string {
            if (path == nullptr || image == nullptr) return "no file or no image given";
            const rkconv::planned_write planned =
                rkconv::plan_write(settings(options), path, RKCONV_FORMAT_PNG, metadata);
            if (!planned.error.empty()) return std::string(path) + ": " + planned.error;
            std::string about_profile = planned.profile_warning;
            const std::string fault = rkconv::write_to_file(path, image, planned.plan, about_profile);
            warning = planned.warning;
            rkconv::add_warning(warning, about_profile);
            return fault.empty() ? fault : std::string(path) + ": could not be written (" + fault + ")";
        },
        &warning);
}

RKCONV_API int32_t rkconv_write_bytes(const rasterkit_image *image, const rkconv_options *options,
                                      const rkconv_metadata *metadata, uint8_t **bytes, size_t *length,
                                      char **message) {
    std::string warning;
    return guarded(
        message,
        [&]() -> std::string {
            if (image == nullptr || bytes == nullptr || length == nullptr) return "no image or no place for the bytes";
            *bytes = nullptr;
            *length = 0;
            const rkconv::planned_write planned =
                rkconv::plan_write(settings(options), nullptr, RKCONV_FORMAT_PNG, metadata);
            if (!planned.error.empty()) return planned.error;
            warning = planned.profile_warning;
            std::vector<std::uint8_t> encoded;
            if (std::string fault = rkconv::write_to_bytes(image, planned.plan, encoded, warning); !fault.empty())
                return "could not be encoded (" + fault + ")";
            *bytes = static_cast<std::uint8_t *>(std::malloc(encoded.empty() ? 1 : encoded.size()));
            if (*bytes == nullptr) return out_of_memory;
            std::memcpy(*bytes, encoded.data(), encoded.size());
            *length = encoded.size();
            return {};
        },
        &warning);
}

RKCONV_API int32_t rkconv_write_descriptor(int fd, const rasterkit_image *image, const rkconv_options *options,
                                           const rkconv_metadata *metadata, char **message) {
    std::string warning;
    return guarded(
        message,
        [&]() -> std::string {
            if (image == nullptr) return "no image given";
            const rkconv::planned_write planned =
                rkconv::plan_write(settings(options), nullptr, RKCONV_FORMAT_PNG, metadata);
            if (!planned.error.empty()) return planned.error;
            warning = planned.profile_warning;
            const std::string fault = rkconv::write_to_descriptor(fd, image, planned.plan, warning);
            return fault.empty() ? fault : "could not be written (" + fault + ")";
        },
        &warning);
}

RKCONV_API int32_t rkconv_convert(const char *input, int input_fd, const char *output, int output_fd,
                                  const rkconv_options *options, char **message) {
    std::string warning;
    return guarded(
        message,
        [&]() -> std::string {
            const rkconv::conversion_result result =
                rkconv::convert({input, input_fd}, {output, output_fd}, settings(options));
            warning = result.warning;
            return result.error;
        },
        &warning);
}

RKCONV_API int32_t rkconv_plan_batch(const char *const *inputs, size_t input_count, const char *output_dir,
                                     int32_t format, rkconv_plan **plan, char **message) {
    return guarded(message, [&]() -> std::string {
        if (plan == nullptr) return "no place for the plan";
        *plan = nullptr;
        if (output_dir == nullptr || output_dir[0] == '\0') return "no output folder given";
        if (inputs == nullptr && input_count > 0) return "no inputs given";
        std::vector<std::string> names;
        for (std::size_t i = 0; i < input_count; ++i) {
            if (inputs[i] == nullptr) return "an input is missing";
            names.emplace_back(inputs[i]);
        }
        auto made = std::make_unique<rkconv_plan>();
        made->plan = rkconv::plan_batch(names, output_dir, format);
        if (!made->plan.usage_problem.empty()) return made->plan.usage_problem;
        *plan = made.release();
        return {};
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
    return guarded(message, [&]() -> std::string {
        if (path == nullptr || path[0] == '\0') return "no folder given";
        const std::string fault = rkconv::make_directories(path);
        return fault.empty() ? fault : std::string(path) + ": " + fault;
    });
}

RKCONV_API void rkconv_remove_unfinished_files(void) { rkconv::remove_unfinished_files(); }

}  // extern "C"
