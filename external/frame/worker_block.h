// The parameter block a starting EX_ function hands its worker thread. It
// lives in task memory and belongs to the worker once the thread runs.
#pragma once

#include <memory>

#include "common/argument_copy.h"
#include "common/worker_protocol.h"
#include "platform/automation/com.h"

namespace nb::external {

struct WorkerBlock {
    HWND shell_window;
    DISPPARAMS* arguments;  // the worker's own copy (NB_DISPPARAMS_COPY)
    HANDLE command_event;
    DWORD* command_target;
    DWORD* command_word;
    WorkerSlot* workers;
    SystemInformation* system;
};

// Frees the argument copy and then the block.
struct WorkerBlockDeleter {
    void operator()(WorkerBlock* block) const {
        NB_DISPPARAMS_FREE(block->arguments);
        CoTaskMemFree(block);
    }
};
using WorkerBlockPtr = std::unique_ptr<WorkerBlock, WorkerBlockDeleter>;

}  // namespace nb::external
