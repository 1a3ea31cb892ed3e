// Script values between the page channel and automation VARIANTs, on the
// shell's side. Arrays become script arrays (NbJsArray) copied by value, and
// script arrays handed back become arrays.
#pragma once

#include <glib.h>

#include "platform/automation/variant.h"

namespace nb::shell {

// A floating GVariant of the channel's value types. Integers of every width
// that fit 32 bits become "i", other numbers "d"; VT_DISPATCH objects with a
// "length" are read as arrays; anything else converts to text when it can,
// else to undefined.
GVariant* ToChannelValue(const VARIANT& value, int depth = 0);

// Fills out (which must need no clearing) from a checked channel value.
// E_FAIL when a script array cannot be made; out is then VT_EMPTY.
HRESULT FromChannelValue(GVariant* value, VARIANT* out, int depth = 0);

}  // namespace nb::shell
