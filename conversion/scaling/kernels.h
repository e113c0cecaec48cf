// The resampling kernels, each once: its name, its support (the half-width
// of its window at a scale of one) and its weight function.
#pragma once

#include <cstdint>

namespace rkconv {

struct resampling_kernel {
    const char *name;
    double support;
    double (*weight)(double distance);
};

// nearest, linear, cubic (Catmull-Rom), mitchell, lanczos2, lanczos3; null
// for any other name.
const resampling_kernel *kernel_named(const char *name);
const resampling_kernel &default_kernel();  // lanczos3

}  // namespace rkconv
