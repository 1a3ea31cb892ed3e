// The second pass of a transcode: the decoded file is copied to the output
// with every sample scaled so that the loudest one reaches full scale.
#pragma once

#include <string>

#include "external/audio/transcode_job.h"

namespace nb::external::audio {

struct NormaliseRequest {
    std::string decoded_path;  // the first pass's file, removed by its owner
    std::string output_path;
    DWORD pcm_bytes = 0;  // the decoded sound's data length
    DWORD peak = 0;       // its largest absolute sample value, 1 to 32768
};

// Reports progress (3302) and ends with the final callback (3303); any
// failure or a stop is returned for the caller to report.
TranscodeStatus Normalise(JobReport& report, const NormaliseRequest& request);

// sample x 32767 / peak, truncated toward zero, computed exactly: the same
// ratio taken as a double gain can land one unit short, leaving the loudest
// sample at 32766.
std::int16_t NormaliseSample(std::int16_t sample, DWORD peak);

}  // namespace nb::external::audio
