// JSON text and script values: how nbrun turns its JSON argument into what a
// page would pass, and what scripts receive back into JSON output.
#pragma once

#include <nlohmann/json.hpp>

#include "platform/automation/variant.h"

namespace nb::nbrun {

// Script arrays nested deeper than this are refused (JSON in) or written as
// null (JSON out), which also ends an array that contains itself.
constexpr int kMaxArrayNesting = 64;

// Strings become VT_BSTR, integers VT_I4 (VT_R8 outside 32 bits), other
// numbers VT_R8, booleans VT_BOOL, null VT_NULL, and arrays script arrays of
// NbUtils (NB_ARRAY_CREATE, NB_ARRAY_ADDELEMENT) holding their elements
// converted the same way. value must hold nothing that needs clearing.
// E_INVALIDARG for an object or for arrays nested too deeply; E_FAIL when a
// script array cannot be made or filled; value is left VT_EMPTY on failure.
HRESULT JsonToScriptValue(const nlohmann::json& json, VARIANT* value);

// Integers of any tag become JSON integers, VT_R4 and VT_R8 numbers, VT_BOOL
// booleans, VT_BSTR strings, VT_EMPTY and VT_NULL null, and VT_DISPATCH
// arrays read through "length" and "0", "1", ...; any other value becomes
// its text when it converts to one, else null.
nlohmann::json ScriptValueToJson(const VARIANT& value);

}  // namespace nb::nbrun
