// Script values read as text. A BSTR carries its own length, so its text may
// hold zeros; a null BSTR is the empty text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/automation/com_ptr.h"
#include "platform/automation/variant.h"

// The whole text of text, by its length prefix; "" for null.
std::u16string_view NbBstrView(BSTR text);

// The text of a VT_BSTR value, or of any other value converted to VT_BSTR
// (VariantChangeType: VT_EMPTY gives "", numbers their decimal form);
// nothing when the value has no text form (VT_NULL, arrays, objects).
std::optional<std::u16string> NbVariantText(const VARIANT& value);
