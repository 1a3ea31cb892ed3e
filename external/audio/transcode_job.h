// Decoding any media file's sound into a canonical wave file, then, unless
// told otherwise, raising it so that its loudest sample reaches full scale.
// The operation behind EX_Transcode, independent of the thread that runs it.
#pragma once

#include <string>

#include "external/frame/job_report.h"

namespace nb::external::audio {

// The callback's first value: failures are status calls, the rest reports.
enum TranscodeStatus : DWORD {
    kTranscodeOk = 0,  // internal only: nothing to report yet
    kTranscodeNotMedia = 3200,
    kTranscodeNoStreamInfo = 3201,
    kTranscodeNoAudioStream = 3202,
    kTranscodeNoDecoder = 3203,
    kTranscodeDecoderNotOpened = 3204,
    kTranscodeNoConverter = 3205,
    kTranscodeOutputNotCreated = 3206,
    kTranscodeWriteFailed = 3207,
    kTranscodeNotRenamed = 3220,
    kTranscodeTemporaryNotOpened = 3221,
    kTranscodeNormalisedWriteFailed = 3223,
    kTranscodeTemporaryReadFailed = 3224,
    kTranscodeTemporaryNotDeleted = 3225,
    kTranscodeTemporaryNotSeeked = 3226,
    kTranscodeStopped = 3300,
    kTranscodeDecoding = 3301,
    kTranscodeNormalising = 3302,
    kTranscodeFinished = 3303,
};

// The callback's values, by position: status, done, total, elapsed ms.
constexpr CallbackLayout kTranscodeLayout{
    .count = 4, .status = 1, .done = 2, .total = 3, .elapsed = 4};

// Bytes of sound handled at a time, in both passes.
constexpr std::size_t kTranscodeBlockBytes = 288000;

struct TranscodeRequest {
    std::string input_path;  // empty when the script gave none
    std::string output_path;
    bool normalise = true;
    DWORD interval_ms = 200;
};

// Runs the whole operation; every outcome reaches the channel as a report
// or a status call. Returns the worker's exit code.
DWORD RunTranscode(JobChannel& channel, const TranscodeRequest& request);

}  // namespace nb::external::audio
