// The stand-in for a page: it records every script function the bridge
// calls, with the arguments in script order, and can run a check while a
// call is in progress.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "common/argument_kinds.h"
#include "common/script_array.h"
#include "shell/bridge/script_callbacks.h"

namespace nb::bridge::testing {

// A script value reduced to what tests compare: its tag, an integer or
// boolean, a text, or the length of a script array.
struct Value {
    VARTYPE type = VT_EMPTY;
    LONGLONG number = 0;
    std::u16string text;
    bool operator==(const Value&) const = default;
};

inline Value I4(LONGLONG number) { return {VT_I4, number, {}}; }
inline Value Int(LONGLONG number) { return {VT_INT, number, {}}; }
inline Value Text(std::u16string text) { return {VT_BSTR, 0, std::move(text)}; }

inline Value ValueOf(const VARIANT& variant) {
    Value value{variant.vt, 0, {}};
    if (auto integer = NbReadInteger(variant)) value.number = *integer;
    if (variant.vt == VT_BOOL) value.number = variant.boolVal;
    if (variant.vt == VT_BSTR && variant.bstrVal)
        value.text.assign(variant.bstrVal, SysStringLen(variant.bstrVal));
    if (variant.vt == VT_DISPATCH) {
        LONG length = -1;
        NB_ARRAY_GETLENGTH(&variant, &length);
        value.number = length;
    }
    return value;
}

inline void PrintTo(const Value& value, std::ostream* out) {
    *out << "{vt " << value.type << ", " << value.number << ", \""
         << std::string(value.text.begin(), value.text.end()) << "\"}";
}

struct PageCall {
    std::u16string function;
    std::vector<Value> arguments;  // script order: the function's first parameter first
    bool operator==(const PageCall&) const = default;
};

inline void PrintTo(const PageCall& call, std::ostream* out) {
    *out << std::string(call.function.begin(), call.function.end()) << "(";
    for (const Value& argument : call.arguments) PrintTo(argument, out), *out << " ";
    *out << ")";
}

class RecordingPage final : public ScriptCallbacks {
   public:
    // Functions the page defines; calls of other names fail and are not run.
    std::set<std::u16string> functions{u"callback", u"first", u"second"};
    std::vector<PageCall> calls;
    std::vector<std::u16string> unknown_calls;
    // Runs inside each call of a defined function, after it is recorded.
    std::function<void(const PageCall&)> during_call;

    HRESULT CallFunction(LPCWSTR name, DISPPARAMS* arguments, VARIANT* result) override {
        if (!functions.count(name)) {
            unknown_calls.emplace_back(name);
            return DISP_E_UNKNOWNNAME;
        }
        PageCall call{name, {}};
        for (UINT i = arguments->cArgs; i > 0; --i)
            call.arguments.push_back(ValueOf(arguments->rgvarg[i - 1]));
        calls.push_back(call);
        if (during_call) during_call(call);
        result->vt = VT_I4;
        result->lVal = 1;
        return S_OK;
    }
};

}  // namespace nb::bridge::testing
