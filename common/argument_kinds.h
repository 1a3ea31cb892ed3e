// The four kinds of script argument that EX_ functions accept, and how their
// values are read. An argument of another kind is a type mismatch (2101).
#pragma once

#include <optional>

#include "platform/automation/variant.h"

enum class NbArgumentKind { Integer, String, Boolean, Array };

bool NbHasArgumentKind(const VARIANT& value, NbArgumentKind kind);

// Integer: VT_I2, VT_I4 and VT_I1 to VT_UINT (16..23). Floating point,
// currency, dates, strings and booleans are not integers.
bool NbIsIntegerArgument(const VARIANT& value);
// The value as a signed 64-bit number, or nothing for a non-integer. VT_I1
// and VT_I2 are sign-extended, VT_UI1 and VT_UI2 zero-extended; VT_I4 and
// VT_UI4 sign-extended and VT_INT and VT_UINT zero-extended from 32 bits;
// VT_I8 and VT_UI8 taken whole. Functions that need 32 bits use the low half,
// which is the same whichever way 32-bit values were extended.
std::optional<LONGLONG> NbReadInteger(const VARIANT& value);

// String: VT_BSTR, or VT_NULL for an absent text. VT_EMPTY is not a string.
bool NbIsStringArgument(const VARIANT& value);
// The text of a string argument: null for VT_NULL (absent) and for any
// non-string; "" for a VT_BSTR holding a null BSTR, which is an empty text.
LPCWSTR NbReadString(const VARIANT& value);

// Boolean: exactly VT_BOOL.
bool NbIsBooleanArgument(const VARIANT& value);
// True only for VT_BOOL holding VARIANT_TRUE (-1); every other value is false.
bool NbReadBoolean(const VARIANT& value);

// Array: VT_DISPATCH (a script array, read with NB_ARRAY_GETLENGTH and
// NB_ARRAY_GETELEMENT or copied with NB_ARRAY_TOVECTOR).
bool NbIsArrayArgument(const VARIANT& value);
