// EX_MakeRingtone(input, output, format, [start], [length], [volume],
// [fadeIn], [fadeOut], [interval]): cuts a ringtone out of a canonical wave
// file on a worker thread.
#include <optional>

#include "common/error_report.h"
#include "external/audio/make_ringtone_job.h"
#include "external/audio/worker_arguments.h"
#include "external/audio/worker_channel.h"
#include "external/frame/export.h"
#include "external/frame/worker.h"
#include "external/frame/worker_start.h"

namespace nb::external {
namespace {

constexpr NbArgumentKind kKinds[] = {
    NbArgumentKind::String,  NbArgumentKind::String,  NbArgumentKind::Integer,
    NbArgumentKind::Integer, NbArgumentKind::Integer, NbArgumentKind::Integer,
    NbArgumentKind::Integer, NbArgumentKind::Integer, NbArgumentKind::Integer};
constexpr UINT kFormatIndex = 2;
constexpr LPCWSTR kMessageFormat = u"Catastrophic: Unknown output format";

// Only the low 32 bits of an integer argument count; a missing one has its
// default.
DWORD IntegerArgument(const Worker& worker, UINT index, DWORD fallback) {
    if (worker.ArgumentCount() <= index) return fallback;
    const std::optional<LONGLONG> value = NbReadInteger(worker.Argument(index));
    return value ? static_cast<DWORD>(*value) : fallback;
}

LONG FormatArgument(const VARIANT& value) {
    return static_cast<LONG>(NbReadInteger(value).value_or(0));
}

audio::MakeRingtoneRequest ReadRequest(const Worker& worker) {
    audio::MakeRingtoneRequest request;
    request.input_path = audio::PathArgument(worker, 0);
    request.output_path = audio::PathArgument(worker, 1);
    request.format = FormatArgument(worker.Argument(kFormatIndex));
    request.start_ms = IntegerArgument(worker, 3, 0);
    request.length_ms = IntegerArgument(worker, 4, 0);
    request.volume_percent = IntegerArgument(worker, 5, 100);
    request.fade_in_ms = IntegerArgument(worker, 6, 0);
    request.fade_out_ms = IntegerArgument(worker, 7, 0);
    request.interval_ms = audio::IntervalArgument(worker, 8);
    return request;
}

DWORD MakeRingtoneThread(LPVOID parameter) {
    return RunWorkerGuarded([parameter] {
        Worker worker(parameter, u"MakeRingtone");
        if (!worker.FindSlot()) return worker.End(NB_WORKER_EXIT_NO_SLOT);
        audio::WorkerChannel channel(worker);
        return worker.End(audio::RunMakeRingtone(channel, ReadRequest(worker)));
    });
}

HRESULT MakeRingtone(const ExCall& call) {
    if (HRESULT checked = call.CheckArguments(3, 9, kKinds); FAILED(checked)) return checked;
    const LONG format = FormatArgument(call.Argument(kFormatIndex));
    if (format != audio::kRingtoneThreeGp && format != audio::kRingtoneWave)
        return call.Fail(NB_ERROR_ARGUMENT_VALUE, kMessageFormat);
    return StartWorker(call, &MakeRingtoneThread);
}

}  // namespace
}  // namespace nb::external

NB_DEFINE_EX_FUNCTION(MakeRingtone, nb::external::MakeRingtone);
