// Task memory, apartments and class creation.
//
// Classes are created from in-process modules: CoCreateInstance finds the
// module that serves a class in the application's activation table (the
// counterpart of a registration-free manifest), loads it once from the
// application directory and asks its DllGetClassObject.
#pragma once

#include "platform/automation/interfaces.h"

NB_API LPVOID CoTaskMemAlloc(SIZE_T size);
NB_API LPVOID CoTaskMemRealloc(LPVOID block, SIZE_T size);
NB_API void CoTaskMemFree(LPVOID block);

constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
constexpr DWORD COINIT_MULTITHREADED = 0x0;

// S_OK on a thread's first call, S_FALSE on later ones; every successful
// call is balanced by CoUninitialize.
NB_API HRESULT CoInitialize(LPVOID reserved);
NB_API HRESULT CoInitializeEx(LPVOID reserved, DWORD model);
NB_API void CoUninitialize();

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_ALL = 0x17;

// REGDB_E_CLASSNOTREG for a class no module serves or a context without
// CLSCTX_INPROC_SERVER, CO_E_DLLNOTFOUND when the module cannot be loaded,
// CO_E_ERRORINDLL when it has no DllGetClassObject; otherwise the answer of
// the class object.
NB_API HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, LPVOID reserved, REFIID iid,
                                LPVOID* object);
NB_API HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid,
                                LPVOID* object);

// The entry points an in-process module exports.
using DllGetClassObjectFunction = HRESULT (*)(REFCLSID clsid, REFIID iid, LPVOID* object);
using DllCanUnloadNowFunction = HRESULT (*)();

// The directory that relative module paths of the activation table start
// from. Defaults to the directory of the running program; tests point it at
// the built application directory. Returns false for an empty path.
NB_API bool NbSetApplicationDirectory(const char* path);
// The current application directory, without a trailing slash.
NB_API const char* NbGetApplicationDirectory();
