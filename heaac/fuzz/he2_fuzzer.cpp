// The HE-AAC v2 encoder takes whatever samples a caller hands it: any float bit pattern
// (not-a-number, infinities, denormals, out-of-range values) and any block length. The first
// byte picks the bit rate; the rest are samples. Every access unit must stay within the
// decoder's buffer and carry its SBR payload.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "heaac/he2_encoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const int bitrate = 24000 + (data[0] % 25) * 1000;
    auto created = heaac::He2Encoder::create({bitrate});
    if (!created.encoder) __builtin_trap();
    std::vector<float> samples((size - 1) / sizeof(float));
    if (!samples.empty()) std::memcpy(samples.data(), data + 1, samples.size() * sizeof(float));
    // Blocks of varying length, then enough silence to flush the delay.
    std::size_t at = 0;
    int blocks = 0;
    while (at < samples.size() || blocks < 6) {
        const std::size_t length = std::min<std::size_t>(
            samples.size() - std::min(at, samples.size()), 2 * 2048 - 2 * (blocks % 3));
        const auto frame = created.encoder->encode(
            std::span<const float>(samples.data() + std::min(at, samples.size()), length));
        // 6144 bits per channel is the decoder's input buffer.
        if (frame.access_unit.empty() || frame.access_unit.size() > 6144 / 8 ||
            frame.ancillary_bytes <= 0)
            __builtin_trap();
        at += length;
        ++blocks;
    }
    return 0;
}
