// The arithmetic of a ringtone cut: milliseconds to whole stereo frames,
// fitting the fades into the cut, and the volume and fades applied to each
// block of samples.
#pragma once

#include <cstdint>
#include <span>

#include "platform/automation/wintypes.h"

namespace nb::external::audio {

// round(ms x 44.1) frames, as a count of samples (two a frame). Counting
// whole frames keeps every cut on a frame boundary, so left and right never
// change places and the output holds whole frames.
std::uint64_t MillisecondsToFrameSamples(DWORD milliseconds);

struct FadeLengths {
    DWORD fade_in_ms = 0;
    DWORD fade_out_ms = 0;
};
// Fades longer together than the cut: with both present the fade-out gives
// way, a lone fade-in or fade-out is shortened to the cut.
FadeLengths FitFades(DWORD length_ms, FadeLengths fades);

// Volume in per cent as the script gives it: above 200 (negative values
// taken unsigned) is 100.
DWORD RingtoneVolume(DWORD requested_percent);

struct RingtoneShape {
    DWORD volume_percent = 100;         // 0 to 200
    std::uint64_t fade_in_samples = 0;  // from the start of the cut
    std::uint64_t fade_out_samples = 0;
    std::int64_t fade_out_start = 0;  // cut samples minus fade-out samples
};

// Applies volume, fade-in and fade-out to a block of interleaved stereo
// samples starting at sample position within the cut. Every product is
// truncated toward zero; products beyond the 16-bit range saturate.
// Volume 0 gives silence. A pair at position p gets the fade-in gain
// p / fade-in while p is inside the fade-in, and the fade-out gain
// 1 - (p - fade-out start) / fade-out from the fade-out start on, wherever
// in a block that start falls.
void ShapeBlock(std::span<std::int16_t> block, std::uint64_t position, const RingtoneShape& shape);

}  // namespace nb::external::audio
