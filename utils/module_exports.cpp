// The entry points of the in-process module. They are the only symbols the
// module exports.
#include "platform/automation/com.h"
#include "utils/class_factory.h"
#include "utils/module_lock.h"
#include "utils/nbutils.h"

NB_API HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object);
NB_API HRESULT DllCanUnloadNow();
NB_API HRESULT DllRegisterServer();
NB_API HRESULT DllUnregisterServer();

HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_NbJsArray) return CLASS_E_CLASSNOTAVAILABLE;
    return nb::utils::CreateJsArrayClassObject(iid, object);
}

HRESULT DllCanUnloadNow() { return nb::utils::IsModuleLocked() ? S_FALSE : S_OK; }

// There is no registry of classes or type libraries on this platform yet: the
// application's activation table names the module that serves the class, and
// the type information is built in. Registration therefore has nothing to do.
HRESULT DllRegisterServer() { return S_OK; }

HRESULT DllUnregisterServer() { return S_OK; }
