// Message boxes. The default presenter writes the box to standard error and
// answers as if its first button were pressed (OK, Abort, Yes, Retry or
// Cancel, by the button set); the shell installs one that
// shows a real dialog, and tests install one that records what was shown.
#pragma once

#include "platform/automation/wintypes.h"

// Button sets (the type's low four bits).
constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_ABORTRETRYIGNORE = 0x2;
constexpr UINT MB_YESNOCANCEL = 0x3;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_RETRYCANCEL = 0x5;
constexpr UINT MB_CANCELTRYCONTINUE = 0x6;
constexpr UINT MB_ICONERROR = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONWARNING = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;

// Default button (bits 8 to 11: the first, second, third or fourth).
constexpr UINT MB_DEFBUTTON2 = 0x100;
constexpr UINT MB_DEFBUTTON3 = 0x200;

// Answers: the button pressed.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
constexpr int IDTRYAGAIN = 10;
constexpr int IDCONTINUE = 11;

using MessageBoxPresenter = int (*)(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

NB_API int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
// Installs a presenter (null restores the default) and returns the previous one.
NB_API MessageBoxPresenter NbSetMessageBoxPresenter(MessageBoxPresenter presenter);
