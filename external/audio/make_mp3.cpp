// EX_MakeMP3(input, output, bitRate, [interval]): encodes a canonical wave
// file into an MP3 file on a worker thread, through internals/lame_enc.so.
#include "common/error_report.h"
#include "external/audio/make_mp3_job.h"
#include "external/frame/job_arguments.h"
#include "external/frame/worker_export.h"
#include "platform/kernel/program_paths.h"

namespace nb::external::audio {
namespace {

constexpr NbArgumentKind kKinds[] = {NbArgumentKind::String, NbArgumentKind::String,
                                     NbArgumentKind::Integer, NbArgumentKind::Integer};
constexpr UINT kBitRateIndex = 2;
constexpr LPCWSTR kMessageBitRate =
    u"Catastrophic: Bitrate must be set to 32, 64, 96, 128, 192 or 256 (kbps)";

// The encoder library sits beside this module, in the internals folder.
std::string EncoderLibraryPath() {
    return ModuleDirectoryOf(reinterpret_cast<const void*>(&EncoderLibraryPath)) + "/lame_enc.so";
}

MakeMp3Request ReadRequest(const Worker& worker) {
    return {.library_path = EncoderLibraryPath(),
            .input_path = PathArgument(worker, 0),
            .output_path = PathArgument(worker, 1),
            .bit_rate_kbps = UnsignedArgument(worker, kBitRateIndex, 0),
            .interval_ms = IntervalArgument(worker, 3)};
}

HRESULT CheckBitRate(const ExCall& call) {
    if (!VbrMinimumKbps(IntegerArgument(call, kBitRateIndex, 0)))
        return call.Fail(NB_ERROR_ARGUMENT_VALUE, kMessageBitRate);
    return S_OK;
}

constexpr WorkerExport<MakeMp3Request> kMakeMp3{.name = u"MakeMP3",
                                                .min_count = 3,
                                                .max_count = 4,
                                                .kinds = kKinds,
                                                .read = ReadRequest,
                                                .run = RunMakeMp3,
                                                .check = CheckBitRate};

}  // namespace
}  // namespace nb::external::audio

NB_DEFINE_WORKER_FUNCTION(MakeMP3, nb::external::audio::kMakeMp3);
