// JPEG pixels through libjpeg-turbo's full interface: greyscale, YCbCr and
// RGB files straight into the record's RGBA layout (the samples rasterkit's
// reader gives), CMYK and YCCK files through CMYK samples to RGB.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "formats/jpeg/jpeg_errors.h"
#include "formats/jpeg/jpeg_room.h"
#include "formats/jpeg/reduced_decoding.h"
#include "large_block.h"
#include "rasterkit_rules/formats.h"

#ifndef JCS_ALPHA_EXTENSIONS
#error "the JPEG room needs libjpeg-turbo's extended colour spaces (JCS_EXT_RGBA)"
#endif

namespace rkconv {
namespace {

constexpr std::size_t rgba_bytes = 4;
constexpr unsigned int max_marker_bytes = 0xFFFF;
constexpr unsigned char exif_marker_header[] = {'E', 'x', 'i', 'f', 0, 0};
constexpr JOCTET end_of_image[] = {0xFF, JPEG_EOI};

// What libjpeg changes while it works lives outside the frames that call
// setjmp, so that it is still valid when control comes back by longjmp.
struct jpeg_read_context {
    jpeg_decompress_struct cinfo;
    jpeg_error_trap errors;
    jpeg_source_mgr source_manager;
    jpeg_progress_mgr progress;
    byte_source *source;
    bool created;
    std::vector<std::uint8_t> icc_profile;  // kept for CMYK files
    growing_block rest;                     // the file after the header, once a reduced decode takes it
};

jpeg_read_context *context_of(j_decompress_ptr cinfo) { return static_cast<jpeg_read_context *>(cinfo->client_data); }

void start_source(j_decompress_ptr) {}

// libjpeg reads straight from the source's buffer. At the end, as libjpeg's
// own file source does: a warning and an end-of-image marker, so what was
// decoded is kept.
boolean fill_source(j_decompress_ptr cinfo) {
    const auto [bytes, count] = context_of(cinfo)->source->next_bytes();
    if (count == 0) {
        WARNMS(cinfo, JWRN_JPEG_EOF);
        cinfo->src->next_input_byte = end_of_image;
        cinfo->src->bytes_in_buffer = sizeof end_of_image;
        return TRUE;
    }
    cinfo->src->next_input_byte = bytes;
    cinfo->src->bytes_in_buffer = count;
    return TRUE;
}

void skip_source(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    auto remaining = static_cast<std::size_t>(count);
    while (remaining > cinfo->src->bytes_in_buffer) {
        remaining -= cinfo->src->bytes_in_buffer;
        fill_source(cinfo);
    }
    cinfo->src->next_input_byte += remaining;
    cinfo->src->bytes_in_buffer -= remaining;
}

void finish_source(j_decompress_ptr) {}

void attach_source(jpeg_read_context *context) {
    j_decompress_ptr cinfo = &context->cinfo;
    if (const std::uint8_t *memory = context->source->memory()) {
        jpeg_mem_src(cinfo, memory, static_cast<unsigned long>(context->source->memory_length()));
        return;
    }
    jpeg_source_mgr &manager = context->source_manager;
    manager.init_source = start_source;
    manager.fill_input_buffer = fill_source;
    manager.skip_input_data = skip_source;
    manager.resync_to_restart = jpeg_resync_to_restart;
    manager.term_source = finish_source;
    manager.bytes_in_buffer = 0;
    manager.next_input_byte = nullptr;
    cinfo->src = &manager;
}

void limit_scans(j_common_ptr cinfo) {
    auto *decompress = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (decompress->input_scan_number <= max_jpeg_scans) return;
    auto *trap = reinterpret_cast<jpeg_error_trap *>(cinfo->err);
    std::snprintf(trap->text, sizeof trap->text, "Too many scans in JPEG file (more than %d)", max_jpeg_scans);
    std::longjmp(trap->resume, 1);  // NOLINT(cert-err52-cpp): the one way back from libjpeg
}

// The first APP1 segment that holds EXIF, and the ICC profile from the APP2
// segments, which libjpeg-turbo joins in their order.
void read_metadata(jpeg_read_context *context, rkconv_metadata *metadata) {
    j_decompress_ptr cinfo = &context->cinfo;
    JOCTET *profile = nullptr;
    unsigned int profile_length = 0;
    if (jpeg_read_icc_profile(cinfo, &profile, &profile_length) && profile != nullptr &&
        profile_length <= max_icc_bytes)
        context->icc_profile.assign(profile, profile + profile_length);
    std::free(profile);
    if (metadata == nullptr) return;
    for (jpeg_saved_marker_ptr marker = cinfo->marker_list; marker != nullptr; marker = marker->next) {
        if (marker->marker != JPEG_APP0 + 1 || marker->data_length < sizeof exif_marker_header ||
            std::memcmp(marker->data, exif_marker_header, sizeof exif_marker_header) != 0)
            continue;
        metadata->orientation = exif_orientation(marker->data, marker->data_length);
        break;
    }
    if (!context->icc_profile.empty()) adopt_icc(*metadata, context->icc_profile);
}

bool read_header_of(jpeg_read_context *context, rkconv_metadata *metadata, bool *header_ok) {
    j_decompress_ptr cinfo = &context->cinfo;
    cinfo->err = install_error_trap(context->errors);
    if (setjmp(context->errors.resume)) return false;  // NOLINT(cert-err52-cpp): libjpeg's fatal errors land here
    jpeg_create_decompress(cinfo);
    context->created = true;
    cinfo->client_data = context;
    context->progress.progress_monitor = limit_scans;
    cinfo->progress = &context->progress;
    attach_source(context);
    jpeg_save_markers(cinfo, JPEG_APP0 + 1, max_marker_bytes);
    jpeg_save_markers(cinfo, JPEG_APP0 + 2, max_marker_bytes);
    *header_ok = jpeg_read_header(cinfo, TRUE) == JPEG_HEADER_OK;
    if (*header_ok) read_metadata(context, metadata);
    return true;
}

bool is_cmyk(const jpeg_decompress_struct &cinfo) {
    return cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
}

// Rows that come out of libjpeg in another layout than the record's.
void spread_row(const JSAMPLE *samples, int components, std::uint8_t *out, JDIMENSION width) {
    for (JDIMENSION x = 0; x < width; ++x, samples += components, out += rgba_bytes) {
        out[0] = samples[0];
        out[1] = samples[components == 1 ? 0 : 1];
        out[2] = samples[components == 1 ? 0 : 2];
        out[3] = 0xFF;
    }
}

// The output's scale and colour space; the caller's setjmp receives the errors.
void choose_output(j_decompress_ptr cinfo, unsigned int shrink) {
    cinfo->scale_num = 1;
    cinfo->scale_denom = shrink;
    // A decode that shrinks feeds a kernel that reduces at least twice as
    // much again, which averages away the fast DCT's and plain upsampling's
    // small errors (as Pillow's draft mode does).
    if (shrink > 1) {
        cinfo->dct_method = JDCT_IFAST;
        cinfo->do_fancy_upsampling = FALSE;
    }
    switch (cinfo->jpeg_color_space) {
        case JCS_GRAYSCALE:
        case JCS_YCbCr:
        case JCS_RGB:
            cinfo->out_color_space = JCS_EXT_RGBA;
            break;
        case JCS_CMYK:
        case JCS_YCCK:
            cinfo->out_color_space = JCS_CMYK;
            break;
        default:
            break;
    }
    jpeg_calc_output_dimensions(cinfo);
}

bool read_pixels(jpeg_read_context *context, std::uint8_t *pixels, unsigned int shrink, bool *unsupported) {
    j_decompress_ptr cinfo = &context->cinfo;
    if (setjmp(context->errors.resume)) return false;  // NOLINT(cert-err52-cpp): libjpeg's fatal errors land here
    choose_output(cinfo, shrink);
    const int components = cinfo->output_components;
    if (components != 1 && components != 3 && components != 4) {
        *unsupported = true;
        return false;
    }
    jpeg_start_decompress(cinfo);
    const std::size_t stride = rgba_bytes * cinfo->output_width;
    std::vector<JSAMPLE> row(components == 4 ? 0 : std::size_t{cinfo->output_width} * static_cast<std::size_t>(components));
    while (cinfo->output_scanline < cinfo->output_height) {
        std::uint8_t *target = pixels + std::size_t{cinfo->output_scanline} * stride;
        JSAMPROW into = components == 4 ? target : row.data();
        if (jpeg_read_scanlines(cinfo, &into, 1) == 1 && components != 4)
            spread_row(row.data(), components, target, cinfo->output_width);
    }
    // libjpeg can still fail here (a second frame after the scan, say).
    jpeg_finish_decompress(cinfo);
    return true;
}

// Why a decode failed: components it cannot give, the system's read error,
// or libjpeg's own words on the data.
status decode_failure(const jpeg_read_context &context, bool unsupported) {
    if (unsupported)
        return failure(failure_kind::not_an_image, "cannot be read as jpeg (" +
                                                       std::to_string(context.cinfo.output_components) +
                                                       " colour components are not supported)");
    if (context.source->read_error() != 0) return system_failure(context.source->read_error(), "cannot be read");
    return failure(failure_kind::damaged, std::string("damaged JPEG data (") + context.errors.text + ")");
}

// libjpeg's own words for one of its messages.
std::string libjpeg_text(jpeg_read_context &context, int code, int first = 0, int second = 0) {
    jpeg_error_mgr &errors = context.errors.manager;
    errors.msg_code = code;
    errors.msg_parm.i[0] = first;
    errors.msg_parm.i[1] = second;
    char text[JMSG_LENGTH_MAX];
    (*errors.format_message)(reinterpret_cast<j_common_ptr>(&context.cinfo), text);
    return text;
}

// The scan decoded here at 1/shrink of the size where it can be; null when
// libjpeg decodes it, reading on from what was taken from the source, or
// when the rest of the file found no memory (`out_of_room` then says so).
std::unique_ptr<reduced_scan> open_reduced(jpeg_read_context &context, unsigned int shrink, bool &out_of_room) {
    jpeg_decompress_struct &cinfo = context.cinfo;
    out_of_room = false;
    if (!reduced_scan::suits(cinfo, shrink)) return nullptr;
    growing_block &rest = context.rest;
    const std::int64_t length = context.source->length();
    if (length > 0) rest.reserve_huge_paged(std::size_t(length));
    bool whole = rest.append(cinfo.src->next_input_byte, cinfo.src->bytes_in_buffer);
    if (context.source->memory() == nullptr)
        for (auto next = context.source->next_bytes(); whole && next.second != 0; next = context.source->next_bytes())
            whole = rest.append(next.first, next.second);
    out_of_room = !whole;
    std::unique_ptr<reduced_scan> scan =
        whole && context.source->read_error() == 0 ? reduced_scan::open(cinfo, shrink, rest) : nullptr;
    if (!scan) {
        cinfo.src->next_input_byte = rest.data();
        cinfo.src->bytes_in_buffer = rest.size();
    }
    return scan;
}

// What a reduced decode lost, as libjpeg words it: a failure unless
// damaged data is accepted, else a warning, said once.
status reduced_damage(jpeg_read_context &context, const reduced_scan &scan, bool &said) {
    if (scan.damage() == 0 || said) return success();
    said = true;
    const std::string text = libjpeg_text(context, scan.damage());
    if (!context.errors.accept_damaged) return failure(failure_kind::damaged, "damaged JPEG data (" + text + ")");
    if (context.errors.said != nullptr) context.errors.said->add(concerning::input, text);
    return success();
}

void note_extraneous_bytes(jpeg_read_context &context, const reduced_scan &scan) {
    constexpr int end_of_image_code = 0xD9;
    if (scan.extraneous_bytes() == 0 || context.errors.said == nullptr) return;
    context.errors.said->add(concerning::input, libjpeg_text(context, JWRN_EXTRANEOUS_DATA,
                                                             static_cast<int>(scan.extraneous_bytes()),
                                                             end_of_image_code));
}

// Rows are decoded and handed on this many at a time.
constexpr std::uint32_t rows_per_group = 16;

// The next `count` rows of a reduced decode, `stride` apart from `first`,
// the last of them ending the image when `last`: what was lost on the way
// is said (or fails the decode) once, and extraneous bytes after the image.
status read_reduced_rows(jpeg_read_context &context, reduced_scan &scan, std::uint8_t *first, std::size_t stride,
                         std::uint32_t count, bool last, bool &damage_said) {
    std::uint8_t *group[rows_per_group];
    count = std::min(count, rows_per_group);
    for (std::uint8_t **row = group; row != group + count; ++row, first += stride) *row = first;
    scan.read_rows(group, count);
    status damage = reduced_damage(context, scan, damage_said);
    if (damage.ok() && last) note_extraneous_bytes(context, scan);
    return damage;
}

// Every row of a reduced decode into the record's pixels.
status read_reduced(jpeg_read_context &context, reduced_scan &scan, std::uint8_t *pixels) {
    const std::size_t stride = rgba_bytes * scan.width();
    bool said = false;
    for (std::uint32_t y = 0; y < scan.height(); y += rows_per_group) {
        const std::uint32_t count = std::min(rows_per_group, scan.height() - y);
        status read = read_reduced_rows(context, scan, pixels + std::size_t{y} * stride, stride, count,
                                        y + count == scan.height(), said);
        if (!read.ok()) return read;
    }
    return success();
}

// RGBA rows straight from libjpeg, a row group at a time, for files whose
// samples need no conversion after libjpeg's. For a large image the decode
// runs a few row groups ahead on a thread of its own, so that decoding and
// encoding share two cores; without that thread (a small image, or none to
// be had) each group is decoded when it is asked for.
class jpeg_rows final : public row_stream {
public:
    explicit jpeg_rows(jpeg_read_context *context) : context_(context) {}
    ~jpeg_rows() override {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        if (worker_.joinable()) worker_.join();
    }
    jpeg_rows(const jpeg_rows &) = delete;
    jpeg_rows &operator=(const jpeg_rows &) = delete;

    // Rows at 1/`shrink` of the size. False when the file's rows cannot
    // come this way, or the decode could not start (failure() says why).
    bool start(unsigned int shrink) {
        j_decompress_ptr cinfo = &context_->cinfo;
        if (setjmp(context_->errors.resume)) {  // NOLINT(cert-err52-cpp): libjpeg's fatal errors land here
            failure_ = decode_failure(*context_, false);
            return false;
        }
        if (is_cmyk(*cinfo)) return false;
        // A reduced decode splits its scan between two threads itself.
        bool out_of_room = false;
        reduced_ = open_reduced(*context_, shrink, out_of_room);
        if (out_of_room) {
            failure_ = out_of_memory();
            return false;
        }
        if (reduced_) {
            stride_ = rgba_bytes * reduced_->width();
        } else {
            choose_output(cinfo, shrink);
            if (cinfo->output_components != int(rgba_bytes)) return false;
            jpeg_start_decompress(cinfo);
            stride_ = rgba_bytes * cinfo->output_width;
        }
        // Entropy decoding, the larger part, is the whole file's whatever the scale.
        const bool ahead = !reduced_ && std::uint64_t{cinfo->image_width} * cinfo->image_height >= decode_ahead_pixels;
        const std::size_t buffer_bytes = stride_ * group_rows * (ahead ? groups_ahead : 1);
        buffers_.reset(ahead ? allocate_huge_paged(buffer_bytes) : allocate_block(buffer_bytes));
        if (!buffers_) {
            failure_ = out_of_memory();
            return false;
        }
        for (int index = 0; index < (ahead ? groups_ahead : 1); ++index) free_.push_back(index);
        if (ahead) {
            try {
                worker_ = std::thread([this] { decode_ahead(); });
            } catch (const std::system_error &) {
                free_.resize(1);
            }
        }
        return true;
    }

    bool next(JSAMPROW *rows, JDIMENSION count) override {
        std::unique_lock<std::mutex> lock(mutex_);
        if (handed_out_ >= 0) free_.push_back(handed_out_);
        handed_out_ = -1;
        if (!worker_.joinable()) {
            lock.unlock();
            if (!failure_.ok() || decode_group(free_.front()) != count) return false;
            lock.lock();
            filled_.push_back({free_.front(), count});
            free_.pop_front();
        }
        changed_.notify_all();
        changed_.wait(lock, [this] { return !filled_.empty() || finished_; });
        if (filled_.empty() || filled_.front().rows != count) return false;
        handed_out_ = filled_.front().index;
        filled_.pop_front();
        JSAMPLE *row_start = group_start(handed_out_);
        for (JSAMPROW *row = rows; row != rows + count; ++row, row_start += stride_) *row = row_start;
        return true;
    }

    status failure() const override {
        const std::lock_guard<std::mutex> lock(mutex_);
        return failure_;
    }

    // libjpeg and the reduced decode both give a greyscale file's sample as all three colours.
    bool grey() const override { return context_->cinfo.jpeg_color_space == JCS_GRAYSCALE; }

private:
    // As many rows as the encoder takes at once; the decode keeps this many
    // groups ready ahead of it.
    static constexpr JDIMENSION group_rows = rows_per_group;
    static constexpr int groups_ahead = 4;
    static constexpr std::uint64_t decode_ahead_pixels = std::uint64_t{1} << 20;

    struct group {
        int index;
        JDIMENSION rows;
    };

    JSAMPLE *group_start(int index) { return buffers_.get() + std::size_t(index) * group_rows * stride_; }

    void decode_ahead() {
        for (;;) {
            int index = 0;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [this] { return !free_.empty() || stopping_; });
                if (stopping_) break;
                index = free_.front();
                free_.pop_front();
            }
            const JDIMENSION rows = decode_group(index);
            const std::lock_guard<std::mutex> lock(mutex_);
            if (rows == 0) break;
            filled_.push_back({index, rows});
            changed_.notify_all();
        }
        const std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
        changed_.notify_all();
    }

    // The next group's rows into buffer `index`: how many, 0 when the image
    // is done or the decode failed (failure_ says why).
    JDIMENSION decode_group(int index) {
        if (reduced_) return reduced_group(index);
        j_decompress_ptr cinfo = &context_->cinfo;
        if (setjmp(context_->errors.resume)) {  // NOLINT(cert-err52-cpp): libjpeg's fatal errors land here
            const std::lock_guard<std::mutex> lock(mutex_);
            failure_ = decode_failure(*context_, false);
            return 0;
        }
        if (cinfo->output_scanline == cinfo->output_height) return 0;
        const JDIMENSION count = std::min(group_rows, cinfo->output_height - cinfo->output_scanline);
        JSAMPROW rows[group_rows];
        for (JDIMENSION i = 0; i < count; ++i) rows[i] = group_start(index) + std::size_t{i} * stride_;
        for (JDIMENSION done = 0; done < count;) done += jpeg_read_scanlines(cinfo, rows + done, count - done);
        // libjpeg can still fail here (a second frame after the scan, say).
        if (cinfo->output_scanline == cinfo->output_height) jpeg_finish_decompress(cinfo);
        return count;
    }

    JDIMENSION reduced_group(int index) {
        const std::uint32_t count = std::min<std::uint32_t>(group_rows, reduced_->height() - reduced_rows_);
        if (count == 0) return 0;
        reduced_rows_ += count;
        status read = read_reduced_rows(*context_, *reduced_, group_start(index), stride_, count,
                                        reduced_rows_ == reduced_->height(), damage_said_);
        if (!read.ok()) {
            failure_ = read;
            return 0;
        }
        return count;
    }

    jpeg_read_context *context_;
    std::unique_ptr<reduced_scan> reduced_;
    std::uint32_t reduced_rows_ = 0;
    bool damage_said_ = false;
    owned_block buffers_;  // the groups one after another
    std::size_t stride_ = 0;
    std::thread worker_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<int> free_;
    std::deque<group> filled_;
    int handed_out_ = -1;
    bool finished_ = false;
    bool stopping_ = false;
    status failure_;
};

class jpeg_decoder final : public decoder {
public:
    explicit jpeg_decoder(byte_source &source) : context_(std::make_unique<jpeg_read_context>()) {
        context_->source = &source;
        context_->created = false;
    }
    ~jpeg_decoder() override {
        if (context_->created) jpeg_destroy_decompress(&context_->cinfo);
    }
    jpeg_decoder(const jpeg_decoder &) = delete;
    jpeg_decoder &operator=(const jpeg_decoder &) = delete;

    status read_header(image_header &header, rkconv_metadata *metadata) override {
        header.format = rasterkit::format_jpeg;
        // Header warnings say nothing the decode will not say again.
        bool header_ok = false;
        if (!read_header_of(context_.get(), metadata, &header_ok)) return refusal(context_->errors.text);
        if (!header_ok) return refusal("not a normal JPEG");
        return accept_size(context_->cinfo.image_width, context_->cinfo.image_height, header);
    }

    bool shrinks_on_load() const override { return true; }

    status decode(std::uint8_t *pixels, const decode_settings &settings, warnings &said) override {
        context_->errors.said = &said;
        context_->errors.accept_damaged = settings.accept_damaged;
        if (!is_cmyk(context_->cinfo)) {
            bool out_of_room = false;
            const std::unique_ptr<reduced_scan> scan =
                open_reduced(*context_, static_cast<unsigned int>(settings.shrink), out_of_room);
            if (out_of_room) return out_of_memory();
            if (scan) return read_reduced(*context_, *scan, pixels);
        }
        bool unsupported = false;
        if (!read_pixels(context_.get(), pixels, static_cast<unsigned int>(settings.shrink), &unsupported))
            return decode_failure(*context_, unsupported);
        if (!is_cmyk(context_->cinfo)) return success();
        const std::size_t count = std::size_t{context_->cinfo.output_width} * context_->cinfo.output_height;
        const bool inverted = context_->cinfo.saw_Adobe_marker != 0;
        if (!cmyk_to_rgb(pixels, count, inverted, context_->icc_profile))
            said.add(concerning::input, context_->icc_profile.empty()
                                            ? "CMYK without a colour profile: converted to RGB by the plain formula"
                                            : "the CMYK colour profile cannot be used: converted to RGB by the plain "
                                              "formula");
        if (settings.metadata != nullptr) adopt_icc(*settings.metadata, {});
        return success();
    }

    std::unique_ptr<row_stream> start_rows(const decode_settings &settings, warnings &said) override {
        context_->errors.said = &said;
        context_->errors.accept_damaged = settings.accept_damaged;
        auto rows = std::make_unique<jpeg_rows>(context_.get());
        if (rows->start(static_cast<unsigned int>(settings.shrink)) || !rows->failure().ok()) return rows;
        return nullptr;
    }

private:
    status refusal(const std::string &why) const {
        if (context_->source->read_error() != 0) return system_failure(context_->source->read_error(), "cannot be read");
        const int code = context_->errors.code;
        const bool unsupported = code == JERR_SOF_UNSUPPORTED || code == JERR_NOT_COMPILED || code == JERR_BAD_PRECISION;
        return failure(unsupported ? failure_kind::not_an_image : failure_kind::damaged,
                       "cannot be read as jpeg (" + why + ")");
    }

    std::unique_ptr<jpeg_read_context> context_;
};

}  // namespace

std::unique_ptr<decoder> open_jpeg_decoder(byte_source &source) { return std::make_unique<jpeg_decoder>(source); }

}  // namespace rkconv
