// Fuzz target: the WAV reader must reject or accept any bytes without reading out of bounds.
#include <cstddef>
#include <cstdint>
#include <span>

#include "heaac/wav_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto result = heaac::parse_wav(std::span<const std::uint8_t>(data, size));
    if (result.audio &&
        result.audio->samples.size() % static_cast<std::size_t>(result.audio->channels) != 0) {
        __builtin_trap();
    }
    return 0;
}
