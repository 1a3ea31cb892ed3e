#include "external/frame/worker_start.h"

#include "common/error_report.h"
#include "common/task_memory.h"
#include "external/frame/module_lock.h"
#include "external/frame/pumping_wait.h"
#include "external/frame/worker_block.h"
#include "external/frame/worker_table.h"

namespace nb::external {
namespace {

// Gives the worker a moment to find its slot and prepare its callback
// arguments before the script goes on (and, say, aims a command at it).
constexpr DWORD kSettleAfterResumeMs = 100;

WorkerBlockPtr MakeBlock(const CallFrame& frame) {
    WorkerBlock* block = nullptr;
    if (!NB_MEM_OLEALLOC(block, sizeof(WorkerBlock))) return nullptr;
    *block = WorkerBlock{};
    WorkerBlockPtr owner(block);
    block->shell_window = frame.shell_window;
    const DISPPARAMS none{};
    block->arguments = NB_DISPPARAMS_COPY(frame.args ? frame.args : &none);
    if (!block->arguments) return nullptr;
    block->command_event = frame.command_event;
    block->command_target = frame.command_target;
    block->command_word = frame.command_word;
    block->workers = frame.workers;
    block->system = frame.system;
    return owner;
}

// Scans for the slot, pumping between rounds so the shell's window keeps
// handling messages while the search goes on.
int WaitForSlot(WorkerSlot* workers, DWORD thread_id) {
    PumpingWait pause;
    for (int round = 0; round < kSlotSearchRounds; ++round) {
        const int slot = FindWorkerSlot(workers, thread_id);
        if (slot >= 0) return slot;
        pause.Wait(kSlotSearchWaitMs);
    }
    return -1;
}

}  // namespace

HRESULT StartWorker(const ExCall& call, LPTHREAD_START_ROUTINE routine) {
    const CallFrame& frame = call.frame();
    WorkerBlockPtr block = MakeBlock(frame);
    if (!block) return call.Fail(NB_ERROR_WORKER_START, NB_MESSAGE_CREATE_THREAD);

    // The worker releases this lock as its last act.
    LockModule();
    DWORD thread_id = 0;
    HANDLE thread = CreateThread(nullptr, 0, routine, block.get(), CREATE_SUSPENDED, &thread_id);
    if (!thread) {
        UnlockModule();
        return call.Fail(NB_ERROR_WORKER_START, NB_MESSAGE_CREATE_THREAD);
    }
    const bool registered = SendMessageW(frame.shell_window, WM_WORKER_REGISTER, thread_id,
                                         reinterpret_cast<LPARAM>(thread)) == 1;
    const int slot = WaitForSlot(frame.workers, thread_id);
    if (slot < 0) {
        // Abandoning a thread that never ran means it never will, so its
        // block is still ours to free. A registered handle is the shell's.
        TerminateThread(thread, NB_WORKER_EXIT_NO_SLOT);
        if (!registered) CloseHandle(thread);
        UnlockModule();
        return call.Fail(NB_ERROR_WORKER_START, NB_MESSAGE_THREAD_CONTEXT);
    }
    if (frame.callback_name)
        SendMessageW(frame.shell_window, WM_WORKER_SET_CALLBACK, static_cast<WPARAM>(slot),
                     reinterpret_cast<LPARAM>(frame.callback_name));
    block.release();  // the worker owns it from here
    ResumeThread(thread);
    Sleep(kSettleAfterResumeMs);
    return call.ReturnInteger(static_cast<LONG>(thread_id));
}

}  // namespace nb::external
