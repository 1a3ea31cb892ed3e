// The command the shell aims at a worker: a stop (the shell's thread
// termination) or one of the playback controls. The shell writes target and
// word before it sets the event, and a command stays in force until the
// shell clears the event, so a worker reading it on every round applies it
// again each time.
#pragma once

#include "platform/automation/wintypes.h"

namespace nb::external {

enum class WorkerCommandKind {
    None,
    Stop,  // end the work (command word 1)
    StopPlayback,
    PausePlayback,
    ResumePlayback,
    SetVolume,  // volume_percent holds 0 to 100
};

struct WorkerCommand {
    WorkerCommandKind kind = WorkerCommandKind::None;
    DWORD volume_percent = 0;
};

// The command a set event carries for thread_id: target 0 addresses every
// worker. A word no worker knows, or a command for another thread, is None.
WorkerCommand DecodeWorkerCommand(DWORD target, DWORD word, DWORD thread_id);

}  // namespace nb::external
