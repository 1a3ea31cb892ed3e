// Ripping one audio track of a CD into a canonical wave file: the operation
// behind EX_RipAudioCdTrack, independent of the thread that runs it. The
// file is written under a temporary name beside the output and takes the
// output's place only once the rip has succeeded, so a failed or stopped rip
// leaves no file, and an existing file stays as it was.
#pragma once

#include <string>

#include "external/frame/job_report.h"

namespace nb::external::cd {

enum RipStatus : DWORD {
    kRipOk = 0,  // internal only: nothing to report yet
    kRipDriveNotFound = 3200,
    kRipNoDisc = 3202,
    kRipTocUnreadable = 3203,
    kRipTrackNotFound = 3204,
    kRipDataTrack = 3205,
    kRipOutputNotCreated = 3207,
    kRipReadFailed = 3208,
    kRipWriteFailed = 3209,
    kRipLibraryNotLoaded = 3211,
    kRipRipperNotOpened = 3212,
    kRipStopped = 3300,
    kRipRunning = 3301,
    kRipFinished = 3302,
};

// The callback's values: status, bytes written, bytes expected, elapsed ms.
constexpr CallbackLayout kRipLayout{.count = 4, .status = 1, .done = 2, .total = 3, .elapsed = 4};

// Sectors the ripper reads at a time (55 x 2352 bytes, about 0.7 s of sound).
constexpr std::int32_t kRipSectorsPerRead = 55;

struct RipRequest {
    LONG drive = 0;
    LONG track = 0;  // 0-based entry of the table of contents
    std::string output_path;
    DWORD interval_ms = 200;
};

// Runs the whole rip; every outcome reaches the channel as a report or a
// status call. Returns the worker's exit code.
DWORD RunRip(JobChannel& channel, const RipRequest& request);

}  // namespace nb::external::cd
