// What the shell shares with its worker threads: the worker table, the
// command target and command word, and the command event. Workers hold raw
// pointers into it (from their call frame), so it lives on the heap, and each
// registered worker thread keeps it alive until that thread has really ended:
// a worker abandoned by thread termination may outlive the shell's object.
#pragma once

#include <array>
#include <atomic>
#include <memory>

#include "common/worker_protocol.h"

namespace nb::bridge {

class WorkerState {
   public:
    // A zeroed table, both words 0 and an unsignalled manual-reset event;
    // null when the event cannot be created.
    [[nodiscard]] static std::shared_ptr<WorkerState> Create();
    WorkerState(const WorkerState&) = delete;
    WorkerState& operator=(const WorkerState&) = delete;
    // Frees the callback data every slot still holds and closes the event.
    ~WorkerState();

    // All 65 slots; slot 64 is the spare.
    WorkerSlot* Table() { return m_table.data(); }
    const WorkerSlot* Table() const { return m_table.data(); }
    HANDLE CommandEvent() const { return m_command_event; }
    DWORD* CommandTarget() { return &m_command_target; }
    DWORD* CommandWord() { return &m_command_word; }

    // Writes the target and the word, then sets the command event.
    void PostCommand(DWORD target, DWORD word);

    // Keeps state (and whatever keep_also holds, the extension module) alive
    // until thread has ended. False, keeping nothing, for a bad handle.
    static bool KeepAliveUntilThreadEnds(const std::shared_ptr<WorkerState>& state, HANDLE thread,
                                         std::shared_ptr<const void> keep_also);
    // Threads kept alive so far that have not ended yet.
    std::size_t LiveThreads() const { return m_live_threads.load(); }
    // A manual-reset event set whenever a worker thread ends or gives back
    // its slot, so a waiter for the last worker wakes at once.
    HANDLE ChangeEvent() const { return m_change_event; }
    void NoteChange() { SetEvent(m_change_event); }

   private:
    WorkerState(HANDLE command_event, HANDLE change_event)
        : m_command_event(command_event), m_change_event(change_event) {}

    std::array<WorkerSlot, NB_WORKER_TABLE_SIZE> m_table{};
    DWORD m_command_target = 0;
    DWORD m_command_word = 0;
    HANDLE m_command_event;
    HANDLE m_change_event;
    std::atomic<std::size_t> m_live_threads{0};
};

}  // namespace nb::bridge
