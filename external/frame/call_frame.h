// The frame every EX_ export receives, and one call's view of it: the
// argument checks that run first, the error reports and the result.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "common/argument_kinds.h"
#include "common/worker_protocol.h"

namespace nb::external {

// The twelve parameters of an EX_ export, in their order.
struct CallFrame {
    HWND shell_window;
    HANDLE command_event;
    DWORD* command_target;
    DWORD* command_word;
    WorkerSlot* workers;
    DISPPARAMS* args;
    VARIANT* result;
    LPCWSTR callback_name;
    IWebBrowser2* browser;  // handed over with a callback name; never used here
    EXCEPINFO* exception;
    UINT* argument_error;  // never used here
    SystemInformation* system;
};

// One EX_ call: its frame and the script name its reports carry as their
// source, "External::<name>".
class ExCall {
   public:
    ExCall(const CallFrame& frame, LPCWSTR script_name) : m_frame(frame), m_name(script_name) {}

    const CallFrame& frame() const { return m_frame; }

    // The script's arguments in their natural order (index 0 is the first).
    // A frame without an argument list has none.
    UINT ArgumentCount() const;
    const VARIANT& Argument(UINT index) const;

    // The checks every function makes before anything else: the count must
    // lie in min_count..max_count (2100), then argument i must be of kind
    // kinds[i] (2101). Arguments beyond kinds are not checked. S_OK or the
    // error report.
    [[nodiscard]] HRESULT CheckArguments(UINT min_count, UINT max_count,
                                         std::span<const NbArgumentKind> kinds) const;

    // Fills the caller's exception record; always DISP_E_EXCEPTION.
    HRESULT Fail(WORD code, LPCWSTR message) const;

    // Store the result when the caller asked for one. E_OUTOFMEMORY when the
    // text cannot be copied.
    [[nodiscard]] HRESULT ReturnString(std::u16string_view text) const;
    HRESULT ReturnInteger(LONG value) const;
    HRESULT ReturnBoolean(bool value) const;
    // Hands value over as the result (it is left empty); without a result
    // asked for, value stays with the caller.
    HRESULT ReturnValue(VARIANT& value) const;
    // A script array of the texts in order; error report 2103 when it cannot
    // be built, leaving no result.
    HRESULT ReturnStringList(std::span<const std::u16string> texts) const;

   private:
    CallFrame m_frame;
    LPCWSTR m_name;
};

}  // namespace nb::external
