#include "external/audio/ringtone_shape.h"

#include <algorithm>

#include "external/audio/wave_samples.h"

namespace nb::external::audio {
namespace {

constexpr double kFramesPerMillisecond = 44.1;
constexpr DWORD kFullVolume = 100;
constexpr DWORD kHighestVolume = 200;

void ScalePair(std::span<std::int16_t> block, std::size_t index, double gain) {
    block[index] = ApplyGain(block[index], gain);
    if (index + 1 < block.size()) block[index + 1] = ApplyGain(block[index + 1], gain);
}

}  // namespace

std::uint64_t MillisecondsToFrameSamples(DWORD milliseconds) {
    return 2 * static_cast<std::uint64_t>(milliseconds * kFramesPerMillisecond + 0.5);
}

FadeLengths FitFades(DWORD length_ms, FadeLengths fades) {
    if (std::uint64_t{length_ms} >= std::uint64_t{fades.fade_in_ms} + fades.fade_out_ms)
        return fades;
    if (fades.fade_in_ms != 0 && fades.fade_out_ms != 0) {
        // The fade-in alone may be longer than the cut: then it keeps the
        // cut and there is no room left for a fade-out.
        fades.fade_in_ms = std::min(fades.fade_in_ms, length_ms);
        fades.fade_out_ms = length_ms - fades.fade_in_ms;
    } else if (fades.fade_in_ms != 0) {
        fades.fade_in_ms = length_ms;
    } else {
        fades.fade_out_ms = length_ms;
    }
    return fades;
}

DWORD RingtoneVolume(DWORD requested_percent) {
    return requested_percent > kHighestVolume ? kFullVolume : requested_percent;
}

void ShapeBlock(std::span<std::int16_t> block, std::uint64_t position, const RingtoneShape& shape) {
    if (shape.volume_percent == 0) {
        std::fill(block.begin(), block.end(), std::int16_t{0});
        return;
    }
    if (shape.volume_percent != kFullVolume)
        ApplyGain(block, static_cast<double>(shape.volume_percent) / kFullVolume);
    for (std::size_t i = 0; i < block.size(); i += 2) {
        const std::uint64_t p = position + i;
        if (p < shape.fade_in_samples)
            ScalePair(block, i,
                      static_cast<double>(p) / static_cast<double>(shape.fade_in_samples));
        const auto signed_p = static_cast<std::int64_t>(p);
        if (shape.fade_out_samples != 0 && signed_p >= shape.fade_out_start) {
            const double into_fade = static_cast<double>(signed_p - shape.fade_out_start);
            ScalePair(block, i, 1.0 - into_fade / static_cast<double>(shape.fade_out_samples));
        }
    }
}

}  // namespace nb::external::audio
