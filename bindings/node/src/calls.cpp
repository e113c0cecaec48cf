#include "calls.h"

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "options.h"
#include "rasterkit.h"
#include "rasterkit_convert.h"

namespace rasterkit_node {
namespace {

// Where a call reads: a path, or a Buffer read in place, held so that the
// garbage collector keeps it while the work runs.
struct input_place {
    std::string path;
    const std::uint8_t *bytes = nullptr;
    std::size_t length = 0;
    Napi::Reference<Napi::Value> held;

    explicit input_place(const Napi::Value &given) {
        if (given.IsBuffer()) {
            const auto buffer = given.As<Napi::Buffer<std::uint8_t>>();
            bytes = buffer.Data();
            length = buffer.Length();
            held = Napi::Persistent(given);
        } else {
            path = given.As<Napi::String>().Utf8Value();
        }
    }
    bool in_memory() const { return bytes != nullptr || path.empty(); }
};

struct image_deleter {
    void operator()(rasterkit_image *image) const noexcept { rasterkit_image_delete(&image); }
};
using owned_image = std::unique_ptr<rasterkit_image, image_deleter>;

owned_image new_image(std::int32_t width = 0, std::int32_t height = 0) {
    rasterkit_image *image = nullptr;
    rasterkit_image_new(&image, width, height);
    return owned_image(image);
}

struct metadata_deleter {
    void operator()(rkconv_metadata *metadata) const noexcept { rkconv_metadata_free(metadata); }
};
using owned_metadata = std::unique_ptr<rkconv_metadata, metadata_deleter>;

// A Buffer over a malloc'd block, which Node frees when it is collected: no copy.
Napi::Value handed_over(Napi::Env env, std::uint8_t *block, std::size_t length) {
    return Napi::Buffer<std::uint8_t>::New(env, block, length, [](Napi::Env, std::uint8_t *data) { rkconv_free(data); });
}

Napi::Value text_or_null(Napi::Env env, const std::string &text) {
    return text.empty() ? env.Null() : Napi::String::New(env, text);
}

// One library call: `work` runs on the pool and returns 0 or -1 with the
// library's message; `result` builds the value on the event loop.
class library_call : public Napi::AsyncWorker {
public:
    using work_fn = std::function<std::int32_t(char **message)>;
    using result_fn = std::function<Napi::Value(Napi::Env env, const std::string &warning)>;

    library_call(Napi::Env env, work_fn work, result_fn result)
        : Napi::AsyncWorker(env, "rasterkit"), deferred_(Napi::Promise::Deferred::New(env)), work_(std::move(work)),
          result_(std::move(result)) {}

    // What `work` returns when the addon itself ran out of memory.
    static constexpr std::int32_t out_of_memory = -2;

    Napi::Promise start() {
        Queue();
        return deferred_.Promise();
    }

protected:
    void Execute() override {
        char *message = nullptr;
        status_ = work_(&message);
        if (message != nullptr) {
            text_ = message;
            kind_ = rkconv_message_kind(message);
            system_error_ = rkconv_message_errno(message);
        }
        rkconv_free(message);
    }

    void OnOK() override {
        Napi::Env env = Env();
        if (status_ == 0) {
            deferred_.Resolve(result_(env, text_));
            return;
        }
        Napi::Object failure = Napi::Object::New(env);
        if (status_ == out_of_memory) {
            text_ = "out of memory";
            kind_ = RKCONV_ERROR_OUT_OF_MEMORY;
        }
        failure.Set("message", text_.empty() ? std::string("failed") : text_);
        failure.Set("kind", kind_);
        failure.Set("errno", system_error_);
        deferred_.Reject(failure);
    }

private:
    Napi::Promise::Deferred deferred_;
    work_fn work_;
    result_fn result_;
    std::int32_t status_ = -1;
    std::string text_;
    std::int32_t kind_ = 0;
    std::int32_t system_error_ = 0;
};

Napi::Value start(Napi::Env env, library_call::work_fn work, library_call::result_fn result) {
    return (new library_call(env, std::move(work), std::move(result)))->start();
}

Napi::Value profile_facts(Napi::Env env, const rkconv_metadata *metadata) {
    std::size_t length = 0;
    const std::uint8_t *profile = rkconv_metadata_icc_profile(metadata, &length);
    if (profile == nullptr || length == 0) return env.Null();
    Napi::Object facts = Napi::Object::New(env);
    const char *description = rkconv_metadata_icc_description(metadata);
    facts.Set("description", description != nullptr ? Napi::Value(Napi::String::New(env, description)) : env.Null());
    facts.Set("length", static_cast<double>(length));
    return facts;
}

Napi::Value profile_bytes(Napi::Env env, const rkconv_metadata *metadata) {
    std::size_t length = 0;
    const std::uint8_t *profile = rkconv_metadata_icc_profile(metadata, &length);
    if (profile == nullptr || length == 0) return env.Null();
    return Napi::Buffer<std::uint8_t>::Copy(env, profile, length);
}

// What a conversion or write wrote, for its promise.
Napi::Value written_facts(Napi::Env env, const std::string &output, const rkconv_header &written,
                          const std::string &warning) {
    Napi::Object facts = Napi::Object::New(env);
    facts.Set("output", output);
    facts.Set("format", rkconv_format_name(written.format));
    facts.Set("width", written.width);
    facts.Set("height", written.height);
    facts.Set("warning", text_or_null(env, warning));
    return facts;
}

}  // namespace

Napi::Value probe(const Napi::CallbackInfo &info) {
    auto input = std::make_shared<input_place>(info[0]);
    auto header = std::make_shared<rkconv_header>();
    auto metadata = std::make_shared<owned_metadata>(rkconv_metadata_new());
    return start(
        info.Env(),
        [=](char **message) {
            return input->in_memory()
                       ? rkconv_probe_bytes(input->bytes, input->length, header.get(), metadata->get(), message)
                       : rkconv_probe_file(input->path.c_str(), header.get(), metadata->get(), message);
        },
        [=](Napi::Env env, const std::string &) -> Napi::Value {
            Napi::Object facts = Napi::Object::New(env);
            facts.Set("format", rkconv_format_name(header->format));
            facts.Set("width", header->width);
            facts.Set("height", header->height);
            facts.Set("orientation", rkconv_metadata_orientation(metadata->get()));
            facts.Set("iccProfile", profile_facts(env, metadata->get()));
            return facts;
        });
}

Napi::Value read(const Napi::CallbackInfo &info) {
    auto input = std::make_shared<input_place>(info[0]);
    const Napi::Object given = info[1].As<Napi::Object>();
    auto reading = std::make_shared<owned_options>(options_from(given, option_part::without_transforms));
    auto turning = std::make_shared<owned_options>(options_from(given, option_part::transforms_only));
    auto image = std::make_shared<owned_image>(new_image());
    auto metadata = std::make_shared<owned_metadata>(rkconv_metadata_new());
    return start(
        info.Env(),
        [=](char **message) {
            const std::int32_t status =
                input->in_memory()
                    ? rkconv_read_bytes(input->bytes, input->length, reading->get(), image->get(), metadata->get(), message)
                    : rkconv_read_file(input->path.c_str(), reading->get(), image->get(), metadata->get(), message);
            if (status != 0) return status;
            char *turn_failure = nullptr;
            if (rkconv_apply_geometry(image->get(), turning->get(), &turn_failure) == 0) return 0;
            rkconv_free(*message);  // the read's warnings give way to the failure
            *message = turn_failure;
            return -1;
        },
        [=](Napi::Env env, const std::string &) -> Napi::Value {
            rasterkit_image *pixels = image->get();
            const std::size_t length = 4 * std::size_t(pixels->width) * std::size_t(pixels->height);
            Napi::Object result = Napi::Object::New(env);
            std::uint8_t *data = pixels->data;
            pixels->data = nullptr;
            result.Set("data", data != nullptr ? handed_over(env, data, length) : Napi::Buffer<std::uint8_t>::New(env, 0));
            result.Set("width", pixels->width);
            result.Set("height", pixels->height);
            result.Set("iccProfile", profile_bytes(env, metadata->get()));
            return result;
        });
}

Napi::Value convert(const Napi::CallbackInfo &info) {
    auto input = std::make_shared<input_place>(info[0]);
    const std::string output = info[1].IsString() ? info[1].As<Napi::String>().Utf8Value() : std::string();
    auto options = std::make_shared<owned_options>(options_from(info[2].As<Napi::Object>(), option_part::all));
    auto written = std::make_shared<rkconv_header>();
    auto encoded = std::make_shared<std::pair<std::uint8_t *, std::size_t>>(nullptr, 0);
    return start(
        info.Env(),
        [=](char **message) {
            return rkconv_convert_memory(input->in_memory() ? nullptr : input->path.c_str(), input->bytes,
                                         input->length, output.empty() ? nullptr : output.c_str(), &encoded->first,
                                         &encoded->second, written.get(), options->get(), message);
        },
        [=](Napi::Env env, const std::string &warning) -> Napi::Value {
            if (!output.empty()) return written_facts(env, output, *written, warning);
            std::uint8_t *block = std::exchange(encoded->first, nullptr);
            return handed_over(env, block, encoded->second);
        });
}

Napi::Value write(const Napi::CallbackInfo &info) {
    auto pixels = std::make_shared<input_place>(info[0]);
    const std::int32_t width = info[1].As<Napi::Number>().Int32Value();
    const std::int32_t height = info[2].As<Napi::Number>().Int32Value();
    auto metadata = std::make_shared<owned_metadata>(rkconv_metadata_new());
    if (info[3].IsBuffer()) {
        const auto profile = info[3].As<Napi::Buffer<std::uint8_t>>();
        rkconv_metadata_set_icc_profile(metadata->get(), profile.Data(), profile.Length());
    }
    const std::string output = info[4].IsString() ? info[4].As<Napi::String>().Utf8Value() : std::string();
    auto options = std::make_shared<owned_options>(options_from(info[5].As<Napi::Object>(), option_part::all));
    const bool reshapes = info[6].ToBoolean().Value();
    auto encoded = std::make_shared<std::pair<std::uint8_t *, std::size_t>>(nullptr, 0);
    auto written = std::make_shared<rkconv_header>();
    return start(
        info.Env(),
        [=](char **message) -> std::int32_t {
            // The caller's pixels are written in place; only a reshape needs its own copy.
            rasterkit_image view{width, height, const_cast<std::uint8_t *>(pixels->bytes)};
            owned_image copy;
            const rasterkit_image *image = &view;
            if (reshapes) {
                copy = new_image(width, height);
                if (!copy || copy->data == nullptr) return library_call::out_of_memory;
                std::memcpy(copy->data, pixels->bytes, pixels->length);
                if (rkconv_apply_geometry(copy.get(), options->get(), message) != 0) return -1;
                rkconv_free(*message);
                *message = nullptr;
                image = copy.get();
            }
            *written = rkconv_header{-1, image->width, image->height};
            rkconv_write_facts facts{};
            if (rkconv_describe_write(options->get(), output.empty() ? nullptr : output.c_str(), -1, &facts, nullptr) == 0)
                written->format = facts.format;
            return output.empty() ? rkconv_write_bytes(image, options->get(), metadata->get(), &encoded->first,
                                                       &encoded->second, message)
                                  : rkconv_write_file(output.c_str(), image, options->get(), metadata->get(), message);
        },
        [=](Napi::Env env, const std::string &warning) -> Napi::Value {
            if (!output.empty()) return written_facts(env, output, *written, warning);
            std::uint8_t *block = std::exchange(encoded->first, nullptr);
            return handed_over(env, block, encoded->second);
        });
}

Napi::Value plan(const Napi::CallbackInfo &info) {
    auto inputs = std::make_shared<std::vector<std::string>>();
    const Napi::Array given = info[0].As<Napi::Array>();
    for (std::uint32_t i = 0; i < given.Length(); ++i) inputs->push_back(given.Get(i).As<Napi::String>().Utf8Value());
    const std::string folder = info[1].As<Napi::String>().Utf8Value();
    const std::string format = info[2].IsString() ? info[2].As<Napi::String>().Utf8Value() : std::string();
    auto made = std::make_shared<rkconv_plan *>(nullptr);
    return start(
        info.Env(),
        [=](char **message) -> std::int32_t {
            if (rkconv_make_directories(folder.c_str(), message) != 0) return -1;
            std::vector<const char *> names;
            for (const std::string &name : *inputs) names.push_back(name.c_str());
            const std::int32_t code = format.empty() ? RKCONV_FORMAT_OF_INPUT : rkconv_format_from_name(format.c_str());
            return rkconv_plan_batch(names.data(), names.size(), folder.c_str(), code, made.get(), message);
        },
        [=](Napi::Env env, const std::string &) -> Napi::Value {
            Napi::Array entries = Napi::Array::New(env);
            for (std::size_t i = 0; i < rkconv_plan_size(*made); ++i) {
                Napi::Object entry = Napi::Object::New(env);
                entry.Set("input", rkconv_plan_input(*made, i));
                entry.Set("output", rkconv_plan_output(*made, i));
                entries.Set(static_cast<std::uint32_t>(i), entry);
            }
            rkconv_plan_free(*made);
            *made = nullptr;
            return entries;
        });
}

}  // namespace rasterkit_node
