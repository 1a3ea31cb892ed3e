// What nbrun prints: one JSON line for the outcome of the call, and one for
// every callback the page receives.
#pragma once

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "shell/bridge/script_callbacks.h"

namespace nb::nbrun {

// {"result": value} on success; {"error": {"code", "source", "description"}}
// for an error report (DISP_E_EXCEPTION); {"hresult": "0x8002000E"} for any
// other failure.
nlohmann::ordered_json OutcomeJson(HRESULT hr, const VARIANT& result, const EXCEPINFO& exception);

// Compact JSON text; text that is not valid UTF-8 is replaced, never refused.
std::string JsonLine(const nlohmann::ordered_json& value);

// The page of nbrun: the one function it defines prints its arguments, in
// script order, as a JSON array line. Other names are unknown.
class PrintingPage final : public nb::bridge::ScriptCallbacks {
   public:
    PrintingPage(std::u16string function, std::FILE* out)
        : m_function(std::move(function)), m_out(out) {}
    HRESULT CallFunction(LPCWSTR name, DISPPARAMS* arguments, VARIANT* result) override;

   private:
    std::u16string m_function;
    std::FILE* m_out;
};

}  // namespace nb::nbrun
