// Defines an EX_ export: the twelve-parameter frame the shell calls, handed
// to a handler that sees one ExCall. No exception leaves the module: an
// allocation failure inside the handler becomes E_OUTOFMEMORY.
#pragma once

#include <type_traits>

#include "external/frame/call_frame.h"
#include "platform/kernel/no_throw.h"

// NB_DEFINE_EX_FUNCTION(FileSize, FileSize) defines EX_FileSize, whose reports
// name "External::FileSize", calling HRESULT FileSize(const ExCall&).
#define NB_DEFINE_EX_FUNCTION(script_name, handler) \
    NB_DEFINE_EX_FUNCTION_REPORTING_AS(script_name, script_name, handler)

// The same for a function whose reports name another source: the jar reader's
// reports have always said "External::GetJatVal", and pages may test for it.
// clang-format off
#define NB_DEFINE_EX_FUNCTION_REPORTING_AS(script_name, source_name, handler)                      \
    NB_API HRESULT EX_##script_name(                                                               \
        HWND shell_window, HANDLE command_event, DWORD* command_target, DWORD* command_word,       \
        WorkerSlot* workers, DISPPARAMS* args, VARIANT* result, LPCWSTR callback_name,             \
        IWebBrowser2* browser, EXCEPINFO* exception, UINT* argument_error,                         \
        SystemInformation* system) {                                                               \
        const nb::external::CallFrame frame{shell_window, command_event, command_target,           \
                                            command_word, workers, args, result,                   \
                                            callback_name, browser, exception,                     \
                                            argument_error, system};                               \
        const nb::external::ExCall call(frame, u## #source_name);                                  \
        return nb::NoThrow([&call] { return handler(call); }, E_OUTOFMEMORY, E_UNEXPECTED);        \
    }                                                                                              \
    static_assert(std::is_same_v<decltype(&EX_##script_name), ExFunction>)
// clang-format on
