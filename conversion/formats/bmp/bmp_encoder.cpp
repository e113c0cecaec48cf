#include "formats/bmp/bmp_room.h"
#include "rasterkit_rules/bmp_writer.h"

namespace rkconv {

status encode_bmp(const rasterkit_image *image, const encode_settings &, byte_sink &sink, warnings &) {
    const rasterkit::bmp_put to_sink = [](void *into, const void *bytes, std::size_t count) {
        return static_cast<byte_sink *>(into)->write(bytes, count);
    };
    if (!rasterkit::write_bmp(image, to_sink, &sink))
        return sink.failure_number() != 0 ? system_failure(sink.failure_number(), "") : out_of_memory();
    if (!sink.flush()) return system_failure(sink.failure_number(), "");
    return success();
}

}  // namespace rkconv
