#include "external/frame/worker_table.h"

#include <atomic>

namespace nb::external {

DWORD LoadThreadId(WorkerSlot& slot) {
    return std::atomic_ref<DWORD>(slot.thread_id).load(std::memory_order_acquire);
}

DISPPARAMS* LoadArguments(WorkerSlot& slot) {
    return std::atomic_ref<DISPPARAMS*>(slot.arguments).load(std::memory_order_acquire);
}

int FindWorkerSlot(WorkerSlot* workers, DWORD thread_id) {
    if (!workers || thread_id == 0) return -1;
    for (int index = 0; index < NB_WORKER_SLOTS; ++index) {
        if (LoadThreadId(workers[index]) == thread_id) return index;
    }
    return -1;
}

DWORD LoadSharedWord(DWORD& word) {
    return std::atomic_ref<DWORD>(word).load(std::memory_order_acquire);
}

void StoreSharedWord(DWORD& word, DWORD value) {
    std::atomic_ref<DWORD>(word).store(value, std::memory_order_release);
}

}  // namespace nb::external
