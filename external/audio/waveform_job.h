// Waveform pictures of a canonical wave file: the sound read once, every
// level's columns gathered on the way, then one PNG per level. The
// operation behind EX_BuildWaveforms, independent of the thread that runs it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "external/frame/job_report.h"

namespace nb::external::audio {

// The callback's first value: failures are status calls, the rest reports.
enum WaveformStatus : DWORD {
    kWaveformOk = 0,  // internal only: nothing to report yet
    kWaveformInputNotOpened = 3200,
    kWaveformReadFailed = 3201,
    kWaveformWrongFormat = 3202,
    kWaveformTargetNotCreated = 3203,
    kWaveformPngFailed = 3204,
    kWaveformStopped = 3300,
    kWaveformReading = 3301,
    kWaveformWriting = 3302,
    kWaveformFinished = 3303,
};

// The callback's values, by position: status, done, total, elapsed ms.
constexpr CallbackLayout kWaveformLayout{
    .count = 4, .status = 1, .done = 2, .total = 3, .elapsed = 4};

// Bytes of sound read at a time; the stop is checked and progress reported
// after each.
constexpr std::size_t kWaveformBlockBytes = 65536;

struct BuildWaveformsRequest {
    std::string input_path;  // empty when the script gave none
    // Level k's picture, for the levels to draw (at most ten); nothing where
    // the script's element is no text.
    std::vector<std::optional<std::string>> targets;
    DWORD interval_ms = 200;
};

// Runs the whole operation; every outcome reaches the channel as a report
// or a status call. Pictures written before a failure or a stop stay.
// Returns the worker's exit code.
DWORD RunBuildWaveforms(JobChannel& channel, const BuildWaveformsRequest& request);

}  // namespace nb::external::audio
