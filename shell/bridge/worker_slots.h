// Reading and changing worker slots on the shell's thread. Workers read the
// same slots concurrently (and fill the values of their callback argument
// list), so every field goes through the shared-word accessors.
#pragma once

#include "common/worker_protocol.h"

namespace nb::bridge {

DWORD SlotThreadId(const WorkerSlot& slot);
HANDLE SlotThread(const WorkerSlot& slot);
LPCWSTR SlotCallbackName(const WorkerSlot& slot);
DISPPARAMS* SlotArguments(const WorkerSlot& slot);

// Frees what an earlier worker left, then stores the handle and, last, the
// id that workers look for.
void OccupySlot(WorkerSlot& slot, DWORD thread_id, HANDLE thread);
// Marks the slot free (id 0, no handle); closes nothing.
void VacateSlot(WorkerSlot& slot);
// Frees the callback name and the callback argument list.
void FreeCallbackData(WorkerSlot& slot);
// Replaces the callback name with a copy of name (null: none). False after
// the allocation-failure box, with the slot left without a name.
bool ReplaceCallbackName(WorkerSlot& slot, LPCWSTR name);
// Frees the slot's list and installs list (null: none).
void ReplaceCallbackArguments(WorkerSlot& slot, DISPPARAMS* list);
// Removes the list from the slot without freeing it.
[[nodiscard]] DISPPARAMS* TakeCallbackArguments(WorkerSlot& slot);

// Slots 0..63 that are registered (id not 0).
int CountRegisteredSlots(const WorkerSlot* table);

}  // namespace nb::bridge
