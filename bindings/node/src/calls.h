// Each call of the package as a library call on libuv's thread pool: the
// work runs off the event loop, the result or the failure is built on it.
#pragma once

#include <napi.h>

namespace rasterkit_node {

// probe(input): input a path or a Buffer.
Napi::Value probe(const Napi::CallbackInfo &info);
// read(input, options)
Napi::Value read(const Napi::CallbackInfo &info);
// convert(input, output or null, options): the encoded file as a Buffer
// when there is no output path.
Napi::Value convert(const Napi::CallbackInfo &info);
// write(data, width, height, iccProfile or null, output or null, options, reshapes)
Napi::Value write(const Napi::CallbackInfo &info);
// plan(inputs, outputDir, options): [{input, output}] after the folder is made.
Napi::Value plan(const Napi::CallbackInfo &info);

}  // namespace rasterkit_node
