#include "external/frame/tests/shell_double.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "common/script_array.h"
#include "platform/automation/com.h"
#include "platform/automation/com_ptr.h"
#include "platform/messaging/messaging.h"

namespace nb::external::testing {
namespace {

void SetArray(VARIANT& variant, const TestArray& array);

void SetValue(VARIANT& variant, const TestValue& value) {
    VariantInit(&variant);
    if (std::holds_alternative<std::nullptr_t>(value)) {
        variant.vt = VT_NULL;
    } else if (const LONG* number = std::get_if<LONG>(&value)) {
        variant.vt = VT_I4;
        variant.lVal = *number;
    } else if (const bool* flag = std::get_if<bool>(&value)) {
        variant.vt = VT_BOOL;
        variant.boolVal = *flag ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (const std::u16string* text = std::get_if<std::u16string>(&value)) {
        variant.vt = VT_BSTR;
        variant.bstrVal = SysAllocStringLen(text->data(), static_cast<UINT>(text->size()));
    } else if (const TestArray* array = std::get_if<TestArray>(&value)) {
        SetArray(variant, *array);
    }
}

// Script arrays are the utility library's objects, found in the built
// application directory as the shell finds them.
void SetArray(VARIANT& variant, const TestArray& array) {
    static const bool located = NbSetApplicationDirectory(NB_TEST_APP_DIR);
    ASSERT_TRUE(located);
    ASSERT_EQ(NB_ARRAY_CREATE(&variant), S_OK);
    int index = 0;
    for (const TestValue& element : array.elements) {
        VARIANT item;
        SetValue(item, element);
        EXPECT_EQ(NB_ARRAY_ADDELEMENT(&variant, index++, &item), S_OK);
        VariantClear(&item);
    }
}

void ClearAndFree(DISPPARAMS* block) {
    if (!block) return;
    for (UINT i = 0; i < block->cArgs; ++i) VariantClear(&block->rgvarg[i]);
    CoTaskMemFree(block->rgvarg);
    CoTaskMemFree(block);
}

std::u16string TakeText(BSTR& text) {
    std::u16string copy = text ? std::u16string(text, SysStringLen(text)) : std::u16string();
    SysFreeString(text);
    text = nullptr;
    return copy;
}

}  // namespace

ArgumentList::ArgumentList(std::span<const TestValue> values) : m_values(values.size() + 1) {
    std::size_t index = 0;
    for (const TestValue& value : values) SetValue(m_values[index++], value);
    VariantInit(&m_values.back());
    m_params.rgvarg = values.size() ? m_values.data() : nullptr;
    m_params.cArgs = static_cast<UINT>(values.size());
}

ArgumentList::~ArgumentList() {
    for (VARIANT& value : m_values) VariantClear(&value);
}

ReceivedValue ReceivedValue::From(const VARIANT& value) {
    ReceivedValue received;
    received.type = value.vt;
    if (value.vt == VT_I4 || value.vt == VT_INT) received.number = value.lVal;
    if (value.vt == VT_BOOL) received.number = value.boolVal;
    if (value.vt == VT_BSTR && value.bstrVal)
        received.text.assign(value.bstrVal, SysStringLen(value.bstrVal));
    LONG length = 0;
    if (value.vt == VT_DISPATCH && SUCCEEDED(NB_ARRAY_GETLENGTH(&value, &length))) {
        for (LONG index = 0; index < length; ++index) {
            Variant element;
            EXPECT_EQ(NB_ARRAY_GETELEMENT(&value, index, &element), S_OK);
            received.elements.push_back(From(element));
        }
    }
    return received;
}

ShellDouble::ShellDouble()
    : m_command_event(CreateEventW(nullptr, 1, 0, nullptr)),
      m_pause_event(CreateEventW(nullptr, 0, 0, nullptr)),
      m_window(NbCreateMessageWindow(&Procedure, this)) {}

ShellDouble::~ShellDouble() {
    if (!PumpUntil([this] { return RegisteredWorkers() == 0; }, 20000))
        ADD_FAILURE() << RegisteredWorkers() << " workers still registered at the end";
    for (WorkerSlot& slot : m_slots) FreeLeftovers(slot);
    DestroyWindow(m_window);
    CloseHandle(m_command_event);
    CloseHandle(m_pause_event);
}

CallFrame ShellDouble::MakeFrame(DISPPARAMS* args, LPCWSTR callback, VARIANT* result,
                                 EXCEPINFO* exception) {
    return CallFrame{m_window, m_command_event, &m_command_target, &m_command_word, m_slots,
                     args,     result,          callback,          nullptr,         exception,
                     nullptr,  &m_system};
}

CallOutcome ShellDouble::Call(ExFunction function, std::span<const TestValue> arguments,
                              LPCWSTR callback) {
    ArgumentList list(arguments);
    // The shell hands over a copy of the name that lives for the call only.
    const std::u16string callback_copy = callback ? callback : u"";
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    UINT argument_error = 0;
    ResetEvent(m_command_event);
    CallOutcome outcome;
    outcome.hr = function(m_window, m_command_event, &m_command_target, &m_command_word, m_slots,
                          list.get(), &result, callback ? callback_copy.c_str() : nullptr, nullptr,
                          &exception, &argument_error, &m_system);
    outcome.result = ReceivedValue::From(result);
    VariantClear(&result);
    outcome.code = exception.wCode;
    outcome.scode = exception.scode;
    outcome.source = TakeText(exception.bstrSource);
    outcome.description = TakeText(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return outcome;
}

void ShellDouble::SendCommand(DWORD target, DWORD word) {
    std::atomic_ref<DWORD>(m_command_target).store(target, std::memory_order_release);
    std::atomic_ref<DWORD>(m_command_word).store(word, std::memory_order_release);
    SetEvent(m_command_event);
}

void ShellDouble::Abandon(DWORD thread_id) {
    for (int i = 0; i < NB_WORKER_SLOTS; ++i) {
        WorkerSlot& slot = m_slots[i];
        if (slot.thread_id != thread_id) continue;
        TerminateThread(slot.thread, NB_WORKER_EXIT_TERMINATED);
        DISPPARAMS* block = std::atomic_ref<DISPPARAMS*>(slot.arguments)
                                .exchange(nullptr, std::memory_order_acq_rel);
        if (block) {
            NbDeferUntilThreadEnds(
                slot.thread, [](void* data) { ClearAndFree(static_cast<DISPPARAMS*>(data)); },
                block);
        }
        CloseHandle(slot.thread);
        slot.thread = nullptr;
        std::atomic_ref<DWORD>(slot.thread_id).store(0, std::memory_order_release);
        FreeLeftovers(slot);
    }
}

bool ShellDouble::PumpUntil(const std::function<bool()>& done, DWORD timeout_ms) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= timeout_ms) return false;
        DWORD index = 0;
        CoWaitForMultipleHandles(COWAIT_ALERTABLE, 10, 1, &m_pause_event, &index);
    }
    return true;
}

void ShellDouble::PumpFor(DWORD milliseconds) {
    PumpUntil([] { return false; }, milliseconds);
}

bool ShellDouble::WaitUntilFinished(DWORD thread_id, DWORD timeout_ms) {
    return PumpUntil([this, thread_id] { return HasFinished(thread_id); }, timeout_ms);
}

std::vector<Report> ShellDouble::ReportsOf(DWORD thread_id) const {
    std::vector<Report> found;
    for (const Report& report : m_reports)
        if (report.thread_id == thread_id) found.push_back(report);
    return found;
}

int ShellDouble::RegisteredWorkers() const {
    int count = 0;
    for (int i = 0; i < NB_WORKER_SLOTS; ++i) count += m_slots[i].thread_id != 0;
    return count;
}

LRESULT ShellDouble::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* shell = static_cast<ShellDouble*>(NbGetWindowData(window));
    return shell ? shell->Handle(message, wparam, lparam) : 0;
}

LRESULT ShellDouble::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_WORKER_REGISTER)
        return Register(static_cast<DWORD>(wparam), reinterpret_cast<HANDLE>(lparam));
    if (message < WM_WORKER_SET_CALLBACK || message > WM_WORKER_DONE) return 0;
    if (wparam >= NB_WORKER_TABLE_SIZE) return E_FAIL;
    WorkerSlot& slot = m_slots[wparam];
    switch (message) {
        case WM_WORKER_SET_CALLBACK: {
            CoTaskMemFree(slot.callback_name);
            const std::u16string name = reinterpret_cast<LPCWSTR>(lparam);
            slot.callback_name = static_cast<LPWSTR>(CoTaskMemAlloc((name.size() + 1) * 2));
            name.copy(slot.callback_name, name.size());
            slot.callback_name[name.size()] = 0;
            return 1;
        }
        case WM_WORKER_ALLOC_ARGS:
            return AllocateArguments(slot, lparam);
        case WM_WORKER_NOTIFY: {
            ReceivedValue status{VT_INT, static_cast<LONGLONG>(lparam), {}, {}};
            return Record(slot, ReportKind::Notify, {status});
        }
        case WM_WORKER_CALLBACK:
            return RunCallback(slot, lparam);
        case WM_WORKER_DONE:
            return Finish(wparam);
    }
    return 0;
}

LRESULT ShellDouble::Register(DWORD thread_id, HANDLE thread) {
    ++m_registrations;
    for (int i = 0; i < NB_WORKER_SLOTS; ++i) {
        WorkerSlot& slot = m_slots[i];
        if (slot.thread_id != 0) continue;
        FreeLeftovers(slot);
        slot.thread = thread;
        std::atomic_ref<DWORD>(slot.thread_id).store(thread_id, std::memory_order_release);
        return 1;
    }
    return E_FAIL;
}

LRESULT ShellDouble::AllocateArguments(WorkerSlot& slot, LPARAM count) {
    if (count < 1 || count > static_cast<LPARAM>(NB_MAX_CALLBACK_ARGUMENTS)) return E_FAIL;
    // Made before the old block is freed, so its address is a new one, as
    // the shell's is.
    DISPPARAMS* old_block = slot.arguments;
    auto* block = static_cast<DISPPARAMS*>(CoTaskMemAlloc(sizeof(DISPPARAMS)));
    block->rgvarg = static_cast<VARIANT*>(CoTaskMemAlloc((count + 1) * sizeof(VARIANT)));
    for (LPARAM i = 0; i <= count; ++i) VariantInit(&block->rgvarg[i]);
    block->rgdispidNamedArgs = nullptr;
    block->cArgs = static_cast<UINT>(count);
    block->cNamedArgs = 0;
    std::atomic_ref<DISPPARAMS*>(slot.arguments).store(block, std::memory_order_release);
    ClearAndFree(old_block);
    return 1;
}

LRESULT ShellDouble::Record(WorkerSlot& slot, ReportKind kind,
                            std::vector<ReceivedValue> arguments) {
    if (!slot.callback_name) return E_FAIL;
    m_reports.push_back({kind, slot.thread_id, slot.callback_name, std::move(arguments)});
    return 1;
}

LRESULT ShellDouble::RunCallback(WorkerSlot& slot, LPARAM wait_flag) {
    std::vector<ReceivedValue> arguments;
    if (const DISPPARAMS* block = slot.arguments) {
        // The list holds the values last-first; the script sees them first-first.
        for (UINT position = 1; position <= block->cArgs; ++position)
            arguments.push_back(ReceivedValue::From(block->rgvarg[block->cArgs - position]));
    }
    const LRESULT answer = Record(slot, ReportKind::Callback, std::move(arguments));
    if (wait_flag) {
        const DWORD written = answer == 1 ? NB_WAIT_FLAG_CALLED : NB_WAIT_FLAG_NO_CALLBACK;
        std::atomic_ref<DWORD>(*reinterpret_cast<DWORD*>(wait_flag))
            .store(written, std::memory_order_release);
    }
    return answer;
}

LRESULT ShellDouble::Finish(WPARAM index) {
    m_done_slots.push_back(index);
    WorkerSlot& slot = m_slots[index];
    if (index >= NB_WORKER_SLOTS || slot.thread_id == 0) return 1;
    // Not the shell's business, but the tests': the worker's exit code. Its
    // thread ends right after this message.
    DWORD exit_code = STILL_ACTIVE;
    if (WaitForSingleObject(slot.thread, 5000) == WAIT_OBJECT_0)
        GetExitCodeThread(slot.thread, &exit_code);
    m_exit_codes[slot.thread_id] = exit_code;
    CloseHandle(slot.thread);
    slot.thread = nullptr;
    std::atomic_ref<DWORD>(slot.thread_id).store(0, std::memory_order_release);
    return 1;
}

void ShellDouble::FreeLeftovers(WorkerSlot& slot) {
    CoTaskMemFree(slot.callback_name);
    slot.callback_name = nullptr;
    ClearAndFree(slot.arguments);
    std::atomic_ref<DISPPARAMS*>(slot.arguments).store(nullptr, std::memory_order_release);
}

void* LoadModuleSymbol(const char* name) {
    static void* module = [] {
        const std::string path = std::string(NB_TEST_APP_DIR) + "/internals/NbExternal.so";
        void* handle = dlopen(path.c_str(), RTLD_NOW);
        if (!handle) ADD_FAILURE() << dlerror();
        return handle;
    }();
    return module ? dlsym(module, name) : nullptr;
}

ExFunction LoadExport(const char* name) {
    auto function = reinterpret_cast<ExFunction>(LoadModuleSymbol(name));
    EXPECT_NE(function, nullptr) << name;
    return function;
}

}  // namespace nb::external::testing
