#include "shell/bridge/worker_state.h"

#include "shell/bridge/shared_words.h"
#include "shell/bridge/worker_slots.h"

namespace nb::bridge {
namespace {

struct ThreadKeepAlive {
    std::shared_ptr<WorkerState> state;
    std::shared_ptr<const void> keep_also;
    std::atomic<std::size_t>* live_threads;
};

void ReleaseKeepAlive(void* data) {
    auto* keep = static_cast<ThreadKeepAlive*>(data);
    keep->live_threads->fetch_sub(1);
    keep->state->NoteChange();
    delete keep;
}

}  // namespace

std::shared_ptr<WorkerState> WorkerState::Create() {
    HANDLE command = CreateEventW(nullptr, 1, 0, nullptr);
    HANDLE change = CreateEventW(nullptr, 1, 0, nullptr);
    if (!command || !change) {
        if (command) CloseHandle(command);
        if (change) CloseHandle(change);
        return nullptr;
    }
    return std::shared_ptr<WorkerState>(new WorkerState(command, change));
}

WorkerState::~WorkerState() {
    for (WorkerSlot& slot : m_table) FreeCallbackData(slot);
    CloseHandle(m_command_event);
    CloseHandle(m_change_event);
}

void WorkerState::PostCommand(DWORD target, DWORD word) {
    StoreShared(m_command_target, target);
    StoreShared(m_command_word, word);
    SetEvent(m_command_event);
}

bool WorkerState::KeepAliveUntilThreadEnds(const std::shared_ptr<WorkerState>& state, HANDLE thread,
                                           std::shared_ptr<const void> keep_also) {
    state->m_live_threads.fetch_add(1);
    auto* keep = new ThreadKeepAlive{state, std::move(keep_also), &state->m_live_threads};
    if (NbDeferUntilThreadEnds(thread, &ReleaseKeepAlive, keep)) return true;
    // Not a thread: nothing to wait for.
    state->m_live_threads.fetch_sub(1);
    delete keep;
    return false;
}

}  // namespace nb::bridge
