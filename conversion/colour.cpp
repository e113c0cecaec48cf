#include "colour.h"

#include <lcms2.h>

#include <memory>

namespace rkconv {
namespace {

struct profile_closer {
    void operator()(void *profile) const noexcept { cmsCloseProfile(profile); }
};
struct transform_releaser {
    void operator()(void *transform) const noexcept { cmsDeleteTransform(transform); }
};
using profile_handle = std::unique_ptr<void, profile_closer>;

}  // namespace

std::string convert_to_srgb(rasterkit_image *image, const std::vector<std::uint8_t> &profile) {
    const profile_handle source(
        cmsOpenProfileFromMemTHR(nullptr, profile.data(), static_cast<cmsUInt32Number>(profile.size())));
    if (!source) return "the colour profile is malformed";
    if (cmsGetColorSpace(source.get()) != cmsSigRgbData) return "the colour profile is not an RGB profile";
    const profile_handle srgb(cmsCreate_sRGBProfileTHR(nullptr));
    if (!srgb) return "out of memory";
    // Alpha rides along untouched; the record's rows are converted in place.
    const std::unique_ptr<void, transform_releaser> transform(
        cmsCreateTransformTHR(nullptr, source.get(), TYPE_RGBA_8, srgb.get(), TYPE_RGBA_8, INTENT_PERCEPTUAL,
                              cmsFLAGS_COPY_ALPHA));
    if (!transform) return "the colour profile cannot be converted to sRGB";
    if (image->data == nullptr) return {};
    cmsDoTransform(transform.get(), image->data, image->data,
                   static_cast<cmsUInt32Number>(image->width) * static_cast<cmsUInt32Number>(image->height));
    return {};
}

}  // namespace rkconv
