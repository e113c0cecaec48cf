// The native half of the rasterkit package: each export starts one library
// call on libuv's thread pool and returns its promise. lib/index.js checks
// the arguments and turns failures into RasterkitError.
#include <napi.h>

#include "calls.h"
#include "rasterkit_convert.h"

namespace {

Napi::Object initialise(Napi::Env env, Napi::Object exports) {
    exports.Set("probe", Napi::Function::New(env, rasterkit_node::probe, "probe"));
    exports.Set("read", Napi::Function::New(env, rasterkit_node::read, "read"));
    exports.Set("convert", Napi::Function::New(env, rasterkit_node::convert, "convert"));
    exports.Set("write", Napi::Function::New(env, rasterkit_node::write, "write"));
    exports.Set("plan", Napi::Function::New(env, rasterkit_node::plan, "plan"));
    exports.Set("version", Napi::String::New(env, rkconv_version()));
    return exports;
}

}  // namespace

NODE_API_MODULE(rasterkit, initialise)
