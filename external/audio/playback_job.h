// Playing a stretch of a canonical wave file on the sound server's default
// output, with volume, linear fades and looping, steered by the playback
// commands and reporting the played position and the level. The operation
// behind EX_PlayWaveFile, independent of the thread that runs it.
#pragma once

#include <string>

#include "external/frame/job_report.h"

namespace nb::external::audio {

// Set-up failures are final callbacks; the end of playback is a status call.
enum PlaybackStatus : DWORD {
    kPlaybackNotOpened = 3200,
    kPlaybackHeaderShort = 3201,
    kPlaybackWrongFormat = 3202,
    kPlaybackStartAtEnd = 3203,
    kPlaybackSeekFailed = 3204,
    kPlaybackNoDevice = 3206,
    kPlaybackPlaying = 3301,
    kPlaybackPaused = 3302,
    kPlaybackEnded = 3303,
};

// The callback's values, by position: status, position ms, length ms and
// the level of the buffer filled last.
constexpr CallbackLayout kPlaybackLayout{.count = 4, .status = 1, .done = 2, .total = 3};
constexpr UINT kPlaybackLevelPosition = 4;

// Samples read and shaped at a time: 10240 bytes, about 58 ms.
constexpr std::size_t kPlaybackBufferSamples = 5120;

// How long the sound server and its stream get to become ready.
constexpr DWORD kPlaybackOpenTimeoutMs = 3000;

struct PlaybackRequest {
    std::string path;            // empty when the script gave null
    DWORD volume_percent = 100;  // as given; above 200 (taken unsigned) plays at 200
    bool loop = false;
    DWORD start_ms = 0;
    DWORD length_ms = 0;  // 0: to the end of the sound
    DWORD fade_in_ms = 0;
    DWORD fade_out_ms = 0;
    DWORD interval_ms = 200;
};

// Runs the whole playback; every outcome reaches the channel. Returns the
// worker's exit code.
DWORD RunPlayback(JobChannel& channel, const PlaybackRequest& request);

}  // namespace nb::external::audio
