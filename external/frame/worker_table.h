// Reading the shell's worker table. The shell writes the slots on its own
// thread while workers read them, so every shared word goes through
// std::atomic_ref, as the shell's side does.
#pragma once

#include "common/worker_protocol.h"

namespace nb::external {

// How long a thread looks for its slot: rounds of a scan and a pumping wait.
constexpr int kSlotSearchRounds = 1000;
constexpr DWORD kSlotSearchWaitMs = 10;

DWORD LoadThreadId(WorkerSlot& slot);
DISPPARAMS* LoadArguments(WorkerSlot& slot);

// The slot among 0..63 registered for thread_id, or -1. Every slot is
// looked at: a slot in front of ours may have been freed since we were
// registered, so a scan that stopped at the first free slot would miss us.
int FindWorkerSlot(WorkerSlot* workers, DWORD thread_id);

// Reads and writes of the words the shell and a worker share: the command
// target and word, and a worker's wait flag.
DWORD LoadSharedWord(DWORD& word);
void StoreSharedWord(DWORD& word, DWORD value);

}  // namespace nb::external
