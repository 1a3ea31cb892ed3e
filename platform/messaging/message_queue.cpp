#include <unistd.h>

#include <algorithm>
#include <deque>
#include <unordered_map>
#include <unordered_set>

#include "platform/kernel/kernel_state.h"
#include "platform/messaging/messaging.h"

namespace {

using nb::kernel::Lock;
using nb::kernel::NotifyAllLocked;

struct Window {
    WNDPROC procedure;
    LPVOID data;
    DWORD thread_id;
};

struct SentMessage {
    HWND window;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
    LRESULT result = 0;
    bool done = false;
};

struct PostedMessage {
    MSG message;
    DWORD sender;
};

struct ThreadQueue {
    std::deque<PostedMessage> posted;
    std::deque<SentMessage*> sent;
};

// Never destroyed: detached threads may still post while the process exits.
struct Messaging {
    std::unordered_set<Window*> windows;
    std::unordered_map<DWORD, ThreadQueue> queues;
};

Messaging& State() {
    static Messaging* messaging = new Messaging;
    return *messaging;
}

thread_local nb::MessageLoop* t_loop = nullptr;

Window* FindLocked(HWND handle) {
    auto* window = reinterpret_cast<Window*>(handle);
    return State().windows.count(window) ? window : nullptr;
}

ThreadQueue& OwnQueueLocked() { return State().queues[GetCurrentThreadId()]; }

// Handles the messages other threads sent to this one; the lock is released
// around each procedure call.
void HandleSentLocked(std::unique_lock<std::mutex>& lock) {
    ThreadQueue& queue = OwnQueueLocked();
    while (!queue.sent.empty()) {
        SentMessage* sent = queue.sent.front();
        queue.sent.pop_front();
        Window* window = FindLocked(sent->window);
        if (window) {
            WNDPROC procedure = window->procedure;
            lock.unlock();
            LRESULT result = procedure(sent->window, sent->message, sent->wparam, sent->lparam);
            lock.lock();
            sent->result = result;
        }
        sent->done = true;
        NotifyAllLocked();
    }
}

bool Matches(const MSG& message, HWND window, UINT first, UINT last) {
    if (window && message.hwnd != window) return false;
    if (first == 0 && last == 0) return true;
    return message.message >= first && message.message <= last;
}

// Takes (or peeks) the first posted message that matches, dropping those
// whose window is gone or whose sender was abandoned.
bool TakePostedLocked(MSG* out, HWND window, UINT first, UINT last, bool remove) {
    auto& posted = OwnQueueLocked().posted;
    for (auto it = posted.begin(); it != posted.end();) {
        const bool stale = (it->message.hwnd && !FindLocked(it->message.hwnd)) ||
                           nb::kernel::IsThreadAbandonedLocked(it->sender);
        if (stale) {
            it = posted.erase(it);
            continue;
        }
        if (Matches(it->message, window, first, last)) {
            *out = it->message;
            if (remove) posted.erase(it);
            return true;
        }
        ++it;
    }
    return false;
}

class HeadlessLoop final : public nb::MessageLoop {
   public:
    int Run() override {
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0)) DispatchMessageW(&message);
        return static_cast<int>(message.wParam);
    }
    void WaitForChange(std::uint64_t seen_changes, DWORD milliseconds) override {
        std::unique_lock lock(Lock());
        nb::kernel::WaitForChangeLocked(lock, seen_changes,
                                        nb::kernel::DeadlineAfter(milliseconds));
    }
};

nb::MessageLoop& LoopOfThisThread() {
    static thread_local HeadlessLoop headless;
    return t_loop ? *t_loop : headless;
}

}  // namespace

NB_API HWND NbCreateMessageWindow(WNDPROC procedure, LPVOID data) {
    if (!procedure) return nullptr;
    auto* window = new Window{procedure, data, GetCurrentThreadId()};
    std::lock_guard lock(Lock());
    State().windows.insert(window);
    return reinterpret_cast<HWND>(window);
}

NB_API BOOL DestroyWindow(HWND handle) {
    WNDPROC procedure = nullptr;
    {
        std::lock_guard lock(Lock());
        Window* window = FindLocked(handle);
        if (!window || window->thread_id != GetCurrentThreadId()) return 0;
        procedure = window->procedure;
    }
    procedure(handle, WM_DESTROY, 0, 0);
    std::lock_guard lock(Lock());
    Window* window = FindLocked(handle);
    if (!window) return 1;
    State().windows.erase(window);
    delete window;
    // Senders still waiting on this window get their 0 now.
    auto& sent = OwnQueueLocked().sent;
    for (auto it = sent.begin(); it != sent.end();) {
        if ((*it)->window == handle) {
            (*it)->done = true;
            it = sent.erase(it);
        } else {
            ++it;
        }
    }
    NotifyAllLocked();
    return 1;
}

NB_API BOOL IsWindow(HWND handle) {
    std::lock_guard lock(Lock());
    return FindLocked(handle) != nullptr;
}

NB_API LPVOID NbGetWindowData(HWND handle) {
    std::lock_guard lock(Lock());
    Window* window = FindLocked(handle);
    return window ? window->data : nullptr;
}

NB_API DWORD GetWindowThreadProcessId(HWND handle, DWORD* process_id) {
    if (process_id) *process_id = static_cast<DWORD>(getpid());
    std::lock_guard lock(Lock());
    Window* window = FindLocked(handle);
    return window ? window->thread_id : 0;
}

NB_API LRESULT SendMessageW(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
    if (NbIsCurrentThreadAbandoned()) return 0;
    const DWORD self = GetCurrentThreadId();
    std::unique_lock lock(Lock());
    Window* window = FindLocked(handle);
    if (!window) return 0;
    if (window->thread_id == self) {
        WNDPROC procedure = window->procedure;
        lock.unlock();
        return procedure(handle, message, wparam, lparam);
    }
    SentMessage sent{handle, message, wparam, lparam};
    auto& queue = State().queues[window->thread_id].sent;
    queue.push_back(&sent);
    NotifyAllLocked();
    while (!sent.done) {
        if (nb::kernel::IsThreadAbandonedLocked(self)) {
            // Given up on: withdraw the message unless it is being handled.
            for (auto it = queue.begin(); it != queue.end(); ++it)
                if (*it == &sent) {
                    queue.erase(it);
                    return 0;
                }
        }
        nb::kernel::WaitForChangeLocked(lock, nb::kernel::ChangeCountLocked(),
                                        nb::kernel::Clock::time_point::max());
    }
    return sent.result;
}

NB_API BOOL PostMessageW(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
    if (NbIsCurrentThreadAbandoned()) return 0;
    const DWORD self = GetCurrentThreadId();
    std::lock_guard lock(Lock());
    Window* window = FindLocked(handle);
    if (!window) return 0;
    State().queues[window->thread_id].posted.push_back(
        {{handle, message, wparam, lparam, GetTickCount()}, self});
    NotifyAllLocked();
    return 1;
}

NB_API void PostQuitMessage(int exit_code) {
    std::lock_guard lock(Lock());
    OwnQueueLocked().posted.push_back(
        {{nullptr, WM_QUIT, static_cast<WPARAM>(exit_code), 0, GetTickCount()}, 0});
    NotifyAllLocked();
}

NB_API BOOL PeekMessageW(MSG* message, HWND window, UINT first, UINT last, UINT remove) {
    if (!message) return 0;
    std::unique_lock lock(Lock());
    HandleSentLocked(lock);
    return TakePostedLocked(message, window, first, last, (remove & PM_REMOVE) != 0);
}

NB_API BOOL GetMessageW(MSG* message, HWND window, UINT first, UINT last) {
    if (!message) return -1;
    for (;;) {
        std::uint64_t seen = 0;
        {
            std::unique_lock lock(Lock());
            HandleSentLocked(lock);
            if (TakePostedLocked(message, window, first, last, true))
                return message->message != WM_QUIT;
            seen = nb::kernel::ChangeCountLocked();
        }
        LoopOfThisThread().WaitForChange(seen, INFINITE);
    }
}

NB_API LRESULT DispatchMessageW(const MSG* message) {
    if (!message || !message->hwnd) return 0;
    WNDPROC procedure = nullptr;
    {
        std::lock_guard lock(Lock());
        Window* window = FindLocked(message->hwnd);
        if (!window) return 0;
        procedure = window->procedure;
    }
    return procedure(message->hwnd, message->message, message->wParam, message->lParam);
}

NB_API HRESULT CoWaitForMultipleHandles(DWORD flags, DWORD milliseconds, ULONG count,
                                        HANDLE* handles, DWORD* index) {
    if (!handles || !index || count == 0) return E_INVALIDARG;
    const auto deadline = nb::kernel::DeadlineAfter(milliseconds);
    bool quit_seen = false;
    int quit_code = 0;
    HRESULT answer = RPC_S_CALLPENDING;
    for (;;) {
        if (!nb::DispatchPendingMessages(&quit_code)) quit_seen = true;
        std::uint64_t seen = 0;
        {
            std::unique_lock lock(Lock());
            DWORD state = nb::kernel::TryWaitLocked(count, handles, (flags & COWAIT_WAITALL) != 0);
            if (state == WAIT_FAILED) {
                answer = E_INVALIDARG;
                break;
            }
            if (state != WAIT_TIMEOUT) {
                *index = state;
                answer = S_OK;
                break;
            }
            if (nb::kernel::Clock::now() >= deadline) break;
            seen = nb::kernel::ChangeCountLocked();
            const ThreadQueue& queue = OwnQueueLocked();
            if (!queue.sent.empty() || !queue.posted.empty()) continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - nb::kernel::Clock::now());
        LoopOfThisThread().WaitForChange(
            seen, deadline == nb::kernel::Clock::time_point::max()
                      ? INFINITE
                      : static_cast<DWORD>(std::max<long long>(left.count(), 0) + 1));
    }
    if (quit_seen) PostQuitMessage(quit_code);
    return answer;
}

namespace nb {

void SetCurrentThreadLoop(MessageLoop* loop) { t_loop = loop; }
MessageLoop* CurrentThreadLoop() { return &LoopOfThisThread(); }

std::unique_ptr<MessageLoop> CreateHeadlessLoop() { return std::make_unique<HeadlessLoop>(); }

bool DispatchPendingMessages(int* quit_code) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            if (quit_code) *quit_code = static_cast<int>(message.wParam);
            return false;
        }
        DispatchMessageW(&message);
    }
    return true;
}

bool HasPendingMessages() {
    std::lock_guard lock(Lock());
    const ThreadQueue& queue = OwnQueueLocked();
    return !queue.sent.empty() || !queue.posted.empty();
}

std::uint64_t CurrentChangeCount() {
    std::lock_guard lock(Lock());
    return nb::kernel::ChangeCountLocked();
}

}  // namespace nb
