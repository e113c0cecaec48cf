#include <lcms2.h>

#include <memory>
#include <vector>

#include "formats/jpeg/jpeg_room.h"

namespace rkconv {
namespace {

constexpr int full = 255;
constexpr std::size_t rgba = 4;

struct profile_closer {
    void operator()(void *profile) const noexcept { cmsCloseProfile(profile); }
};
struct transform_releaser {
    void operator()(void *transform) const noexcept { cmsDeleteTransform(transform); }
};

// a * b / 255, rounded as Pillow rounds it.
int times_over_full(int a, int b) {
    const int product = a * b + 128;
    return ((product >> 8) + product) >> 8;
}

void by_formula(std::uint8_t *pixels, std::size_t count, bool inverted) {
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t *p = pixels + rgba * i;
        const int flip = inverted ? full : 0;
        const int not_black = full - (p[3] ^ flip);
        for (int c = 0; c < 3; ++c) p[c] = static_cast<std::uint8_t>(not_black - times_over_full(p[c] ^ flip, not_black));
        p[3] = full;
    }
}

bool by_profile(std::uint8_t *pixels, std::size_t count, bool inverted, const std::vector<std::uint8_t> &profile) {
    if (profile.empty()) return false;
    const std::unique_ptr<void, profile_closer> source(
        cmsOpenProfileFromMemTHR(nullptr, profile.data(), static_cast<cmsUInt32Number>(profile.size())));
    if (!source || cmsGetColorSpace(source.get()) != cmsSigCmykData) return false;
    const std::unique_ptr<void, profile_closer> srgb(cmsCreate_sRGBProfileTHR(nullptr));
    if (!srgb) return false;
    const std::unique_ptr<void, transform_releaser> transform(cmsCreateTransformTHR(
        nullptr, source.get(), inverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8, srgb.get(), TYPE_RGB_8, INTENT_PERCEPTUAL, 0));
    if (!transform) return false;
    // A row's worth at a time through a small buffer, then spread to RGBA.
    constexpr std::size_t chunk = 4096;
    std::vector<std::uint8_t> rgb(3 * chunk);
    for (std::size_t first = 0; first < count; first += chunk) {
        const std::size_t n = std::min(chunk, count - first);
        std::uint8_t *p = pixels + rgba * first;
        cmsDoTransform(transform.get(), p, rgb.data(), static_cast<cmsUInt32Number>(n));
        for (std::size_t i = 0; i < n; ++i) {
            p[rgba * i] = rgb[3 * i];
            p[rgba * i + 1] = rgb[3 * i + 1];
            p[rgba * i + 2] = rgb[3 * i + 2];
            p[rgba * i + 3] = full;
        }
    }
    return true;
}

}  // namespace

bool cmyk_to_rgb(std::uint8_t *pixels, std::size_t count, bool inverted, const std::vector<std::uint8_t> &profile) {
    if (by_profile(pixels, count, inverted, profile)) return true;
    by_formula(pixels, count, inverted);
    return false;
}

}  // namespace rkconv
