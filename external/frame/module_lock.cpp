#include "external/frame/module_lock.h"

#include <atomic>

namespace nb::external {
namespace {

std::atomic<long> g_locks{0};

}  // namespace

void LockModule() { g_locks.fetch_add(1, std::memory_order_relaxed); }

void UnlockModule() { g_locks.fetch_sub(1, std::memory_order_acq_rel); }

bool IsModuleLocked() { return g_locks.load(std::memory_order_acquire) != 0; }

}  // namespace nb::external
