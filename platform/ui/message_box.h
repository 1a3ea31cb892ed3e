// Message boxes. The default presenter writes the box to standard error and
// answers as if its first button were pressed; the shell installs one that
// shows a real dialog, and tests install one that records what was shown.
#pragma once

#include "platform/automation/wintypes.h"

constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_ICONERROR = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONWARNING = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

using MessageBoxPresenter = int (*)(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

NB_API int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
// Installs a presenter (null restores the default) and returns the previous one.
NB_API MessageBoxPresenter NbSetMessageBoxPresenter(MessageBoxPresenter presenter);
