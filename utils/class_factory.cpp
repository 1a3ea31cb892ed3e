#include "utils/class_factory.h"

#include <new>

#include "utils/js_array.h"
#include "utils/module_lock.h"

namespace nb::utils {
namespace {

class CNbJsArrayFactory final : public IClassFactory {
   public:
    CNbJsArrayFactory() { LockModule(); }
    CNbJsArrayFactory(const CNbJsArrayFactory&) = delete;
    CNbJsArrayFactory& operator=(const CNbJsArrayFactory&) = delete;
    ~CNbJsArrayFactory() { UnlockModule(); }

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid != IID_IUnknown && iid != IID_IClassFactory) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override {
        const ULONG remaining = --m_references;
        if (remaining == 0) delete this;
        return remaining;
    }

    // The array cannot be aggregated: it answers its interfaces itself.
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return CNbJsArray::CreateInstance(iid, object);
    }
    HRESULT LockServer(BOOL lock) override {
        if (lock)
            LockModule();
        else
            UnlockModule();
        return S_OK;
    }

   private:
    ULONG m_references = 0;
};

}  // namespace

HRESULT CreateJsArrayClassObject(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    auto* factory = new (std::nothrow) CNbJsArrayFactory();
    if (!factory) return E_OUTOFMEMORY;
    factory->AddRef();
    const HRESULT hr = factory->QueryInterface(iid, object);
    factory->Release();
    return hr;
}

}  // namespace nb::utils
