#include "shell/bridge/thread_termination.h"

#include <vector>

#include "common/argument_copy.h"
#include "shell/bridge/worker_slots.h"

namespace nb::bridge {
namespace {

bool Matches(DWORD thread_id, DWORD target) { return target == 0 || thread_id == target; }

// Keeps the thread's messages flowing for the whole period: the event is
// fresh and nobody signals it.
void PumpMessagesFor(DWORD milliseconds) {
    HANDLE never = CreateEventW(nullptr, 0, 0, nullptr);
    if (!never) return;
    DWORD index = 0;
    CoWaitForMultipleHandles(COWAIT_ALERTABLE, milliseconds, 1, &never, &index);
    CloseHandle(never);
}

std::vector<int> RegisteredSlotsMatching(const WorkerSlot* table, DWORD target) {
    std::vector<int> slots;
    for (int i = 0; i < NB_WORKER_SLOTS; ++i) {
        const DWORD id = SlotThreadId(table[i]);
        if (id != 0 && Matches(id, target)) slots.push_back(i);
    }
    return slots;
}

void FreeListWhenThreadEnds(void* list) { NB_DISPPARAMS_FREE(static_cast<DISPPARAMS*>(list)); }

void ForceEndIfRunning(WorkerSlot& slot) {
    HANDLE thread = SlotThread(slot);
    DWORD exit_code = 0;
    if (!GetExitCodeThread(thread, &exit_code) || exit_code != STILL_ACTIVE) return;
    TerminateThread(thread, NB_WORKER_EXIT_TERMINATED);
    // The abandoned thread may still fill this list; it must outlive it.
    DISPPARAMS* list = TakeCallbackArguments(slot);
    if (list && !NbDeferUntilThreadEnds(thread, &FreeListWhenThreadEnds, list))
        NB_DISPPARAMS_FREE(list);
}

void WaitThenForceEnd(WorkerSlot* table, const std::vector<int>& slots) {
    std::vector<HANDLE> threads;
    for (int i : slots) threads.push_back(SlotThread(table[i]));
    WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), 1,
                           kStopWaitMilliseconds);
    for (int i : slots) {
        ForceEndIfRunning(table[i]);
        CloseHandle(SlotThread(table[i]));
    }
}

}  // namespace

void TerminateWorkers(WorkerState& state, DWORD target, CallbackData data) {
    WorkerSlot* table = state.Table();
    if (CountRegisteredSlots(table) > 0) {
        state.PostCommand(target, NB_COMMAND_STOP);
        PumpMessagesFor(kStopGraceMilliseconds);
        const std::vector<int> slots = RegisteredSlotsMatching(table, target);
        if (!slots.empty()) WaitThenForceEnd(table, slots);
    }
    for (int i = 0; i < NB_WORKER_SLOTS; ++i) {
        if (target != 0 && SlotThreadId(table[i]) != target) continue;
        VacateSlot(table[i]);
        if (data == CallbackData::Free) FreeCallbackData(table[i]);
    }
}

}  // namespace nb::bridge
