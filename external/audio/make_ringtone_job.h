// Cutting a stretch out of a canonical wave file, with volume and fades,
// into a canonical wave file or an HE-AAC v2 track in a 3GP file. The
// operation behind EX_MakeRingtone.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "external/frame/job_files.h"
#include "external/frame/job_report.h"
#include "platform/kernel/expected.h"

namespace nb::external::audio {

enum MakeRingtoneStatus : DWORD {
    kRingtoneStartAtEnd = 3200,
    kRingtoneInputNotOpened = 3201,
    kRingtoneReadFailed = 3202,
    kRingtoneWrongFormat = 3203,
    kRingtoneSeekFailed = 3204,
    kRingtoneEncoderNotOpened = 3206,
    kRingtoneConfigFailed = 3207,
    kRingtoneOutputNotCreated = 3208,
    kRingtoneWriteFailed = 3209,
    kRingtoneStopped = 3300,
    kRingtoneWorking = 3301,
    kRingtoneFinished = 3303,
};

enum RingtoneFormat : LONG {
    kRingtoneThreeGp = 4010,
    kRingtoneWave = 4011,
};

// The callback's values, by position: status, bytes done, total bytes,
// milliseconds since the worker started.
constexpr CallbackLayout kRingtoneLayout{
    .count = 4, .status = 1, .done = 2, .total = 3, .elapsed = 4};

// Samples (single 16-bit values) handed to the output at a time: 2048
// stereo frames, one access unit of the HE-AAC v2 encoder.
constexpr std::size_t kRingtoneBlockSamples = 4096;

struct MakeRingtoneRequest {
    std::string input_path;
    std::string output_path;
    LONG format = kRingtoneWave;
    DWORD start_ms = 0;
    DWORD length_ms = 0;  // 0: the whole sound's length
    DWORD volume_percent = 100;
    DWORD fade_in_ms = 0;
    DWORD fade_out_ms = 0;
    DWORD interval_ms = 200;
};

// Where the shaped blocks go. Results are 0 or a report code.
class RingtoneOutput {
   public:
    virtual ~RingtoneOutput() = default;
    [[nodiscard]] virtual DWORD Write(std::span<const std::int16_t> block) = 0;
    [[nodiscard]] virtual DWORD Finish() = 0;
};

// The output, or the report code that says why there is none.
using RingtoneOutputResult = Expected<std::unique_ptr<RingtoneOutput>, DWORD>;

// Format 4011: a canonical wave file announcing sample_count samples,
// written into the job's output file.
RingtoneOutputResult CreateWaveOutput(StagedOutput& file, std::uint64_t sample_count);
// Format 4010: the HE-AAC v2 encoder and the 3GP writer. Without the
// encoder in the build, 3206.
RingtoneOutputResult CreateThreeGpOutput(const std::string& path);

// Runs the whole cut; the outcome reaches the channel as one final callback
// or one status call. Returns the worker's exit code.
DWORD RunMakeRingtone(JobChannel& channel, const MakeRingtoneRequest& request);

}  // namespace nb::external::audio
