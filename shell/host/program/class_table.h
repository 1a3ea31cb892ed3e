// The shell's own class table: script objects of its windows are created
// from it, never through the registry.
#pragma once

#include "platform/automation/interfaces.h"

namespace nb::shell {

class CBrowserCustomizer;
class WebEngine;

inline constexpr GUID CLSID_BrowserCustomizer = {
    0xAC0ECD03, 0xE268, 0x46B1, {0xAF, 0x97, 0x12, 0x27, 0x2E, 0x1F, 0x99, 0x43}};
inline constexpr GUID IID_IBrowserCustomizer = {
    0xAC0ECD01, 0xE268, 0x46B1, {0xAF, 0x97, 0x12, 0x27, 0x2E, 0x1F, 0x99, 0x43}};

// Module-local creation: finds the class in the table and creates an
// instance with the interface asked for. A class not in the table shows
// "_Module.GetClassObject() failed", a failed creation "CreateInstance()
// failed", both titled "Legacy/CoCreateInstance".
HRESULT LegacyCoCreateInstance(WebEngine& engine, const GUID& clsid, const GUID& iid,
                               void** object);

// The same for the window object itself, with one reference; null on failure.
CBrowserCustomizer* CreateBrowserCustomizer(WebEngine& engine);

}  // namespace nb::shell
