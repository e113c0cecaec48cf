#include "metadata.h"

#include <lcms2.h>
#include <libexif/exif-data.h>

#include <cstring>
#include <memory>

namespace rkconv {
namespace {

constexpr unsigned char exif_header[] = {'E', 'x', 'i', 'f', 0, 0};
constexpr std::int32_t first_orientation = 1;
constexpr std::int32_t last_orientation = 8;
constexpr std::size_t description_bytes = 256;
// libexif's three load options (drop unknown tags, repair and add tags,
// leave maker notes alone), all turned off: a read that only looks takes
// the block as stored.
constexpr auto every_load_option = static_cast<ExifDataOption>(0x7);

struct exif_releaser {
    void operator()(ExifData *data) const noexcept { exif_data_unref(data); }
};

struct profile_closer {
    void operator()(void *profile) const noexcept { cmsCloseProfile(profile); }
};

constexpr std::size_t icc_header_bytes = 128;
constexpr std::size_t icc_signature_offset = 36;
constexpr unsigned char icc_signature[] = {'a', 'c', 's', 'p'};
constexpr std::size_t icc_tag_entry_bytes = 12;

std::uint32_t big_endian_at(const std::vector<std::uint8_t> &bytes, std::size_t offset) {
    return std::uint32_t{bytes[offset]} << 24 | std::uint32_t{bytes[offset + 1]} << 16 |
           std::uint32_t{bytes[offset + 2]} << 8 | std::uint32_t{bytes[offset + 3]};
}

// Whether the profile's header and tag table agree with its bytes: Little
// CMS opens some profiles that do not, and libpng refuses those for PNG, so
// such a profile is dropped for every output alike.
bool icc_structure_holds(const std::vector<std::uint8_t> &profile) {
    const std::size_t size = profile.size();
    if (size < icc_header_bytes + 4 || big_endian_at(profile, 0) != size) return false;
    if (std::memcmp(profile.data() + icc_signature_offset, icc_signature, sizeof icc_signature) != 0) return false;
    const std::uint64_t tags = big_endian_at(profile, icc_header_bytes);
    if (icc_header_bytes + 4 + tags * icc_tag_entry_bytes > size) return false;
    for (std::uint64_t i = 0; i < tags; ++i) {
        const std::size_t entry = icc_header_bytes + 4 + static_cast<std::size_t>(i) * icc_tag_entry_bytes;
        const std::uint64_t offset = big_endian_at(profile, entry + 4);
        const std::uint64_t length = big_endian_at(profile, entry + 8);
        if (offset + length > size) return false;
    }
    return true;
}

icc_facts examine_icc(const std::vector<std::uint8_t> &profile) {
    icc_facts facts;
    if (profile.empty() || !icc_structure_holds(profile)) return facts;
    const std::unique_ptr<void, profile_closer> opened(
        cmsOpenProfileFromMemTHR(nullptr, profile.data(), static_cast<cmsUInt32Number>(profile.size())));
    if (!opened) return facts;
    facts.readable = true;
    facts.rgb = cmsGetColorSpace(opened.get()) == cmsSigRgbData;
    char text[description_bytes] = {};
    if (cmsGetProfileInfoASCII(opened.get(), cmsInfoDescription, "en", "US", text, sizeof text) > 0)
        facts.description = text;
    return facts;
}

}  // namespace

std::int32_t exif_orientation(const std::uint8_t *bytes, std::size_t length) {
    if (bytes == nullptr || length == 0 || length > max_exif_bytes) return first_orientation;
    // libexif takes a block with its header; a PNG's eXIf chunk has none.
    std::vector<std::uint8_t> block;
    if (length < sizeof exif_header || std::memcmp(bytes, exif_header, sizeof exif_header) != 0)
        block.assign(exif_header, exif_header + sizeof exif_header);
    block.insert(block.end(), bytes, bytes + length);

    const std::unique_ptr<ExifData, exif_releaser> data(exif_data_new());
    if (!data) return first_orientation;
    exif_data_unset_option(data.get(), every_load_option);
    exif_data_load_data(data.get(), block.data(), static_cast<unsigned int>(block.size()));
    ExifEntry *entry = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
    if (entry == nullptr || entry->format != EXIF_FORMAT_SHORT || entry->components < 1 || entry->size < 2)
        return first_orientation;
    const std::int32_t value = exif_get_short(entry->data, exif_data_get_byte_order(data.get()));
    return value >= first_orientation && value <= last_orientation ? value : first_orientation;
}

void adopt_icc(rkconv_metadata &metadata, std::vector<std::uint8_t> profile) {
    metadata.icc_profile = std::move(profile);
    metadata.icc = examine_icc(metadata.icc_profile);
}

}  // namespace rkconv
