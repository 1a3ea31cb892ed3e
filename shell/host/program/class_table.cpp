#include "shell/host/program/class_table.h"

#include <array>

#include "platform/ui/message_box.h"
#include "shell/host/script_object/browser_customizer.h"

namespace nb::shell {
namespace {

using Creator = HRESULT (*)(WebEngine& engine, const GUID& iid, void** object);

struct ClassEntry {
    const GUID* clsid;
    Creator create;
};

HRESULT CreateCustomizer(WebEngine& engine, const GUID& iid, void** object) {
    CBrowserCustomizer* created = nullptr;
    const HRESULT hr = CBrowserCustomizer::CreateInstance(engine, &created);
    if (FAILED(hr)) return hr;
    const HRESULT asked = created->QueryInterface(iid, object);
    created->Release();
    return asked;
}

constexpr std::array<ClassEntry, 1> kClasses = {{{&CLSID_BrowserCustomizer, CreateCustomizer}}};

}  // namespace

HRESULT LegacyCoCreateInstance(WebEngine& engine, const GUID& clsid, const GUID& iid,
                               void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    for (const ClassEntry& entry : kClasses) {
        if (!(*entry.clsid == clsid)) continue;
        const HRESULT hr = entry.create(engine, iid, object);
        if (FAILED(hr))
            MessageBoxW(nullptr, u"CreateInstance() failed", u"Legacy/CoCreateInstance",
                        MB_OK | MB_ICONERROR);
        return hr;
    }
    MessageBoxW(nullptr, u"_Module.GetClassObject() failed", u"Legacy/CoCreateInstance",
                MB_OK | MB_ICONERROR);
    return CLASS_E_CLASSNOTAVAILABLE;
}

CBrowserCustomizer* CreateBrowserCustomizer(WebEngine& engine) {
    void* object = nullptr;
    if (FAILED(LegacyCoCreateInstance(engine, CLSID_BrowserCustomizer, IID_IBrowserCustomizer,
                                      &object)))
        return nullptr;
    return static_cast<CBrowserCustomizer*>(static_cast<IDispatch*>(object));
}

}  // namespace nb::shell
