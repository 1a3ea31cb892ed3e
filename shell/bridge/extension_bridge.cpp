#include "shell/bridge/extension_bridge.h"

#include "common/error_report.h"
#include "platform/text/code_pages.h"
#include "shell/bridge/argument_list.h"
#include "shell/bridge/extension_module.h"
#include "shell/bridge/method_arguments.h"
#include "shell/bridge/task_text.h"
#include "shell/bridge/thread_termination.h"
#include "shell/bridge/worker_slots.h"
#include "shell/bridge/worker_state.h"

namespace nb::bridge {
namespace {

// The shell's own error reports; the texts are visible to scripts.
constexpr LPCWSTR kReportSource = u"Invoke";
constexpr WORD kErrorLibraryNotLoaded = 1100;
constexpr WORD kErrorExportMissing = 1101;
constexpr LPCWSTR kMessageLibraryNotLoaded = u"Catastrophic: Cannot load NbExternal.dll";
constexpr LPCWSTR kMessageExportMissing = u"Function not found in NbExternal.dll";

LRESULT BridgeWindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* bridge = static_cast<ExtensionBridge*>(NbGetWindowData(window));
    if (!bridge) return 0;
    return bridge->HandleWorkerMessage(message, wparam, lparam).value_or(0);
}

}  // namespace

std::unique_ptr<ExtensionBridge> ExtensionBridge::Create(const BridgeSetup& setup) {
    std::shared_ptr<WorkerState> state = WorkerState::Create();
    if (!state) return nullptr;
    std::unique_ptr<ExtensionBridge> bridge(new ExtensionBridge(setup, std::move(state)));
    if (!bridge->m_window) {
        bridge->m_window = NbCreateMessageWindow(&BridgeWindowProcedure, bridge.get());
        if (!bridge->m_window) return nullptr;
        bridge->m_owns_window = true;
    }
    return bridge;
}

ExtensionBridge::ExtensionBridge(const BridgeSetup& setup, std::shared_ptr<WorkerState> state)
    : m_state(std::move(state)),
      m_window(setup.window),
      m_page(setup.page),
      m_system(setup.system),
      m_browser(setup.browser) {}

ExtensionBridge::~ExtensionBridge() { Shutdown(); }

HRESULT ExtensionBridge::Execute(DISPPARAMS* params, WORD flags, VARIANT* result,
                                 EXCEPINFO* exception, UINT* argument_error) {
    ExecuteArguments arguments{};
    HRESULT hr = ReadExecuteArguments(params, flags, argument_error, &arguments);
    if (FAILED(hr)) return hr;
    if (exception) *exception = EXCEPINFO{};

    if (!m_module) m_module = ExtensionModule::Load();
    if (!m_module)
        return NbFillExceptionInfo(exception, kReportSource, kErrorLibraryNotLoaded,
                                   kMessageLibraryNotLoaded);
    // Held for the call: a callback run inside it may shut the bridge down.
    const std::shared_ptr<ExtensionModule> module = m_module;
    const ExFunction function =
        module->FindExport(nb::ToUtf8(arguments.name ? arguments.name : u""));
    if (!function)
        return NbFillExceptionInfo(exception, kReportSource, kErrorExportMissing,
                                   kMessageExportMissing);

    ArgumentList list;
    hr = BuildCallArguments(arguments.args, &list);
    if (FAILED(hr)) return hr;
    TaskText callback;
    if (arguments.has_callback) {
        callback.reset(CopyToTaskMemory(arguments.callback ? arguments.callback : u""));
        if (!callback) return E_OUTOFMEMORY;
    }
    if (result) VariantInit(result);
    // Held for the call as well: the table and words must outlive it.
    const std::shared_ptr<WorkerState> state = m_state;
    ResetEvent(state->CommandEvent());
    return function(m_window, state->CommandEvent(), state->CommandTarget(), state->CommandWord(),
                    state->Table(), list.get(), result, callback.get(),
                    callback ? m_browser : nullptr, exception, argument_error, m_system);
}

HRESULT ExtensionBridge::TerminateThread(DISPPARAMS* params, WORD flags) {
    DWORD target = 0;
    const HRESULT hr = ReadTerminateArgument(params, flags, &target);
    if (FAILED(hr)) return hr;
    TerminateWorkers(*m_state, target, CallbackData::Keep);
    return S_OK;
}

void ExtensionBridge::Shutdown() {
    TerminateWorkers(*m_state, 0, CallbackData::Free);
    m_module.reset();
    if (m_owns_window) {
        DestroyWindow(m_window);
        m_window = nullptr;
        m_owns_window = false;
    }
}

const WorkerSlot* ExtensionBridge::Workers() const { return m_state->Table(); }
HANDLE ExtensionBridge::CommandEvent() const { return m_state->CommandEvent(); }
int ExtensionBridge::RegisteredWorkers() const { return CountRegisteredSlots(m_state->Table()); }
std::size_t ExtensionBridge::LiveWorkerThreads() const { return m_state->LiveThreads(); }
HANDLE ExtensionBridge::WorkersChangedEvent() const { return m_state->ChangeEvent(); }

}  // namespace nb::bridge
