// A stand-in for the shell's side of the worker protocol, for tests while the
// real shell is written alongside: one message window on the test's thread
// with the shell's worker table of 65 slots, its command event, target and
// word, and the shell's handling of every worker message. Instead of calling
// script functions it records each report, with its arguments in the order
// the script function would receive them.
#pragma once

#include <functional>
#include <initializer_list>
#include <map>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "common/worker_protocol.h"
#include "external/frame/call_frame.h"

namespace nb::external::testing {

// A script argument as a test writes it: empty, null, integer, boolean,
// text, or a script array of such values.
struct TestArray;
using TestValue =
    std::variant<std::monostate, std::nullptr_t, LONG, bool, std::u16string, TestArray>;
struct TestArray {
    std::vector<TestValue> elements;
};

// The caller's argument list, owned like the shell owns it during a call.
class ArgumentList {
   public:
    ArgumentList(std::initializer_list<TestValue> values)
        : ArgumentList(std::span<const TestValue>(values.begin(), values.size())) {}
    explicit ArgumentList(std::span<const TestValue> values);
    ~ArgumentList();
    ArgumentList(const ArgumentList&) = delete;
    ArgumentList& operator=(const ArgumentList&) = delete;
    DISPPARAMS* get() { return &m_params; }

   private:
    std::vector<VARIANT> m_values;
    DISPPARAMS m_params{};
};

// A value as a test compares it.
struct ReceivedValue {
    VARTYPE type = VT_EMPTY;
    LONGLONG number = 0;                  // VT_I4, VT_INT, VT_BOOL (-1 true, 0 false)
    std::u16string text;                  // VT_BSTR
    std::vector<ReceivedValue> elements;  // VT_DISPATCH: a script array's elements

    static ReceivedValue From(const VARIANT& value);
};

enum class ReportKind { Notify, Callback };

struct Report {
    ReportKind kind;
    DWORD thread_id;
    std::u16string function;
    std::vector<ReceivedValue> arguments;  // first script parameter first
};

// What an EX_ call answered.
struct CallOutcome {
    HRESULT hr = E_FAIL;
    ReceivedValue result;
    WORD code = 0;
    SCODE scode = 0;
    std::u16string source;
    std::u16string description;
};

class ShellDouble {
   public:
    ShellDouble();
    // Waits a while for workers still registered, then destroys the window.
    ~ShellDouble();
    ShellDouble(const ShellDouble&) = delete;
    ShellDouble& operator=(const ShellDouble&) = delete;

    HWND window() const { return m_window; }
    CallFrame MakeFrame(DISPPARAMS* args, LPCWSTR callback, VARIANT* result, EXCEPINFO* exception);

    // Calls an export as the shell does: the command event is reset first.
    CallOutcome Call(ExFunction function, std::initializer_list<TestValue> arguments,
                     LPCWSTR callback = nullptr) {
        return Call(function, std::span<const TestValue>(arguments.begin(), arguments.size()),
                    callback);
    }
    CallOutcome Call(ExFunction function, std::span<const TestValue> arguments,
                     LPCWSTR callback = nullptr);

    // What the shell's thread termination writes before waiting: the target,
    // the command word, then the event.
    void SendCommand(DWORD target, DWORD word);

    // What the shell's thread termination does to a worker that did not end
    // in time: abandons the thread (exit code 127) and frees its slot. The
    // argument block it may still write to is freed once the thread ends.
    void Abandon(DWORD thread_id);

    // Handles messages until done() holds or timeout_ms passes; done()'s answer.
    bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms);
    bool WaitUntilFinished(DWORD thread_id, DWORD timeout_ms = 20000);
    void PumpFor(DWORD milliseconds);

    bool HasFinished(DWORD thread_id) const { return m_exit_codes.count(thread_id) != 0; }
    // The exit code of a finished worker, taken when its WM_WORKER_DONE came.
    DWORD ExitCodeOf(DWORD thread_id) const { return m_exit_codes.at(thread_id); }
    std::vector<Report> ReportsOf(DWORD thread_id) const;
    const std::vector<Report>& reports() const { return m_reports; }
    int registrations() const { return m_registrations; }
    int RegisteredWorkers() const;
    const std::vector<WPARAM>& done_slots() const { return m_done_slots; }
    WorkerSlot* workers() { return m_slots; }
    // The block handed to every call (all zero until a test fills it in).
    SystemInformation& system() { return m_system; }

   private:
    static LRESULT Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT Register(DWORD thread_id, HANDLE thread);
    LRESULT AllocateArguments(WorkerSlot& slot, LPARAM count);
    LRESULT Record(WorkerSlot& slot, ReportKind kind, std::vector<ReceivedValue> arguments);
    LRESULT RunCallback(WorkerSlot& slot, LPARAM wait_flag);
    LRESULT Finish(WPARAM index);
    static void FreeLeftovers(WorkerSlot& slot);

    WorkerSlot m_slots[NB_WORKER_TABLE_SIZE]{};
    DWORD m_command_target = 0;
    DWORD m_command_word = 0;
    HANDLE m_command_event;
    HANDLE m_pause_event;
    SystemInformation m_system{};
    HWND m_window;
    std::vector<Report> m_reports;
    std::map<DWORD, DWORD> m_exit_codes;
    std::vector<WPARAM> m_done_slots;
    int m_registrations = 0;
};

// The extension module, loaded from the built application directory the way
// the shell loads it, and kept loaded for the whole test program.
ExFunction LoadExport(const char* name);
void* LoadModuleSymbol(const char* name);

}  // namespace nb::external::testing
