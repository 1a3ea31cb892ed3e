// EX_WaveMix(main, background, output, [interval]): lays a background sound
// under a main sound on a worker thread.
#include "external/audio/wave_mix_job.h"
#include "external/audio/worker_arguments.h"
#include "external/audio/worker_channel.h"
#include "external/frame/export.h"
#include "external/frame/worker.h"
#include "external/frame/worker_start.h"

namespace nb::external {
namespace {

constexpr NbArgumentKind kKinds[] = {NbArgumentKind::String, NbArgumentKind::String,
                                     NbArgumentKind::String, NbArgumentKind::Integer};

audio::WaveMixRequest ReadRequest(const Worker& worker) {
    audio::WaveMixRequest request;
    request.main_path = audio::PathArgument(worker, 0);
    request.background_path = audio::PathArgument(worker, 1);
    request.output_path = audio::PathArgument(worker, 2);
    request.interval_ms = audio::IntervalArgument(worker, 3);
    return request;
}

DWORD WaveMixThread(LPVOID parameter) {
    return RunWorkerGuarded([parameter] {
        Worker worker(parameter, u"WaveMix");
        if (!worker.FindSlot()) return worker.End(NB_WORKER_EXIT_NO_SLOT);
        audio::WorkerChannel channel(worker);
        return worker.End(audio::RunWaveMix(channel, ReadRequest(worker)));
    });
}

HRESULT WaveMix(const ExCall& call) {
    if (HRESULT checked = call.CheckArguments(3, 4, kKinds); FAILED(checked)) return checked;
    return StartWorker(call, &WaveMixThread);
}

}  // namespace
}  // namespace nb::external

NB_DEFINE_EX_FUNCTION(WaveMix, nb::external::WaveMix);
