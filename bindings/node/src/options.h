// The options object of a JavaScript call as the conversion library's
// options. The JavaScript layer has already checked every name and type;
// here each key goes to its setter, which judges the value and keeps why it
// refuses one, so that the call fails with that reason before any work.
#pragma once

#include <napi.h>

#include <memory>

#include "rasterkit_convert.h"

namespace rasterkit_node {

struct options_freer {
    void operator()(rkconv_options *options) const noexcept { rkconv_options_free(options); }
};
using owned_options = std::unique_ptr<rkconv_options, options_freer>;

// Which of the options a library call gets: reads take everything but the
// mirrors and the transpose, which the library applies only in conversions
// and in rkconv_apply_geometry.
enum class option_part { all, without_transforms, transforms_only };

owned_options options_from(const Napi::Object &given, option_part part);

}  // namespace rasterkit_node
