// EX_MakeRingtone(input, output, format, [start], [length], [volume],
// [fadeIn], [fadeOut], [interval]): cuts a ringtone out of a canonical wave
// file on a worker thread.
#include "common/error_report.h"
#include "external/audio/make_ringtone_job.h"
#include "external/frame/job_arguments.h"
#include "external/frame/worker_export.h"

namespace nb::external::audio {
namespace {

constexpr NbArgumentKind kKinds[] = {
    NbArgumentKind::String,  NbArgumentKind::String,  NbArgumentKind::Integer,
    NbArgumentKind::Integer, NbArgumentKind::Integer, NbArgumentKind::Integer,
    NbArgumentKind::Integer, NbArgumentKind::Integer, NbArgumentKind::Integer};
constexpr UINT kFormatIndex = 2;
constexpr LPCWSTR kMessageFormat = u"Catastrophic: Unknown output format";

MakeRingtoneRequest ReadRequest(const Worker& worker) {
    return {.input_path = PathArgument(worker, 0),
            .output_path = PathArgument(worker, 1),
            .format = IntegerArgument(worker, kFormatIndex, 0),
            .start_ms = UnsignedArgument(worker, 3, 0),
            .length_ms = UnsignedArgument(worker, 4, 0),
            .volume_percent = UnsignedArgument(worker, 5, 100),
            .fade_in_ms = UnsignedArgument(worker, 6, 0),
            .fade_out_ms = UnsignedArgument(worker, 7, 0),
            .interval_ms = IntervalArgument(worker, 8)};
}

HRESULT CheckFormat(const ExCall& call) {
    const LONG format = IntegerArgument(call, kFormatIndex, 0);
    if (format != kRingtoneThreeGp && format != kRingtoneWave)
        return call.Fail(NB_ERROR_ARGUMENT_VALUE, kMessageFormat);
    return S_OK;
}

constexpr WorkerExport<MakeRingtoneRequest> kMakeRingtone{.name = u"MakeRingtone",
                                                          .min_count = 3,
                                                          .max_count = 9,
                                                          .kinds = kKinds,
                                                          .read = ReadRequest,
                                                          .run = RunMakeRingtone,
                                                          .check = CheckFormat};

}  // namespace
}  // namespace nb::external::audio

NB_DEFINE_WORKER_FUNCTION(MakeRingtone, nb::external::audio::kMakeRingtone);
