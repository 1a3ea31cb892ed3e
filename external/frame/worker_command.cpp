#include "external/frame/worker_command.h"

#include "common/worker_protocol.h"

namespace nb::external {

WorkerCommand DecodeWorkerCommand(DWORD target, DWORD word, DWORD thread_id) {
    if (target != 0 && target != thread_id) return {};
    switch (word) {
        case NB_COMMAND_STOP:
            return {WorkerCommandKind::Stop};
        case NB_COMMAND_STOP_PLAYBACK:
            return {WorkerCommandKind::StopPlayback};
        case NB_COMMAND_PAUSE_PLAYBACK:
            return {WorkerCommandKind::PausePlayback};
        case NB_COMMAND_RESUME_PLAYBACK:
            return {WorkerCommandKind::ResumePlayback};
        default:
            break;
    }
    if (word >= NB_COMMAND_VOLUME_FIRST && word <= NB_COMMAND_VOLUME_LAST)
        return {WorkerCommandKind::SetVolume, word - NB_COMMAND_VOLUME_FIRST};
    return {};
}

}  // namespace nb::external
