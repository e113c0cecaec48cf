#include "options.h"

#include <string>

namespace rasterkit_node {
namespace {

bool has(const Napi::Object &object, const char *key) {
    return object.Has(key) && !object.Get(key).IsUndefined() && !object.Get(key).IsNull();
}

std::int32_t integer(const Napi::Object &object, const char *key, std::int32_t otherwise = 0) {
    return has(object, key) ? object.Get(key).As<Napi::Number>().Int32Value() : otherwise;
}

bool flag(const Napi::Object &object, const char *key) { return object.Get(key).ToBoolean().Value(); }

std::string text(const Napi::Object &object, const char *key) {
    return object.Get(key).As<Napi::String>().Utf8Value();
}

// [r, g, b] or [r, g, b, a] as the library's "R,G,B[,A]".
std::string colour(const Napi::Value &value) {
    if (value.IsString()) return value.As<Napi::String>().Utf8Value();
    const Napi::Array parts = value.As<Napi::Array>();
    std::string joined;
    for (std::uint32_t i = 0; i < parts.Length(); ++i)
        joined += (i == 0 ? "" : ",") + std::to_string(parts.Get(i).As<Napi::Number>().Int32Value());
    return joined;
}

void set_resize(rkconv_options *options, const Napi::Object &resize) {
    rkconv_options_set_resize(options, integer(resize, "width"), integer(resize, "height"));
    if (has(resize, "fit")) rkconv_options_set_fit(options, text(resize, "fit").c_str());
    if (has(resize, "position")) rkconv_options_set_position(options, text(resize, "position").c_str());
    if (has(resize, "kernel")) rkconv_options_set_kernel(options, text(resize, "kernel").c_str());
    if (has(resize, "background")) rkconv_options_set_background(options, colour(resize.Get("background")).c_str());
    if (has(resize, "enlarge")) rkconv_options_set_enlarge(options, flag(resize, "enlarge"));
    if (has(resize, "linear")) rkconv_options_set_linear(options, flag(resize, "linear"));
}

// The mirrors and the transpose, in the order their keys were given.
void add_transforms(rkconv_options *options, const Napi::Object &given) {
    const Napi::Array keys = given.GetPropertyNames();
    for (std::uint32_t i = 0; i < keys.Length(); ++i) {
        const std::string key = keys.Get(i).As<Napi::String>().Utf8Value();
        if (!flag(given, key.c_str())) continue;
        if (key == "flipX") rkconv_options_add_transform(options, RKCONV_TRANSFORM_FLIP_X);
        if (key == "flipY") rkconv_options_add_transform(options, RKCONV_TRANSFORM_FLIP_Y);
        if (key == "transpose") rkconv_options_add_transform(options, RKCONV_TRANSFORM_TRANSPOSE);
    }
}

}  // namespace

owned_options options_from(const Napi::Object &given, option_part part) {
    owned_options made(rkconv_options_new());
    rkconv_options *options = made.get();
    if (options == nullptr) return made;
    if (part != option_part::without_transforms) add_transforms(options, given);
    if (part == option_part::transforms_only) return made;
    if (has(given, "format")) rkconv_options_set_format(options, rkconv_format_from_name(text(given, "format").c_str()));
    if (has(given, "quality")) rkconv_options_set_quality(options, integer(given, "quality"));
    if (has(given, "compression")) rkconv_options_set_compression(options, integer(given, "compression"));
    if (has(given, "progressive")) rkconv_options_set_progressive(options, flag(given, "progressive") ? 1 : -1);
    if (has(given, "chroma")) rkconv_options_set_chroma(options, integer(given, "chroma"));
    if (has(given, "maxPixels"))
        rkconv_options_set_max_pixels(options, static_cast<std::uint64_t>(given.Get("maxPixels").As<Napi::Number>().Int64Value()));
    if (has(given, "autoOrient")) rkconv_options_set_auto_orient(options, flag(given, "autoOrient"));
    if (has(given, "strip") && flag(given, "strip")) rkconv_options_set_profile(options, RKCONV_PROFILE_STRIP);
    if (has(given, "toSrgb") && flag(given, "toSrgb")) rkconv_options_set_profile(options, RKCONV_PROFILE_TO_SRGB);
    if (has(given, "exact")) rkconv_options_set_exact(options, flag(given, "exact"));
    if (has(given, "acceptDamaged")) rkconv_options_set_accept_damaged(options, flag(given, "acceptDamaged"));
    if (has(given, "rotate")) rkconv_options_set_rotate(options, integer(given, "rotate"));
    if (has(given, "resize")) set_resize(options, given.Get("resize").As<Napi::Object>());
    if (has(given, "crop")) {
        const Napi::Object crop = given.Get("crop").As<Napi::Object>();
        rkconv_options_set_crop(options, integer(crop, "x"), integer(crop, "y"), integer(crop, "width"),
                                integer(crop, "height"));
    }
    return made;
}

}  // namespace rasterkit_node
