// The shell's side of the worker messages. Workers post or send them to the
// bridge's window; they are handled on the shell's thread, which is the only
// writer of the slots.
#include <string>

#include "common/script_array.h"
#include "shell/bridge/argument_list.h"
#include "shell/bridge/extension_bridge.h"
#include "shell/bridge/shared_words.h"
#include "shell/bridge/worker_slots.h"
#include "shell/bridge/worker_state.h"

namespace nb::bridge {
namespace {

constexpr LRESULT kHandled = 1;
constexpr LRESULT kFailed = E_FAIL;

}  // namespace

std::optional<LRESULT> ExtensionBridge::HandleWorkerMessage(UINT message, WPARAM wparam,
                                                            LPARAM lparam) {
    if (message < WM_WORKER_REGISTER || message > WM_WORKER_DONE) return std::nullopt;
    if (message == WM_WORKER_REGISTER)
        return OnRegister(static_cast<DWORD>(wparam), reinterpret_cast<HANDLE>(lparam));
    // Slot 64 is real memory, the spare; anything beyond is no slot at all.
    if (wparam >= static_cast<WPARAM>(NB_WORKER_TABLE_SIZE)) return kFailed;
    WorkerSlot& slot = m_state->Table()[wparam];
    switch (message) {
        case WM_WORKER_SET_CALLBACK:
            return OnSetCallback(slot, reinterpret_cast<LPCWSTR>(lparam));
        case WM_WORKER_ALLOC_ARGS:
            return OnAllocateArguments(slot, lparam);
        case WM_WORKER_NEW_ARRAY:
            return OnNewArray(slot, lparam);
        case WM_WORKER_NOTIFY:
            return OnNotify(slot, lparam);
        case WM_WORKER_CALLBACK:
            return OnCallback(slot, reinterpret_cast<DWORD*>(lparam));
        default:
            return OnDone(slot, static_cast<DWORD>(lparam));
    }
}

LRESULT ExtensionBridge::OnRegister(DWORD thread_id, HANDLE thread) {
    WorkerSlot* table = m_state->Table();
    for (int i = 0; i < NB_WORKER_SLOTS; ++i) {
        if (SlotThreadId(table[i]) != 0) continue;
        // The thread may run library code and touch the table until it has
        // really ended, even after being abandoned or after this bridge is gone.
        WorkerState::KeepAliveUntilThreadEnds(m_state, thread, m_module);
        OccupySlot(table[i], thread_id, thread);
        return kHandled;
    }
    return kFailed;
}

LRESULT ExtensionBridge::OnSetCallback(WorkerSlot& slot, LPCWSTR name) {
    ReplaceCallbackName(slot, name);
    return kHandled;
}

LRESULT ExtensionBridge::OnAllocateArguments(WorkerSlot& slot, LPARAM count) {
    if (count < 1 || count > static_cast<LPARAM>(NB_MAX_CALLBACK_ARGUMENTS)) return kFailed;
    // Made while the old list still lives, so it never takes the old one's
    // address: a worker re-making its list waits for a new address.
    DISPPARAMS* list = AllocateArgumentList(static_cast<UINT>(count));
    ReplaceCallbackArguments(slot, list);
    return list ? kHandled : kFailed;
}

LRESULT ExtensionBridge::OnNewArray(WorkerSlot& slot, LPARAM index) {
    DISPPARAMS* list = SlotArguments(slot);
    if (!list || index < 0 || index >= static_cast<LPARAM>(list->cArgs)) return kFailed;
    return SUCCEEDED(NB_ARRAY_CREATE(&list->rgvarg[index])) ? kHandled : kFailed;
}

LRESULT ExtensionBridge::OnNotify(WorkerSlot& slot, LPARAM status) {
    VARIANT code;
    VariantInit(&code);
    code.vt = VT_INT;
    code.intVal = static_cast<INT>(status);
    DISPPARAMS arguments{&code, nullptr, 1, 0};
    return RunCallback(slot, &arguments) ? kHandled : kFailed;
}

LRESULT ExtensionBridge::OnCallback(WorkerSlot& slot, DWORD* wait_flag) {
    const DWORD thread_id = SlotThreadId(slot);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    DISPPARAMS* list = SlotArguments(slot);
    const bool ran = RunCallback(slot, list ? list : &none);
    // The worker waits for this word. If the page stopped the worker from
    // inside the callback, the waiting frame may be gone: leave it alone.
    if (wait_flag && SlotThreadId(slot) == thread_id)
        StoreShared(*wait_flag, ran ? NB_WAIT_FLAG_CALLED : NB_WAIT_FLAG_NO_CALLBACK);
    return ran ? kHandled : kFailed;
}

LRESULT ExtensionBridge::OnDone(WorkerSlot& slot, DWORD thread_id) {
    // A done message naming another thread is stale: its worker was terminated and the slot
    // has been given to a new one since. Zero names no thread (older libraries send it).
    if (thread_id != 0 && SlotThreadId(slot) != thread_id) return kHandled;
    HANDLE thread = SlotThread(slot);
    VacateSlot(slot);
    CloseHandle(thread);
    m_state->NoteChange();
    return kHandled;
}

bool ExtensionBridge::RunCallback(const WorkerSlot& slot, DISPPARAMS* arguments) {
    LPCWSTR name = SlotCallbackName(slot);
    if (!name) return false;
    // A copy: the slot may be reused while the page runs the function.
    const std::u16string function = name;
    if (m_page) {
        VARIANT answer;
        VariantInit(&answer);
        m_page->CallFunction(function.c_str(), arguments, &answer);
        VariantClear(&answer);
    }
    return true;
}

}  // namespace nb::bridge
