// The module's entry points. Besides the EX_ functions they are the only
// symbols the module exports.
#include "external/frame/module_lock.h"
#include "platform/automation/com.h"

NB_API HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object);
NB_API HRESULT DllCanUnloadNow();
NB_API HRESULT DllRegisterServer();
NB_API HRESULT DllUnregisterServer();

// The module serves no classes.
HRESULT DllGetClassObject(REFCLSID, REFIID, LPVOID* object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

// Running worker threads hold locks: their code must stay loaded.
HRESULT DllCanUnloadNow() { return nb::external::IsModuleLocked() ? S_FALSE : S_OK; }

// The module's type library declares no classes, and this platform has no
// registry of type libraries: the script interface reaches the exports by
// name. Registration therefore has nothing to do.
HRESULT DllRegisterServer() { return S_OK; }

HRESULT DllUnregisterServer() { return S_OK; }
