// The state every kernel object and message queue shares: one lock and one
// condition. Any change a waiter may care about (an event set, a thread
// ended, a message queued) notifies every waiter; waiters check their own
// condition again. Threads whose waits run a foreign main loop register a
// waker that interrupts it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/kernel/kernel.h"

namespace nb::kernel {

using Clock = std::chrono::steady_clock;
using Waker = void (*)(void* context);

std::mutex& Lock();
// Wakes every waiter and counts one more change. The caller holds the lock.
void NotifyAllLocked();
// The number of changes so far. A waiter reads it together with the state it
// checks, and waits only while it is unchanged, so no change is missed.
std::uint64_t ChangeCountLocked();
// Waits until the change count differs from seen or the deadline passes.
void WaitForChangeLocked(std::unique_lock<std::mutex>& lock, std::uint64_t seen,
                         Clock::time_point deadline);
bool IsThreadAbandonedLocked(DWORD thread_id);
// Waits on the shared condition until notified or the deadline passes.
void WaitUntil(std::unique_lock<std::mutex>& lock, Clock::time_point deadline);

// Registers (or, with null, removes) the waker of the calling thread.
NB_EXPORT void SetCurrentThreadWaker(Waker waker, void* context);

Clock::time_point DeadlineAfter(DWORD milliseconds);

// One attempt at a wait, with the lock held: the index of the satisfied
// handle (0 when all are required), WAIT_TIMEOUT when the wait must go on,
// WAIT_FAILED for a bad handle. Auto-reset events that satisfy it are reset.
DWORD TryWaitLocked(DWORD count, const HANDLE* handles, bool wait_all);

}  // namespace nb::kernel
