// LaunchBrowser of the script object: opens a url in the system's browser.
//
// Platform-specific: the browser command is the registry's (HKCR
// "http\shell\open\command", or with useMSIE HKLM's IEXPLORE.EXE App Path),
// so an installer or a test can choose it; without one, the desktop's
// default http handler's command line (GIO), except for useMSIE. The "open"
// verb is GIO's default handler for the url.
#pragma once

#include <string>

#include "platform/automation/interfaces.h"

namespace nb::shell {

enum class BrowserChoice { kDefault, kInternetExplorer };

// The arguments as script passes them: (url) or (url, useMSIE as VT_BOOL).
// DISP_E_BADPARAMCOUNT or DISP_E_TYPEMISMATCH (argument_error set) for
// others; S_OK otherwise, whether or not a browser could be started.
HRESULT LaunchBrowserMethod(const DISPPARAMS* params, UINT* argument_error);

// The command line the url is started with; empty when there is none, which
// means the "open" verb.
std::u16string BrowserCommand(BrowserChoice choice);

// Starts the browser for url: the command's program with its parameters, or
// the "open" verb when there is no command or the program cannot start.
void LaunchBrowser(const std::u16string& url, BrowserChoice choice);

}  // namespace nb::shell
