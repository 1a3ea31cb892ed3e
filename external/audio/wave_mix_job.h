// Laying a background sound under a main sound: both canonical wave files,
// the background repeated from its start as often as needed, the result as
// long as the main sound. The operation behind EX_WaveMix.
#pragma once

#include <string>

#include "external/frame/job_report.h"

namespace nb::external::audio {

enum WaveMixStatus : DWORD {
    kWaveMixOk = 0,  // internal only: nothing to report yet
    kWaveMixMainNotOpened = 3200,
    kWaveMixReadFailed = 3201,
    kWaveMixWrongFormat = 3202,
    kWaveMixBackgroundNotOpened = 3203,
    kWaveMixOutputNotCreated = 3204,
    kWaveMixWriteFailed = 3206,
    kWaveMixStopped = 3300,
    kWaveMixWorking = 3301,
    kWaveMixFinished = 3302,
};

// The callback's values, by position: status, bytes written, main length.
constexpr CallbackLayout kWaveMixLayout{.count = 3, .status = 1, .done = 2, .total = 3};

// Bytes of the main sound mixed at a time; the background's gain is worked
// out afresh for each block.
constexpr std::uint32_t kWaveMixBlockBytes = 2048;

struct WaveMixRequest {
    std::string main_path;
    std::string background_path;
    std::string output_path;
    DWORD interval_ms = 200;
};

// Runs the whole mix; the outcome reaches the channel as one status call.
// Returns the worker's exit code.
DWORD RunWaveMix(JobChannel& channel, const WaveMixRequest& request);

}  // namespace nb::external::audio
