#include "scaling/kernels.h"

#include <cmath>
#include <cstring>

namespace rkconv {
namespace {

constexpr double pi = 3.14159265358979323846;

double box(double x) { return x > -0.5 && x <= 0.5 ? 1.0 : 0.0; }

double triangle(double x) {
    x = std::fabs(x);
    return x < 1.0 ? 1.0 - x : 0.0;
}

// Keys' cubic with a = -0.5 (Catmull-Rom), as Pillow's BICUBIC.
double catmull_rom(double x) {
    constexpr double a = -0.5;
    x = std::fabs(x);
    if (x < 1.0) return ((a + 2.0) * x - (a + 3.0)) * x * x + 1.0;
    if (x < 2.0) return (((x - 5.0) * x + 8.0) * x - 4.0) * a;
    return 0.0;
}

// Mitchell-Netravali with B = C = 1/3.
double mitchell(double x) {
    constexpr double b = 1.0 / 3.0;
    constexpr double c = 1.0 / 3.0;
    x = std::fabs(x);
    if (x < 1.0)
        return ((12.0 - 9.0 * b - 6.0 * c) * x * x * x + (-18.0 + 12.0 * b + 6.0 * c) * x * x + (6.0 - 2.0 * b)) / 6.0;
    if (x < 2.0)
        return ((-b - 6.0 * c) * x * x * x + (6.0 * b + 30.0 * c) * x * x + (-12.0 * b - 48.0 * c) * x +
                (8.0 * b + 24.0 * c)) /
               6.0;
    return 0.0;
}

double sinc(double x) {
    if (x == 0.0) return 1.0;
    x *= pi;
    return std::sin(x) / x;
}

double lanczos2(double x) { return -2.0 <= x && x < 2.0 ? sinc(x) * sinc(x / 2.0) : 0.0; }
double lanczos3(double x) { return -3.0 <= x && x < 3.0 ? sinc(x) * sinc(x / 3.0) : 0.0; }

constexpr resampling_kernel kernels[] = {
    {"nearest", 0.5, box},      {"linear", 1.0, triangle},    {"cubic", 2.0, catmull_rom},
    {"mitchell", 2.0, mitchell}, {"lanczos2", 2.0, lanczos2}, {"lanczos3", 3.0, lanczos3},
};

}  // namespace

const resampling_kernel *kernel_named(const char *name) {
    if (name == nullptr) return nullptr;
    for (const resampling_kernel &k : kernels)
        if (std::strcmp(k.name, name) == 0) return &k;
    return nullptr;
}

const resampling_kernel &default_kernel() { return kernels[5]; }

}  // namespace rkconv
