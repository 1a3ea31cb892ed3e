#include "external/audio/lame_enc_library.h"

#include <dlfcn.h>

#include <new>

namespace nb::external::audio {
namespace {

template <typename Function>
Function Resolve(void* handle, const char* name) {
    return reinterpret_cast<Function>(dlsym(handle, name));
}

LameEncCalls ResolveCalls(void* handle) {
    return LameEncCalls{
        Resolve<BeInitStreamFunction>(handle, "beInitStream"),
        Resolve<BeEncodeChunkFunction>(handle, "beEncodeChunk"),
        Resolve<BeDeinitStreamFunction>(handle, "beDeinitStream"),
        Resolve<BeCloseStreamFunction>(handle, "beCloseStream"),
        Resolve<BeVersionFunction>(handle, "beVersion"),
        Resolve<BeWriteVbrHeaderFunction>(handle, "beWriteVBRHeader"),
        Resolve<BeWriteInfoTagFunction>(handle, "beWriteInfoTag"),
    };
}

bool HasRequiredCalls(const LameEncCalls& calls) {
    return calls.init_stream && calls.encode_chunk && calls.deinit_stream && calls.close_stream &&
           calls.version && calls.write_vbr_header;
}

}  // namespace

void LameEncLibrary::Unloader::operator()(void* handle) const { dlclose(handle); }

LameEncLibrary::Loaded LameEncLibrary::Load(const std::string& path) {
    // Local binding: the library's symbols must not stand in for anybody
    // else's, nor another module's for its own.
    std::unique_ptr<void, Unloader> handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!handle) return Unexpected(LoadFailure::NotLoadable);
    const LameEncCalls calls = ResolveCalls(handle.get());
    if (!HasRequiredCalls(calls)) return Unexpected(LoadFailure::CallMissing);
    std::unique_ptr<LameEncLibrary> library(new (std::nothrow)
                                                LameEncLibrary(std::move(handle), calls));
    if (!library) return Unexpected(LoadFailure::NotLoadable);
    return library;
}

}  // namespace nb::external::audio
