// The bridge half of the shell's script object: Execute and TerminateThread,
// the extension library they call, the worker table with its messages, and
// the script callbacks those messages run. One bridge per shell window; it
// lives on that window's thread, and every call into it is made there.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>

#include "common/worker_protocol.h"
#include "shell/bridge/script_callbacks.h"

namespace nb::bridge {

class ExtensionModule;
class WorkerState;

struct BridgeSetup {
    // The window that receives the worker messages and routes them to
    // HandleWorkerMessage. Null: the bridge creates a message window of its
    // own on the calling thread.
    HWND window = nullptr;
    // The page whose functions callbacks run; null runs none.
    ScriptCallbacks* page = nullptr;
    // The owner's block behind the info_* properties, handed to every EX_ call.
    SystemInformation* system = nullptr;
    // The browser control, handed to EX_ calls that name a callback.
    IWebBrowser2* browser = nullptr;
};

class ExtensionBridge {
   public:
    // Null when the command event or the message window cannot be created.
    [[nodiscard]] static std::unique_ptr<ExtensionBridge> Create(const BridgeSetup& setup);
    ExtensionBridge(const ExtensionBridge&) = delete;
    ExtensionBridge& operator=(const ExtensionBridge&) = delete;
    ~ExtensionBridge();

    // Execute(name[, args[, callback]]): calls the export EX_<name> of the
    // extension library with args as its argument list and returns that
    // function's HRESULT, its result in result and its error report in
    // exception. Before that: DISP_E_MEMBERNOTFOUND, DISP_E_BADPARAMCOUNT or
    // DISP_E_TYPEMISMATCH (argument_error set) for a malformed call, and
    // DISP_E_EXCEPTION with report 1100 (library not loadable; the next call
    // tries again) or 1101 (no such export) from source "Invoke". Without an
    // EXCEPINFO a report leaves only DISP_E_EXCEPTION: there is no separate
    // error-information object here.
    HRESULT Execute(DISPPARAMS* params, WORD flags, VARIANT* result, EXCEPINFO* exception,
                    UINT* argument_error);
    // TerminateThread(id): stops the worker with that thread id, or all of
    // them for 0, keeping the slots' callback data. Blocks for up to 3.4 s.
    HRESULT TerminateThread(DISPPARAMS* params, WORD flags);
    // Stops every worker, freeing all callback data, releases the extension
    // library and destroys the bridge's own window. Also run on destruction.
    void Shutdown();

    // The seven worker messages; nothing for any other message.
    std::optional<LRESULT> HandleWorkerMessage(UINT message, WPARAM wparam, LPARAM lparam);

    HWND Window() const { return m_window; }
    // The 65 worker slots, slot 64 being the spare.
    const WorkerSlot* Workers() const;
    HANDLE CommandEvent() const;
    bool IsExtensionLoaded() const { return m_module != nullptr; }
    // Slots 0..63 in use.
    int RegisteredWorkers() const;
    // Registered worker threads that have not ended yet, abandoned ones
    // included; a worker that has posted WM_WORKER_DONE may still be ending.
    std::size_t LiveWorkerThreads() const;
    // Set whenever a worker thread ends or gives back its slot; the waiter
    // resets it before it looks at the two counts.
    HANDLE WorkersChangedEvent() const;

   private:
    ExtensionBridge(const BridgeSetup& setup, std::shared_ptr<WorkerState> state);

    LRESULT OnRegister(DWORD thread_id, HANDLE thread);
    LRESULT OnSetCallback(WorkerSlot& slot, LPCWSTR name);
    LRESULT OnAllocateArguments(WorkerSlot& slot, LPARAM count);
    LRESULT OnNewArray(WorkerSlot& slot, LPARAM index);
    LRESULT OnNotify(WorkerSlot& slot, LPARAM status);
    LRESULT OnCallback(WorkerSlot& slot, DWORD* wait_flag);
    LRESULT OnDone(WorkerSlot& slot, DWORD thread_id);
    // False when the slot has no callback name.
    bool RunCallback(const WorkerSlot& slot, DISPPARAMS* arguments);

    std::shared_ptr<WorkerState> m_state;
    std::shared_ptr<ExtensionModule> m_module;
    HWND m_window = nullptr;
    bool m_owns_window = false;
    ScriptCallbacks* m_page;
    SystemInformation* m_system;
    IWebBrowser2* m_browser;
};

}  // namespace nb::bridge
