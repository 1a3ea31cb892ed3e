// Encoding a canonical wave file into an MPEG-1 layer III file through
// internals/lame_enc.so. The operation behind EX_MakeMP3.
#pragma once

#include <optional>
#include <string>

#include "external/frame/job_report.h"

namespace nb::external::audio {

enum MakeMp3Status : DWORD {
    kMakeMp3LibraryNotLoaded = 3200,
    kMakeMp3CallMissing = 3201,
    kMakeMp3InputNotOpened = 3202,
    kMakeMp3OutputNotCreated = 3203,
    kMakeMp3InitFailed = 3204,
    kMakeMp3SeekFailed = 3206,
    kMakeMp3ReadFailed = 3207,
    kMakeMp3EncodeFailed = 3208,
    kMakeMp3WriteFailed = 3209,
    kMakeMp3FlushFailed = 3210,
    kMakeMp3Stopped = 3300,
    kMakeMp3Working = 3301,
    kMakeMp3Finished = 3302,
};

// The callback's values, by position: status, bytes read, total bytes.
constexpr CallbackLayout kMakeMp3Layout{.count = 3, .status = 1, .done = 2, .total = 3};

// The lowest rate the variable bit rate may fall to for a requested rate
// (kbit/s), or nothing for a rate that is not offered.
std::optional<DWORD> VbrMinimumKbps(LONG requested_kbps);

struct MakeMp3Request {
    std::string library_path;  // internals/lame_enc.so beside the extension library
    std::string input_path;
    std::string output_path;
    DWORD bit_rate_kbps = 128;  // one VbrMinimumKbps knows
    DWORD interval_ms = 200;
};

// Runs the whole encoding; the outcome reaches the channel as one final
// callback or one status call. Returns the worker's exit code.
DWORD RunMakeMp3(JobChannel& channel, const MakeMp3Request& request);

}  // namespace nb::external::audio
