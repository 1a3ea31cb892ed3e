// Stopping worker threads: the command channel first, then a bounded wait,
// then forced termination of the threads that did not end.
#pragma once

#include "shell/bridge/worker_state.h"

namespace nb::bridge {

enum class CallbackData { Keep, Free };

// How long stopping workers get: a pumping grace period in which they can
// still send their last messages, then a plain wait for the threads.
constexpr DWORD kStopGraceMilliseconds = 400;
constexpr DWORD kStopWaitMilliseconds = 3000;

// Stops the worker with thread id target, or every worker for 0, and frees
// the matching slots (their callback names and lists too with
// CallbackData::Free). A thread still running after the waits is terminated
// with exit code 127; its callback list leaves the slot at once but is freed
// only when that thread has really ended, as it may still write into it.
// Runs on the shell's thread and pumps its messages during the grace period.
void TerminateWorkers(WorkerState& state, DWORD target, CallbackData data);

}  // namespace nb::bridge
