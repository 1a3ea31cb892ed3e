// EX_Transcode(input, output, [normalise], [interval]): decodes any media
// file's sound into a canonical wave file on a worker thread.
#include "external/audio/transcode_job.h"
#include "external/audio/worker_arguments.h"
#include "external/audio/worker_channel.h"
#include "external/frame/export.h"
#include "external/frame/worker.h"
#include "external/frame/worker_start.h"

namespace nb::external {
namespace {

constexpr NbArgumentKind kKinds[] = {NbArgumentKind::String, NbArgumentKind::String,
                                     NbArgumentKind::Boolean, NbArgumentKind::Integer};

audio::TranscodeRequest ReadRequest(const Worker& worker) {
    audio::TranscodeRequest request;
    request.input_path = audio::PathArgument(worker, 0);
    request.output_path = audio::PathArgument(worker, 1);
    request.normalise = worker.ArgumentCount() <= 2 || NbReadBoolean(worker.Argument(2));
    request.interval_ms = audio::IntervalArgument(worker, 3);
    return request;
}

DWORD TranscodeThread(LPVOID parameter) {
    return RunWorkerGuarded([parameter] {
        Worker worker(parameter, u"Transcode");
        if (!worker.FindSlot()) return worker.End(NB_WORKER_EXIT_NO_SLOT);
        audio::WorkerChannel channel(worker);
        return worker.End(audio::RunTranscode(channel, ReadRequest(worker)));
    });
}

HRESULT Transcode(const ExCall& call) {
    if (HRESULT checked = call.CheckArguments(2, 4, kKinds); FAILED(checked)) return checked;
    return StartWorker(call, &TranscodeThread);
}

}  // namespace
}  // namespace nb::external

NB_DEFINE_EX_FUNCTION(Transcode, nb::external::Transcode);
