// A stand-in for internals/lame_enc.so in tests: every call goes to the real
// library except one, which fails. The real library fails those calls only
// on faults a test cannot bring about (an encoder that runs out of memory),
// yet a caller must report them.
//
// Built once per failing call, with LAME_ENC_FAILING_CALL naming it
// (Init, Encode or Deinit) and LAME_ENC_REAL_LIBRARY the real library's path.
#include <dlfcn.h>

#include "external/audio/lame_enc/lame_enc.h"

#define FORWARDER_API extern "C" LAME_ENC_API

namespace {

enum class Call { Init, Encode, Deinit };
constexpr Call kFailingCall = Call::LAME_ENC_FAILING_CALL;
constexpr LameEncStatus kFailure = LAME_ENC_ENCODER_FAILED;

void* RealLibrary() {
    static void* library = dlopen(LAME_ENC_REAL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    return library;
}

template <typename Function>
Function Real(const char* name) {
    void* library = RealLibrary();
    return library ? reinterpret_cast<Function>(dlsym(library, name)) : nullptr;
}

}  // namespace

FORWARDER_API LameEncStatus beInitStream(const LameEncConfig* config,
                                         std::uint32_t* samples_per_chunk,
                                         std::uint32_t* mp3_buffer_bytes, LameEncStream** stream) {
    if (kFailingCall == Call::Init) return kFailure;
    return Real<BeInitStreamFunction>("beInitStream")(config, samples_per_chunk, mp3_buffer_bytes,
                                                      stream);
}

FORWARDER_API LameEncStatus beEncodeChunk(LameEncStream* stream, std::uint32_t sample_count,
                                          const std::int16_t* pcm, std::uint8_t* mp3,
                                          std::uint32_t* mp3_bytes) {
    if (kFailingCall == Call::Encode) return kFailure;
    return Real<BeEncodeChunkFunction>("beEncodeChunk")(stream, sample_count, pcm, mp3, mp3_bytes);
}

FORWARDER_API LameEncStatus beDeinitStream(LameEncStream* stream, std::uint8_t* mp3,
                                           std::uint32_t* mp3_bytes) {
    if (kFailingCall == Call::Deinit) return kFailure;
    return Real<BeDeinitStreamFunction>("beDeinitStream")(stream, mp3, mp3_bytes);
}

FORWARDER_API LameEncStatus beCloseStream(LameEncStream* stream) {
    return Real<BeCloseStreamFunction>("beCloseStream")(stream);
}

FORWARDER_API LameEncStatus beWriteVBRHeader(const char* file_name) {
    return Real<BeWriteVbrHeaderFunction>("beWriteVBRHeader")(file_name);
}

FORWARDER_API LameEncStatus beWriteInfoTag(LameEncStream* stream, const char* file_name) {
    return Real<BeWriteInfoTagFunction>("beWriteInfoTag")(stream, file_name);
}

FORWARDER_API LameEncStatus beVersion(LameEncVersion* version) {
    return Real<BeVersionFunction>("beVersion")(version);
}
