#include "scaling/resampler.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "large_block.h"
#include "pixel_content.h"
#include "vector_clones.h"

namespace rkconv {
namespace {

constexpr int channels = 4;
constexpr int alpha = 3;
constexpr int precision_bits = 32 - 8 - 2;
constexpr std::int32_t half = std::int32_t{1} << (precision_bits - 1);

// The window of each output pixel along one axis: its first input pixel,
// how many it takes, and their weights (taps_per_output apart).
struct axis_weights {
    std::vector<std::int32_t> first;
    std::vector<std::int32_t> taps;
    std::vector<double> weights;
    std::int32_t stride = 0;
};

axis_weights weights_for(std::int32_t in_size, std::int32_t out_size, const resampling_kernel &kernel) {
    axis_weights axis;
    const double scale = static_cast<double>(in_size) / out_size;
    const double filter_scale = std::max(scale, 1.0);
    const double support = kernel.support * filter_scale;
    axis.stride = static_cast<std::int32_t>(std::ceil(support)) * 2 + 1;
    axis.first.resize(static_cast<std::size_t>(out_size));
    axis.taps.resize(static_cast<std::size_t>(out_size));
    axis.weights.assign(static_cast<std::size_t>(out_size) * static_cast<std::size_t>(axis.stride), 0.0);
    for (std::int32_t i = 0; i < out_size; ++i) {
        const double centre = (i + 0.5) * scale;
        // Truncating as Pillow does, so the windows are Pillow's.
        const auto low = std::max<std::int32_t>(
            static_cast<std::int32_t>(centre - support + 0.5), 0);  // NOLINT(bugprone-incorrect-roundings)
        const auto high = std::min<std::int32_t>(
            static_cast<std::int32_t>(centre + support + 0.5), in_size);  // NOLINT(bugprone-incorrect-roundings)
        const std::int32_t count = std::min(high - low, axis.stride);
        double *w = axis.weights.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(axis.stride);
        double sum = 0.0;
        for (std::int32_t t = 0; t < count; ++t) {
            w[t] = kernel.weight((t + low - centre + 0.5) / filter_scale);
            sum += w[t];
        }
        if (sum != 0.0)
            for (std::int32_t t = 0; t < count; ++t) w[t] /= sum;
        axis.first[static_cast<std::size_t>(i)] = low;
        axis.taps[static_cast<std::size_t>(i)] = count;
    }
    return axis;
}

std::vector<std::int32_t> fixed_point(const axis_weights &axis) {
    std::vector<std::int32_t> fixed(axis.weights.size());
    for (std::size_t i = 0; i < fixed.size(); ++i) {
        const double w = axis.weights[i] * (1 << precision_bits);
        fixed[i] = static_cast<std::int32_t>(w < 0 ? w - 0.5 : w + 0.5);
    }
    return fixed;
}

std::uint8_t clip8(std::int32_t sum) {
    if (sum <= 0) return 0;
    if (sum >= (255 << precision_bits)) return 255;
    return static_cast<std::uint8_t>(sum >> precision_bits);
}

// a * b / 255, rounded.
std::uint8_t times_over_255(std::uint32_t a, std::uint32_t b) {
    const std::uint32_t product = a * b + 128;
    return static_cast<std::uint8_t>(((product >> 8) + product) >> 8);
}

void premultiply(std::uint8_t *pixels, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i, pixels += channels)
        for (int c = 0; c < alpha; ++c) pixels[c] = times_over_255(pixels[c], pixels[alpha]);
}

void unpremultiply(std::uint8_t *pixels, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i, pixels += channels) {
        const std::uint32_t a = pixels[alpha];
        if (a == 255) continue;
        for (int c = 0; c < alpha; ++c)
            pixels[c] = a == 0 ? 0 : static_cast<std::uint8_t>(std::min<std::uint32_t>(255, (pixels[c] * 255u + a / 2) / a));
    }
}

struct heap_block {
    std::uint8_t *bytes = nullptr;
    explicit heap_block(std::size_t count) : bytes(allocate_block(count)) {}
    ~heap_block() { std::free(bytes); }
    heap_block(const heap_block &) = delete;
    heap_block &operator=(const heap_block &) = delete;
    std::uint8_t *release() {
        std::uint8_t *taken = bytes;
        bytes = nullptr;
        return taken;
    }
};

using four_sums = std::int32_t __attribute__((vector_size(16)));
using eight_sums = std::int32_t __attribute__((vector_size(32)));

// Rows [first_row, first_row + rows) of the record's pixels `in` (in_width
// wide) to out_width pixels of Channels samples (all four, or the first
// alone for a grey image), one tap at a time: for rows narrower than the
// even windows below, which take every other row.
template <int Channels>
void horizontal_narrow(const std::uint8_t *in, std::int32_t in_width, std::int32_t first_row, std::int32_t rows,
                       std::uint8_t *out, std::int32_t out_width, const axis_weights &axis,
                       const std::vector<std::int32_t> &k) {
    for (std::int32_t y = 0; y < rows; ++y) {
        const std::uint8_t *row = in + std::size_t(first_row + y) * std::size_t(in_width) * channels;
        std::uint8_t *pixel = out + std::size_t(y) * std::size_t(out_width) * Channels;
        for (std::int32_t x = 0; x < out_width; ++x, pixel += Channels) {
            const std::int32_t *w = k.data() + std::size_t(x) * std::size_t(axis.stride);
            const std::uint8_t *p = row + std::size_t(axis.first[std::size_t(x)]) * channels;
            for (int c = 0; c < Channels; ++c) {
                std::int32_t sum = half;
                for (std::int32_t t = 0; t < axis.taps[std::size_t(x)]; ++t) sum += p[std::ptrdiff_t{t} * channels + c] * w[t];
                pixel[c] = clip8(sum);
            }
        }
    }
}

// The horizontal weights of the 8-bit pass with every window the same
// number of taps, a multiple of four: each widened with zero weights and
// moved back inside the row where that would run past its end, each weight
// written once for each channel filtered. The loop over taps then has one
// length and multiplies whole vectors of samples by vectors of weights as
// they lie in memory; the zeros add nothing to the sums, so they are the
// windows' own.
struct even_windows {
    std::vector<std::int32_t> first;
    std::vector<std::int32_t> weights;
    std::int32_t taps = 0;
};

constexpr std::int32_t taps_at_once = 4;
constexpr std::ptrdiff_t samples_at_once = std::ptrdiff_t{taps_at_once} * channels;

// False when the row is narrower than the widened windows.
bool make_even_windows(const axis_weights &axis, const std::vector<std::int32_t> &fixed, std::int32_t in_size,
                       int copies, even_windows &windows) {
    const std::int32_t widest = *std::max_element(axis.taps.begin(), axis.taps.end());
    windows.taps = (widest + taps_at_once - 1) / taps_at_once * taps_at_once;
    if (windows.taps > in_size) return false;
    const std::size_t outputs = axis.first.size();
    const std::size_t per_output = std::size_t(windows.taps) * std::size_t(copies);
    windows.first.resize(outputs);
    windows.weights.assign(outputs * per_output, 0);
    for (std::size_t i = 0; i < outputs; ++i) {
        const std::int32_t first = std::min(axis.first[i], in_size - windows.taps);
        const std::int32_t *w = fixed.data() + i * std::size_t(axis.stride);
        std::int32_t *spread = windows.weights.data() + i * per_output + std::size_t(axis.first[i] - first) * std::size_t(copies);
        for (std::int32_t t = 0; t < axis.taps[i]; ++t, spread += copies) std::fill_n(spread, copies, w[t]);
        windows.first[i] = first;
    }
    return true;
}

using four_bytes = std::uint8_t __attribute__((vector_size(4)));
using sixteen_bytes = std::uint8_t __attribute__((vector_size(16)));

// clip8 of four sums at once, into `to`; inlined into the vector clones.
__attribute__((always_inline)) inline void store_clipped(four_sums sums, std::uint8_t *to) {
    sums >>= precision_bits;
    sums = sums < 0 ? 0 : sums;
    sums = sums > 255 ? 255 : sums;
    const auto bytes = reinterpret_cast<sixteen_bytes>(sums);  // little-endian: each sum's low byte first
    const four_bytes clipped = __builtin_shufflevector(bytes, bytes, 0, 4, 8, 12);
    std::memcpy(to, &clipped, sizeof clipped);
}

// Two taps of the four channels at a time in one vector of eight (one AVX2
// register), two such sums side by side.
RKCONV_VECTOR_CLONES void horizontal_rgba(const std::uint8_t *in, std::int32_t in_width, std::int32_t first_row,
                                          std::int32_t rows, std::uint8_t *out, std::int32_t out_width,
                                          const even_windows &windows) {
    const std::int32_t taps = windows.taps;
    for (std::int32_t y = 0; y < rows; ++y) {
        const std::uint8_t *row = in + std::size_t(first_row + y) * std::size_t(in_width) * channels;
        std::uint8_t *pixel = out + std::size_t(y) * std::size_t(out_width) * channels;
        const std::int32_t *w = windows.weights.data();
        for (std::int32_t x = 0; x < out_width; ++x, pixel += channels) {
            const std::uint8_t *p = row + std::size_t(windows.first[std::size_t(x)]) * channels;
            eight_sums even = {half, half, half, half};
            eight_sums odd = {};
            for (std::int32_t t = 0; t < taps; t += taps_at_once, p += samples_at_once, w += samples_at_once) {
                eight_sums first_two;
                eight_sums second_two;
                std::memcpy(&first_two, w, sizeof first_two);
                std::memcpy(&second_two, w + samples_at_once / 2, sizeof second_two);
                even += eight_sums{p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]} * first_two;
                odd += eight_sums{p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15]} * second_two;
            }
            even += odd;
            store_clipped(four_sums{even[0], even[1], even[2], even[3]} + four_sums{even[4], even[5], even[6], even[7]}, pixel);
        }
    }
}

// The first sample of four pixels at a time: each pixel read as one
// little-endian word, whose low byte it is.
RKCONV_VECTOR_CLONES void horizontal_grey(const std::uint8_t *in, std::int32_t in_width, std::int32_t first_row,
                                          std::int32_t rows, std::uint8_t *out, std::int32_t out_width,
                                          const even_windows &windows) {
    const std::int32_t taps = windows.taps;
    for (std::int32_t y = 0; y < rows; ++y) {
        const std::uint8_t *row = in + std::size_t(first_row + y) * std::size_t(in_width) * channels;
        std::uint8_t *sample = out + std::size_t(y) * std::size_t(out_width);
        const std::int32_t *w = windows.weights.data();
        for (std::int32_t x = 0; x < out_width; ++x, ++sample) {
            const std::uint8_t *p = row + std::size_t(windows.first[std::size_t(x)]) * channels;
            four_sums sums = {half};
            for (std::int32_t t = 0; t < taps; t += taps_at_once, p += samples_at_once, w += taps_at_once) {
                four_sums pixels;
                four_sums weights;
                std::memcpy(&pixels, p, sizeof pixels);
                std::memcpy(&weights, w, sizeof weights);
                sums += (pixels & 0xFF) * weights;
            }
            *sample = clip8(sums[0] + sums[1] + sums[2] + sums[3]);
        }
    }
}

// The horizontal pass of one resize, its form chosen once.
class horizontal_pass {
public:
    horizontal_pass(const axis_weights &axis, std::int32_t in_width, bool grey)
        : axis_(axis), fixed_(fixed_point(axis)), grey_(grey),
          even_(make_even_windows(axis, fixed_, in_width, grey ? 1 : channels, windows_)) {}

    void operator()(const std::uint8_t *in, std::int32_t in_width, std::int32_t first_row, std::int32_t rows,
                    std::uint8_t *out, std::int32_t out_width) const {
        if (grey_ && even_)
            horizontal_grey(in, in_width, first_row, rows, out, out_width, windows_);
        else if (grey_)
            horizontal_narrow<1>(in, in_width, first_row, rows, out, out_width, axis_, fixed_);
        else if (even_)
            horizontal_rgba(in, in_width, first_row, rows, out, out_width, windows_);
        else
            horizontal_narrow<channels>(in, in_width, first_row, rows, out, out_width, axis_, fixed_);
    }

private:
    const axis_weights &axis_;
    std::vector<std::int32_t> fixed_;
    even_windows windows_;
    bool grey_;
    bool even_;
};

// The vertical pass over rows of Channels samples a pixel (the first of
// them row `row_offset` of the image) for output rows [first_out, end_out)
// of `out`, written in the record's layout: a grey sample becomes an
// opaque grey pixel.
template <int Channels>
inline void vertical(const std::uint8_t *in, std::int32_t width, std::int32_t row_offset, std::uint8_t *out,
                     std::int32_t first_out, std::int32_t end_out, const axis_weights &axis,
                     const std::vector<std::int32_t> &k) {
    const std::size_t stride = std::size_t(width) * Channels;
    const auto store = [](std::uint8_t *row, std::size_t i, std::uint8_t value) {
        if constexpr (Channels == channels) {
            row[i] = value;
        } else {
            std::uint8_t *pixel = row + i * channels;
            pixel[0] = pixel[1] = pixel[2] = value;
            pixel[alpha] = 255;
        }
    };
    // A block of samples at a time stays in registers across all the taps.
    constexpr std::size_t block = 16;
    for (std::int32_t y = first_out; y < end_out; ++y) {
        const std::int32_t *w = k.data() + std::size_t(y) * std::size_t(axis.stride);
        const std::uint8_t *rows = in + std::size_t(axis.first[std::size_t(y)] - row_offset) * stride;
        const std::int32_t taps = axis.taps[std::size_t(y)];
        std::uint8_t *target = out + std::size_t(y) * std::size_t(width) * channels;
        std::size_t i = 0;
        for (; i + block <= stride; i += block) {
            eight_sums low = {half, half, half, half, half, half, half, half};
            eight_sums high = low;
            const std::uint8_t *c = rows + i;
            for (std::int32_t t = 0; t < taps; ++t, c += stride) {
                low += eight_sums{c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]} * w[t];
                high += eight_sums{c[8], c[9], c[10], c[11], c[12], c[13], c[14], c[15]} * w[t];
            }
            if constexpr (Channels == channels) {
                const four_sums quarters[] = {four_sums{low[0], low[1], low[2], low[3]}, four_sums{low[4], low[5], low[6], low[7]},
                                              four_sums{high[0], high[1], high[2], high[3]},
                                              four_sums{high[4], high[5], high[6], high[7]}};
                for (std::size_t q = 0; q < 4; ++q) store_clipped(quarters[q], target + i + q * channels);
            } else {
                for (std::size_t b = 0; b < block / 2; ++b) store(target, i + b, clip8(low[b]));
                for (std::size_t b = 0; b < block / 2; ++b) store(target, i + block / 2 + b, clip8(high[b]));
            }
        }
        for (; i < stride; ++i) {
            std::int32_t sum = half;
            const std::uint8_t *column = rows + i;
            for (std::int32_t t = 0; t < taps; ++t, column += stride) sum += *column * w[t];
            store(target, i, clip8(sum));
        }
    }
}

RKCONV_WIDE_VECTOR_CLONES void vertical_rgba(const std::uint8_t *in, std::int32_t width, std::int32_t row_offset,
                                        std::uint8_t *out, std::int32_t first_out, std::int32_t end_out,
                                        const axis_weights &axis, const std::vector<std::int32_t> &k) {
    vertical<channels>(in, width, row_offset, out, first_out, end_out, axis, k);
}

RKCONV_VECTOR_CLONES void vertical_grey(const std::uint8_t *in, std::int32_t width, std::int32_t row_offset,
                                        std::uint8_t *out, std::int32_t first_out, std::int32_t end_out,
                                        const axis_weights &axis, const std::vector<std::int32_t> &k) {
    vertical<1>(in, width, row_offset, out, first_out, end_out, axis, k);
}

// sRGB to linear light and back, through tables.
float to_linear(std::uint8_t value) {
    const double v = value / 255.0;
    return static_cast<float>(v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
}

std::uint8_t from_linear(float value) {
    const double v = std::clamp(static_cast<double>(value), 0.0, 1.0);
    const double encoded = v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
    return static_cast<std::uint8_t>(std::lround(encoded * 255.0));
}

// The linear-light path: premultiplied floats through both passes.
status resample_linear(rasterkit_image *image, std::int32_t width, std::int32_t height, const axis_weights &across,
                       const axis_weights &down) {
    float table[256];
    for (int v = 0; v < 256; ++v) table[v] = to_linear(static_cast<std::uint8_t>(v));
    const std::size_t in_count = std::size_t(image->width) * std::size_t(image->height);
    std::vector<float> light(in_count * channels);
    for (std::size_t i = 0; i < in_count; ++i) {
        const float a = static_cast<float>(image->data[i * channels + alpha]) / 255.0f;
        for (int c = 0; c < alpha; ++c) light[i * channels + std::size_t(c)] = table[image->data[i * channels + std::size_t(c)]] * a;
        light[i * channels + alpha] = a;
    }
    std::vector<float> wide(std::size_t(width) * std::size_t(image->height) * channels, 0.0f);
    for (std::int32_t y = 0; y < image->height; ++y)
        for (std::int32_t x = 0; x < width; ++x) {
            const double *w = across.weights.data() + std::size_t(x) * std::size_t(across.stride);
            for (std::int32_t t = 0; t < across.taps[std::size_t(x)]; ++t)
                for (int c = 0; c < channels; ++c)
                    wide[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * channels + std::size_t(c)] += static_cast<float>(
                        w[t] * light[(std::size_t(y) * std::size_t(image->width) + std::size_t(across.first[std::size_t(x)] + t)) * channels + std::size_t(c)]);
        }
    heap_block out(std::size_t(width) * std::size_t(height) * channels);
    if (out.bytes == nullptr) return out_of_memory();
    std::vector<float> sum(channels);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x) {
            std::fill(sum.begin(), sum.end(), 0.0f);
            const double *w = down.weights.data() + std::size_t(y) * std::size_t(down.stride);
            for (std::int32_t t = 0; t < down.taps[std::size_t(y)]; ++t)
                for (int c = 0; c < channels; ++c)
                    sum[std::size_t(c)] += static_cast<float>(
                        w[t] * wide[(std::size_t(down.first[std::size_t(y)] + t) * std::size_t(width) + std::size_t(x)) * channels + std::size_t(c)]);
            std::uint8_t *p = out.bytes + (std::size_t(y) * std::size_t(width) + std::size_t(x)) * channels;
            const float a = std::clamp(sum[alpha], 0.0f, 1.0f);
            for (int c = 0; c < alpha; ++c) p[c] = a > 0.0f ? from_linear(sum[std::size_t(c)] / a) : 0;
            p[alpha] = static_cast<std::uint8_t>(std::lround(a * 255.0f));
        }
    std::free(image->data);
    *image = rasterkit_image{width, height, out.release()};
    return success();
}

}  // namespace

status resample(rasterkit_image *image, const resample_request &request) {
    const resampling_kernel &kernel = request.kernel != nullptr ? *request.kernel : default_kernel();
    const std::int32_t width = request.width;
    const std::int32_t height = request.height;
    if (image->data == nullptr || (width == image->width && height == image->height)) return success();
    const axis_weights across = weights_for(image->width, width, kernel);
    const axis_weights down = weights_for(image->height, height, kernel);
    if (request.linear_light) return resample_linear(image, width, height, across, down);

    const pixel_content content = content_of(image);
    const bool premultiplied = content == pixel_content::transparent;
    const bool grey = content == pixel_content::grey_opaque;
    if (premultiplied) premultiply(image->data, std::size_t(image->width) * std::size_t(image->height));
    // Only the rows the vertical pass reads go through the horizontal one.
    const std::int32_t first_row = down.first.front();
    const std::int32_t last_row = down.first.back() + down.taps.back();
    const std::size_t wide_channels = grey ? 1 : channels;
    heap_block wide(std::size_t(width) * std::size_t(last_row - first_row) * wide_channels);
    heap_block out(std::size_t(width) * std::size_t(height) * channels);
    if (wide.bytes == nullptr || out.bytes == nullptr) return out_of_memory();
    const horizontal_pass across_pass(across, image->width, grey);
    const std::vector<std::int32_t> down_fixed = fixed_point(down);
    across_pass(image->data, image->width, first_row, last_row - first_row, wide.bytes, width);
    if (grey)
        vertical_grey(wide.bytes, width, first_row, out.bytes, 0, height, down, down_fixed);
    else
        vertical_rgba(wide.bytes, width, first_row, out.bytes, 0, height, down, down_fixed);
    if (premultiplied) unpremultiply(out.bytes, std::size_t(width) * std::size_t(height));
    std::free(image->data);
    *image = rasterkit_image{width, height, out.release()};
    return success();
}

status resample_rows(rasterkit::rgba_row_source &rows, std::int32_t in_width, std::int32_t in_height, bool grey,
                     const resample_request &request, rasterkit_image *image) {
    constexpr std::int32_t rows_at_once = 16;  // the row groups a decoder hands out
    const resampling_kernel &kernel = request.kernel != nullptr ? *request.kernel : default_kernel();
    const std::int32_t width = request.width;
    const std::int32_t height = request.height;
    const axis_weights across = weights_for(in_width, width, kernel);
    const axis_weights down = weights_for(in_height, height, kernel);
    const std::int32_t first_row = down.first.front();
    const std::int32_t last_row = down.first.back() + down.taps.back();
    const std::size_t wide_row = std::size_t(width) * (grey ? 1 : channels);
    heap_block wide(wide_row * std::size_t(last_row - first_row));
    heap_block out(std::size_t(width) * std::size_t(height) * channels);
    if (wide.bytes == nullptr || out.bytes == nullptr) return out_of_memory();
    const horizontal_pass across_pass(across, in_width, grey);
    const std::vector<std::int32_t> down_fixed = fixed_point(down);
    const auto vertical_pass = grey ? vertical_grey : vertical_rgba;
    // Each output row is made as soon as the rows under its window are in.
    JSAMPROW group[rows_at_once];
    std::int32_t made = 0;
    for (std::int32_t y = 0; y < in_height; y += rows_at_once) {
        const std::int32_t count = std::min(rows_at_once, in_height - y);
        if (!rows.next(group, static_cast<JDIMENSION>(count)))
            return failure(failure_kind::input_output, "the pixels stopped coming");
        for (std::int32_t i = std::max(0, first_row - y); i < count && y + i < last_row; ++i)
            across_pass(group[i], in_width, 0, 1, wide.bytes + std::size_t(y + i - first_row) * wide_row, width);
        std::int32_t ready = made;
        while (ready < height && down.first[std::size_t(ready)] + down.taps[std::size_t(ready)] <= y + count) ++ready;
        vertical_pass(wide.bytes, width, first_row, out.bytes, made, ready, down, down_fixed);
        made = ready;
    }
    std::free(image->data);
    *image = rasterkit_image{width, height, out.release()};
    return success();
}

status box_reduce(rasterkit_image *image, std::int32_t factor) {
    if (factor < 2 || image->data == nullptr) return success();
    const std::int32_t width = (image->width + factor - 1) / factor;
    const std::int32_t height = (image->height + factor - 1) / factor;
    heap_block out(std::size_t(width) * std::size_t(height) * channels);
    if (out.bytes == nullptr) return out_of_memory();
    // Colours are summed weighted by their alpha, so transparent pixels lend none.
    std::vector<std::uint64_t> sums(std::size_t(width) * channels);
    for (std::int32_t y = 0; y < height; ++y) {
        std::fill(sums.begin(), sums.end(), 0u);
        const std::int32_t rows = std::min(factor, image->height - y * factor);
        for (std::int32_t r = 0; r < rows; ++r) {
            const std::uint8_t *p = image->data + std::size_t(y * factor + r) * std::size_t(image->width) * channels;
            for (std::int32_t x = 0; x < image->width; ++x, p += channels) {
                std::uint64_t *sum = sums.data() + std::size_t(x / factor) * channels;
                for (int c = 0; c < alpha; ++c) sum[c] += static_cast<std::uint64_t>(p[c]) * p[alpha];
                sum[alpha] += p[alpha];
            }
        }
        std::uint8_t *target = out.bytes + std::size_t(y) * std::size_t(width) * channels;
        for (std::int32_t x = 0; x < width; ++x, target += channels) {
            const std::uint64_t *sum = sums.data() + std::size_t(x) * channels;
            const std::uint64_t area = std::uint64_t(rows) * std::uint64_t(std::min(factor, image->width - x * factor));
            for (int c = 0; c < alpha; ++c)
                target[c] = sum[alpha] == 0 ? std::uint8_t{0} : static_cast<std::uint8_t>((sum[c] + sum[alpha] / 2) / sum[alpha]);
            target[alpha] = static_cast<std::uint8_t>((sum[alpha] + area / 2) / area);
        }
    }
    std::free(image->data);
    *image = rasterkit_image{width, height, out.release()};
    return success();
}

}  // namespace rkconv
