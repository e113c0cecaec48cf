// Writes the two ICC profiles the metadata benchmark needs, with Little CMS:
// sRGB (for ImageMagick's -profile) and a wide-gamut RGB profile with
// ProPhoto's primaries (to embed in the photos).
//   make_profiles FOLDER
#include <lcms2.h>

#include <cstdio>
#include <string>

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_profiles FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    const cmsCIExyY white = {0.3457, 0.3585, 1.0};
    const cmsCIExyYTRIPLE primaries = {{0.7347, 0.2653, 1.0}, {0.1596, 0.8404, 1.0}, {0.0366, 0.0001, 1.0}};
    cmsToneCurve *gamma = cmsBuildGamma(nullptr, 1.8);
    cmsToneCurve *curves[3] = {gamma, gamma, gamma};
    cmsHPROFILE prophoto = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsMLU *description = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(description, "en", "US", "Wide gamut RGB (ProPhoto primaries)");
    cmsWriteTag(prophoto, cmsSigProfileDescriptionTag, description);
    const bool saved = cmsSaveProfileToFile(srgb, (folder + "/sRGB.icc").c_str()) &&
                       cmsSaveProfileToFile(prophoto, (folder + "/prophoto.icc").c_str());
    cmsMLUfree(description);
    cmsFreeToneCurve(gamma);
    cmsCloseProfile(prophoto);
    cmsCloseProfile(srgb);
    return saved ? 0 : 1;
}
