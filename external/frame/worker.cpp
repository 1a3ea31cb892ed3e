#include "external/frame/worker.h"

#include <algorithm>

#include "external/frame/module_lock.h"
#include "external/frame/worker_table.h"
#include "platform/automation/com.h"
#include "platform/ui/message_box.h"

namespace nb::external {
namespace {

// The value a wait flag holds until the shell has run the callback.
constexpr DWORD kFlagWaiting = 1;
constexpr DWORD kFinalWaitMs = 50;

}  // namespace

Worker::ModuleLockRelease::~ModuleLockRelease() { UnlockModule(); }

Worker::Apartment::Apartment() { CoInitialize(nullptr); }
Worker::Apartment::~Apartment() { CoUninitialize(); }

Worker::Worker(LPVOID parameter, std::u16string_view name)
    : m_block(static_cast<WorkerBlock*>(parameter)),
      m_caption(std::u16string(u"__WorkerThread_") + std::u16string(name)),
      m_thread_id(GetCurrentThreadId()),
      m_last_report_tick(GetTickCount()) {}

Worker::~Worker() { End(NB_WORKER_EXIT_NORMAL); }

bool Worker::FindSlot() {
    for (int round = 0; round < kSlotSearchRounds; ++round) {
        if (NbIsCurrentThreadAbandoned()) return false;
        m_slot = FindWorkerSlot(m_block->workers, m_thread_id);
        if (m_slot >= 0) return true;
        m_pause.Wait(kSlotSearchWaitMs);
    }
    return false;
}

bool Worker::PrepareArguments(UINT count) {
    WorkerSlot& slot = m_block->workers[m_slot];
    DISPPARAMS* old_block = LoadArguments(slot);
    if (old_block) {
        for (UINT i = 0; i < old_block->cArgs; ++i) VariantClear(&old_block->rgvarg[i]);
    }
    if (!PostMessageW(m_block->shell_window, WM_WORKER_ALLOC_ARGS, SlotParameter(), count))
        return false;
    for (int round = 0; round < kSlotSearchRounds; ++round) {
        if (NbIsCurrentThreadAbandoned()) return false;
        DISPPARAMS* block = LoadArguments(slot);
        if (block && block != old_block && block->cArgs == count) {
            m_callback_arguments = block;
            return true;
        }
        m_pause.Wait(kSlotSearchWaitMs);
    }
    return false;
}

VARIANT* Worker::CallbackValue(UINT position) {
    // The shell reads the values when it runs a report, so a posted one must
    // have run before they change.
    if (m_progress_outstanding) {
        WaitForShell(m_progress_flag, kSlotSearchWaitMs);
        m_progress_outstanding = false;
    }
    DISPPARAMS* block = m_callback_arguments;
    if (!block || position < 1 || position > block->cArgs) {
        MessageBoxW(m_block->shell_window, u"EX_THREAD_DISPPARAM_STR(): Invalid Index!",
                    m_caption.c_str(), MB_ICONERROR);
        return nullptr;
    }
    // The block holds the values last-first, as DISPPARAMS do.
    VARIANT* value = &block->rgvarg[block->cArgs - position];
    VariantClear(value);
    return value;
}

void Worker::SetArgument(UINT position, const VARIANT& value) {
    if (VARIANT* target = CallbackValue(position)) VariantCopy(target, &value);
}

void Worker::SetInteger(UINT position, LONG value) {
    if (VARIANT* target = CallbackValue(position)) {
        target->vt = VT_I4;
        target->lVal = value;
    }
}

void Worker::SetString(UINT position, std::u16string_view text) {
    if (VARIANT* target = CallbackValue(position)) {
        target->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (target->bstrVal) target->vt = VT_BSTR;
    }
}

void Worker::SetNull(UINT position) {
    if (VARIANT* target = CallbackValue(position)) target->vt = VT_NULL;
}

void Worker::ZeroArguments() {
    if (!m_callback_arguments) return;
    for (UINT position = 1; position <= m_callback_arguments->cArgs; ++position)
        SetInteger(position, 0);
}

WorkerCommand Worker::ReadCommand() const {
    if (NbIsCurrentThreadAbandoned()) return {WorkerCommandKind::Stop};
    // The shell writes target and word before it sets the event, so they are
    // read only after the event was seen set.
    if (WaitForSingleObject(m_block->command_event, 0) == WAIT_TIMEOUT) return {};
    if (!m_block->command_target || !m_block->command_word) return {};
    return DecodeWorkerCommand(LoadSharedWord(*m_block->command_target),
                               LoadSharedWord(*m_block->command_word), m_thread_id);
}

bool Worker::StopRequested() const { return ReadCommand().kind == WorkerCommandKind::Stop; }

void Worker::Notify(DWORD status) {
    PostMessageW(m_block->shell_window, WM_WORKER_NOTIFY, SlotParameter(),
                 static_cast<LPARAM>(status));
}

bool Worker::IsProgressDue(DWORD interval_ms) {
    if (m_progress_outstanding && LoadSharedWord(m_progress_flag) == kFlagWaiting) return false;
    m_progress_outstanding = false;
    return GetTickCount() - m_last_report_tick >= interval_ms;
}

void Worker::PostProgress() {
    StoreSharedWord(m_progress_flag, kFlagWaiting);
    m_progress_outstanding =
        PostMessageW(m_block->shell_window, WM_WORKER_CALLBACK, SlotParameter(),
                     reinterpret_cast<LPARAM>(&m_progress_flag)) != 0;
    m_last_report_tick = GetTickCount();
}

void Worker::FinalCallback() {
    StoreSharedWord(m_final_flag, kFlagWaiting);
    if (!PostMessageW(m_block->shell_window, WM_WORKER_CALLBACK, SlotParameter(),
                      reinterpret_cast<LPARAM>(&m_final_flag)))
        return;
    WaitForShell(m_final_flag, kFinalWaitMs);
}

void Worker::WaitForShell(DWORD& flag, DWORD pause_ms) {
    // The shell usually answers within a millisecond or two: the pauses
    // start short and double up to pause_ms, so a quick answer is seen at
    // once and a callback that runs long costs no busy polling.
    DWORD pause = 1;
    // A message whose window is gone, or whose sender was abandoned, is
    // dropped unhandled: nobody will change the flag then.
    while (LoadSharedWord(flag) == kFlagWaiting) {
        if (NbIsCurrentThreadAbandoned() || !IsWindow(m_block->shell_window)) return;
        m_pause.Wait(pause);
        pause = std::min(pause * 2, pause_ms);
    }
}

void Worker::ClearCallbackValues() {
    DISPPARAMS* block = m_callback_arguments;
    if (!block) block = LoadArguments(m_block->workers[m_slot]);
    if (!block) return;
    for (UINT i = 0; i < block->cArgs; ++i) VariantClear(&block->rgvarg[i]);
}

WPARAM Worker::SlotParameter() const {
    return static_cast<WPARAM>(m_slot >= 0 ? m_slot : NB_WORKER_SLOTS);
}

DWORD Worker::End(DWORD exit_code) {
    if (m_ended) return exit_code;
    m_ended = true;
    // The shell writes the progress flag after the callback; the flag must
    // outlive that write.
    if (m_progress_outstanding) WaitForShell(m_progress_flag, kSlotSearchWaitMs);
    const bool abandoned = NbIsCurrentThreadAbandoned() != 0;
    if (m_slot >= 0 && !abandoned) ClearCallbackValues();
    const HWND shell_window = m_block->shell_window;
    m_block.reset();
    // The thread id lets the shell tell this message from one for a later worker in the same
    // slot: the slot may have been freed by a termination racing with this post.
    if (!abandoned)
        PostMessageW(shell_window, WM_WORKER_DONE, SlotParameter(),
                     static_cast<LPARAM>(m_thread_id));
    return exit_code;
}

}  // namespace nb::external
