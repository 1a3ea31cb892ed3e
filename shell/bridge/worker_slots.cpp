#include "shell/bridge/worker_slots.h"

#include "common/argument_copy.h"
#include "shell/bridge/shared_words.h"
#include "shell/bridge/task_text.h"

namespace nb::bridge {

DWORD SlotThreadId(const WorkerSlot& slot) { return LoadShared(slot.thread_id); }
HANDLE SlotThread(const WorkerSlot& slot) { return LoadShared(slot.thread); }
LPCWSTR SlotCallbackName(const WorkerSlot& slot) { return LoadShared(slot.callback_name); }
DISPPARAMS* SlotArguments(const WorkerSlot& slot) { return LoadShared(slot.arguments); }

void OccupySlot(WorkerSlot& slot, DWORD thread_id, HANDLE thread) {
    FreeCallbackData(slot);
    StoreShared(slot.thread, thread);
    StoreShared(slot.thread_id, thread_id);
}

void VacateSlot(WorkerSlot& slot) {
    StoreShared(slot.thread_id, DWORD{0});
    StoreShared(slot.thread, HANDLE{nullptr});
}

void FreeCallbackData(WorkerSlot& slot) {
    ReplaceCallbackName(slot, nullptr);
    ReplaceCallbackArguments(slot, nullptr);
}

bool ReplaceCallbackName(WorkerSlot& slot, LPCWSTR name) {
    LPWSTR old = LoadShared(slot.callback_name);
    StoreShared(slot.callback_name, LPWSTR{nullptr});
    CoTaskMemFree(old);
    LPWSTR copy = CopyToTaskMemory(name);
    StoreShared(slot.callback_name, copy);
    return copy || !name;
}

void ReplaceCallbackArguments(WorkerSlot& slot, DISPPARAMS* list) {
    // Withdrawn before it is freed, so a worker polling the slot finds no
    // list rather than a freed one.
    NB_DISPPARAMS_FREE(TakeCallbackArguments(slot));
    StoreShared(slot.arguments, list);
}

DISPPARAMS* TakeCallbackArguments(WorkerSlot& slot) {
    DISPPARAMS* list = LoadShared(slot.arguments);
    StoreShared(slot.arguments, static_cast<DISPPARAMS*>(nullptr));
    return list;
}

int CountRegisteredSlots(const WorkerSlot* table) {
    int count = 0;
    for (int i = 0; i < NB_WORKER_SLOTS; ++i)
        if (SlotThreadId(table[i]) != 0) ++count;
    return count;
}

}  // namespace nb::bridge
