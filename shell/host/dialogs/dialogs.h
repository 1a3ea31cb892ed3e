// The link between a modal or modeless dialog and the window that opened
// it. The opener's ShowModalDialog/ShowModelessDialog call owns the
// VARIANTs and the alive flag and waits in a nested loop until the dialog's
// window is gone, so the pointers stay valid exactly that long; the dialog
// drops them when its window goes.
#pragma once

#include "platform/automation/variant.h"

namespace nb::shell {

class CBrowserCustomizer;

struct DialogLink {
    CBrowserCustomizer* opener = nullptr;  // holds a reference while linked
    VARIANT* arguments = nullptr;          // the opener's argument; null when none was given
    VARIANT* result = nullptr;             // the opener's result (returnValue)
    VARIANT* url = nullptr;                // the resolved dialog URL (VT_BSTR)
    VARIANT* features = nullptr;           // the features text; null when none was given
    LONG* alive = nullptr;                 // 1 while the dialog's window exists
    bool opener_disabled = false;          // a modal dialog made its opener insensitive
};

}  // namespace nb::shell
