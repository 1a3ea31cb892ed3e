#include <atomic>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/kernel/kernel_state.h"

namespace nb::kernel {
namespace {

struct Waiter {
    Waker waker;
    void* context;
};

// Never destroyed: detached threads may still use it while the process exits.
struct Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::unordered_map<DWORD, Waiter> wakers;
    std::uint64_t changes = 0;
};

Shared& State() {
    static Shared* shared = new Shared;
    return *shared;
}

}  // namespace

std::mutex& Lock() { return State().mutex; }

void NotifyAllLocked() {
    Shared& shared = State();
    ++shared.changes;
    shared.changed.notify_all();
    for (auto& [id, waiter] : shared.wakers) waiter.waker(waiter.context);
}

void WaitUntil(std::unique_lock<std::mutex>& lock, Clock::time_point deadline) {
    State().changed.wait_until(lock, deadline);
}

std::uint64_t ChangeCountLocked() { return State().changes; }

void WaitForChangeLocked(std::unique_lock<std::mutex>& lock, std::uint64_t seen,
                         Clock::time_point deadline) {
    Shared& shared = State();
    shared.changed.wait_until(lock, deadline, [&] { return shared.changes != seen; });
}

void SetCurrentThreadWaker(Waker waker, void* context) {
    const DWORD id = GetCurrentThreadId();
    std::lock_guard lock(Lock());
    if (waker)
        State().wakers[id] = {waker, context};
    else
        State().wakers.erase(id);
}

Clock::time_point DeadlineAfter(DWORD milliseconds) {
    if (milliseconds == INFINITE) return Clock::time_point::max();
    return Clock::now() + std::chrono::milliseconds(milliseconds);
}

}  // namespace nb::kernel

namespace {

using nb::kernel::Lock;
using nb::kernel::NotifyAllLocked;

struct KernelObject {
    enum class Kind { kEvent, kThread };
    explicit KernelObject(Kind k) : kind(k) {}
    virtual ~KernelObject() = default;
    Kind kind;
    int references = 1;  // open handles, plus the running thread for a thread object
};

struct EventObject final : KernelObject {
    EventObject(bool manual, bool initial)
        : KernelObject(Kind::kEvent), manual_reset(manual), signalled(initial) {}
    bool manual_reset;
    bool signalled;
};

struct Deferred {
    void (*release)(void*);
    void* data;
};

struct ThreadObject final : KernelObject {
    ThreadObject() : KernelObject(Kind::kThread) {}
    DWORD id = 0;
    LPTHREAD_START_ROUTINE start = nullptr;
    LPVOID parameter = nullptr;
    bool suspended = false;
    bool ended = false;      // the routine has returned (or never will run)
    bool abandoned = false;  // TerminateThread gave up on it
    DWORD exit_code = STILL_ACTIVE;
    std::vector<Deferred> deferred;
};

// Objects and thread ids known to be alive; guarded by the kernel lock.
struct Registry {
    std::unordered_set<KernelObject*> objects;
    std::unordered_map<DWORD, ThreadObject*> threads;
};

Registry& Objects() {
    static Registry* registry = new Registry;
    return *registry;
}

std::atomic<DWORD> g_next_thread_id{1000};
thread_local DWORD t_thread_id = 0;
thread_local bool t_abandoned_cache = false;

template <typename T>
T* Find(HANDLE handle, KernelObject::Kind kind) {
    auto* object = static_cast<KernelObject*>(handle);
    if (!Objects().objects.count(object) || object->kind != kind) return nullptr;
    return static_cast<T*>(object);
}

KernelObject* FindAny(HANDLE handle) {
    auto* object = static_cast<KernelObject*>(handle);
    return Objects().objects.count(object) ? object : nullptr;
}

void ReleaseLocked(KernelObject* object) {
    if (--object->references > 0) return;
    Objects().objects.erase(object);
    if (object->kind == KernelObject::Kind::kThread)
        Objects().threads.erase(static_cast<ThreadObject*>(object)->id);
    delete object;
}

bool IsSignalled(const KernelObject& object) {
    if (object.kind == KernelObject::Kind::kEvent)
        return static_cast<const EventObject&>(object).signalled;
    const auto& thread = static_cast<const ThreadObject&>(object);
    return thread.ended || thread.abandoned;
}

void Consume(KernelObject& object) {
    if (object.kind != KernelObject::Kind::kEvent) return;
    auto& event = static_cast<EventObject&>(object);
    if (!event.manual_reset) event.signalled = false;
}

void RunThread(ThreadObject* thread) {
    t_thread_id = thread->id;
    bool run = false;
    {
        std::unique_lock lock(Lock());
        while (thread->suspended && !thread->abandoned)
            nb::kernel::WaitUntil(lock, nb::kernel::Clock::time_point::max());
        run = !thread->abandoned;
    }
    const DWORD code = run ? thread->start(thread->parameter) : 0;
    std::vector<Deferred> deferred;
    {
        std::lock_guard lock(Lock());
        thread->ended = true;
        if (!thread->abandoned) thread->exit_code = code;
        deferred.swap(thread->deferred);
        NotifyAllLocked();
        ReleaseLocked(thread);
    }
    for (const Deferred& item : deferred) item.release(item.data);
}

}  // namespace

namespace nb::kernel {

DWORD TryWaitLocked(DWORD count, const HANDLE* handles, bool wait_all) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) return WAIT_FAILED;
    std::vector<KernelObject*> objects;
    for (DWORD i = 0; i < count; ++i) {
        KernelObject* object = FindAny(handles[i]);
        if (!object) return WAIT_FAILED;
        objects.push_back(object);
    }
    if (wait_all) {
        for (KernelObject* object : objects)
            if (!IsSignalled(*object)) return WAIT_TIMEOUT;
        for (KernelObject* object : objects) Consume(*object);
        return WAIT_OBJECT_0;
    }
    for (DWORD i = 0; i < count; ++i) {
        if (IsSignalled(*objects[i])) {
            Consume(*objects[i]);
            return WAIT_OBJECT_0 + i;
        }
    }
    return WAIT_TIMEOUT;
}

}  // namespace nb::kernel

NB_API HANDLE CreateEventW(LPVOID, BOOL manual_reset, BOOL initial_state, LPCWSTR) {
    auto* event = new EventObject(manual_reset != 0, initial_state != 0);
    std::lock_guard lock(Lock());
    Objects().objects.insert(event);
    return event;
}

static BOOL SetSignal(HANDLE handle, bool signalled) {
    std::lock_guard lock(Lock());
    auto* event = Find<EventObject>(handle, KernelObject::Kind::kEvent);
    if (!event) return 0;
    event->signalled = signalled;
    if (signalled) NotifyAllLocked();
    return 1;
}

NB_API BOOL SetEvent(HANDLE event) { return SetSignal(event, true); }
NB_API BOOL ResetEvent(HANDLE event) { return SetSignal(event, false); }

NB_API DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wait_all,
                                    DWORD milliseconds) {
    const auto deadline = nb::kernel::DeadlineAfter(milliseconds);
    std::unique_lock lock(Lock());
    for (;;) {
        DWORD answer = nb::kernel::TryWaitLocked(count, handles, wait_all != 0);
        if (answer != WAIT_TIMEOUT) return answer;
        if (nb::kernel::Clock::now() >= deadline) return WAIT_TIMEOUT;
        nb::kernel::WaitUntil(lock, deadline);
    }
}

NB_API DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    return WaitForMultipleObjects(1, &handle, 0, milliseconds);
}

NB_API BOOL CloseHandle(HANDLE handle) {
    std::lock_guard lock(Lock());
    KernelObject* object = FindAny(handle);
    if (!object) return 0;
    ReleaseLocked(object);
    return 1;
}

NB_API HANDLE CreateThread(LPVOID, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                           DWORD flags, DWORD* thread_id) {
    if (!start) return nullptr;
    auto* thread = new ThreadObject;
    thread->id = g_next_thread_id++;
    thread->start = start;
    thread->parameter = parameter;
    thread->suspended = (flags & CREATE_SUSPENDED) != 0;
    thread->references = 2;  // the handle and the running thread
    {
        std::lock_guard lock(Lock());
        Objects().objects.insert(thread);
        Objects().threads[thread->id] = thread;
    }
    try {
        std::thread(RunThread, thread).detach();
    } catch (const std::system_error&) {
        std::lock_guard lock(Lock());
        thread->references = 1;
        ReleaseLocked(thread);
        return nullptr;
    }
    if (thread_id) *thread_id = thread->id;
    return thread;
}

NB_API DWORD ResumeThread(HANDLE handle) {
    std::lock_guard lock(Lock());
    auto* thread = Find<ThreadObject>(handle, KernelObject::Kind::kThread);
    if (!thread) return 0xFFFFFFFF;
    if (!thread->suspended) return 0;
    thread->suspended = false;
    NotifyAllLocked();
    return 1;
}

NB_API BOOL GetExitCodeThread(HANDLE handle, DWORD* exit_code) {
    std::lock_guard lock(Lock());
    auto* thread = Find<ThreadObject>(handle, KernelObject::Kind::kThread);
    if (!thread || !exit_code) return 0;
    *exit_code = thread->exit_code;
    return 1;
}

NB_API BOOL TerminateThread(HANDLE handle, DWORD exit_code) {
    std::lock_guard lock(Lock());
    auto* thread = Find<ThreadObject>(handle, KernelObject::Kind::kThread);
    if (!thread) return 0;
    if (!thread->ended && !thread->abandoned) {
        thread->abandoned = true;
        thread->exit_code = exit_code;
        NotifyAllLocked();
    }
    return 1;
}

NB_API DWORD GetThreadId(HANDLE handle) {
    std::lock_guard lock(Lock());
    auto* thread = Find<ThreadObject>(handle, KernelObject::Kind::kThread);
    return thread ? thread->id : 0;
}

NB_API DWORD GetCurrentThreadId() {
    if (t_thread_id == 0) t_thread_id = g_next_thread_id++;
    return t_thread_id;
}

namespace nb::kernel {
bool IsThreadAbandonedLocked(DWORD thread_id) {
    auto found = Objects().threads.find(thread_id);
    return found != Objects().threads.end() && found->second->abandoned;
}
}  // namespace nb::kernel

NB_API BOOL NbIsThreadAbandoned(DWORD thread_id) {
    std::lock_guard lock(Lock());
    return nb::kernel::IsThreadAbandonedLocked(thread_id);
}

NB_API BOOL NbIsCurrentThreadAbandoned() {
    // Abandonment is final, so once seen it needs no further look-ups.
    if (!t_abandoned_cache) t_abandoned_cache = NbIsThreadAbandoned(GetCurrentThreadId()) != 0;
    return t_abandoned_cache;
}

NB_API BOOL NbDeferUntilThreadEnds(HANDLE handle, void (*release)(void*), void* data) {
    if (!release) return 0;
    {
        std::lock_guard lock(Lock());
        auto* thread = Find<ThreadObject>(handle, KernelObject::Kind::kThread);
        if (!thread) return 0;
        if (!thread->ended) {
            thread->deferred.push_back({release, data});
            return 1;
        }
    }
    release(data);
    return 1;
}

NB_API void Sleep(DWORD milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

NB_API DWORD GetTickCount() {
    using namespace std::chrono;
    return static_cast<DWORD>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
