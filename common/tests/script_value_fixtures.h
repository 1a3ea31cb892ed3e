// Test helpers for script values: a recorder of message boxes and a fake
// expando object that records how it is called and answers from a table.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/automation.h"
#include "platform/ui/message_box.h"

namespace nb::testing {

struct ShownBox {
    bool has_owner;
    std::u16string text;
    std::u16string caption;
    UINT type;
};

// Records every message box while it lives instead of showing it.
class MessageBoxRecorder {
   public:
    MessageBoxRecorder() : m_previous(NbSetMessageBoxPresenter(&Record)) { Boxes().clear(); }
    ~MessageBoxRecorder() { NbSetMessageBoxPresenter(m_previous); }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    const std::vector<ShownBox>& boxes() const { return Boxes(); }

   private:
    static std::vector<ShownBox>& Boxes() {
        static std::vector<ShownBox> boxes;
        return boxes;
    }
    static int Record(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
        Boxes().push_back({owner != nullptr, text ? text : u"", caption ? caption : u"", type});
        return IDOK;
    }

    MessageBoxPresenter m_previous;
};

// Points class creation at the built application directory while it lives.
class ApplicationDirectory {
   public:
    explicit ApplicationDirectory(const char* path = NB_TEST_APP_DIR) {
        EXPECT_TRUE(NbSetApplicationDirectory(path));
    }
    ~ApplicationDirectory() { NbSetApplicationDirectory(NB_TEST_APP_DIR); }
};

// One call of InvokeEx as the fake saw it.
struct RecordedPut {
    std::u16string name;
    DWORD ensure_flags;
    LCID locale;
    WORD flags;
    UINT arguments;
    UINT named_arguments;
    DISPID first_named;
    VARTYPE type;
    bool has_result, has_exception, has_caller;
};

// An expando object owned by the test. Properties set with SetProperty are
// answered by GetIDsOfNames and Invoke; puts are recorded, not stored.
class FakeExpando final : public IDispatchEx {
   public:
    enum class Interfaces { WithDispatchEx, DispatchOnly };

    explicit FakeExpando(Interfaces interfaces = Interfaces::WithDispatchEx)
        : m_offers_dispatch_ex(interfaces == Interfaces::WithDispatchEx) {}
    virtual ~FakeExpando() = default;

    HRESULT get_dispid_answer = S_OK;
    HRESULT invoke_ex_answer = S_OK;
    std::vector<RecordedPut> puts;
    std::vector<LCID> lookup_locales;
    std::vector<LCID> invoke_locales;

    void SetProperty(const std::u16string& name, const VARIANT& value) {
        auto stored = std::make_unique<nb::Variant>();
        EXPECT_EQ(VariantCopy(stored.get(), &value), S_OK);
        m_properties[name] = std::move(stored);
    }
    void SetLength(LONG length) {
        VARIANT value{};
        value.vt = VT_I4;
        value.lVal = length;
        SetProperty(u"length", value);
    }
    ULONG references() const { return m_references; }

    HRESULT QueryInterface(REFIID iid, void** object) override {
        const bool ex = iid == IID_IDispatchEx && m_offers_dispatch_ex;
        if (iid == IID_IUnknown || iid == IID_IDispatch || ex) {
            *object = static_cast<IDispatchEx*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override { return --m_references; }
    HRESULT GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }

    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID locale,
                          DISPID* dispids) override {
        lookup_locales.push_back(locale);
        if (count != 1) return E_INVALIDARG;
        auto found = m_properties.find(names[0]);
        if (found == m_properties.end()) return *dispids = DISPID_UNKNOWN, DISP_E_UNKNOWNNAME;
        *dispids = static_cast<DISPID>(std::distance(m_properties.begin(), found)) + 1;
        return S_OK;
    }
    HRESULT Invoke(DISPID dispid, REFIID, LCID locale, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO*, UINT*) override {
        invoke_locales.push_back(locale);
        if (flags != DISPATCH_PROPERTYGET || params->cArgs != 0 || !result) return E_INVALIDARG;
        if (dispid < 1 || dispid > static_cast<DISPID>(m_properties.size()))
            return DISP_E_MEMBERNOTFOUND;
        return VariantCopy(result, std::next(m_properties.begin(), dispid - 1)->second.get());
    }

    HRESULT GetDispID(BSTR name, DWORD flags, DISPID* dispid) override {
        m_pending = {name ? name : u"", flags};
        *dispid = 100;
        return get_dispid_answer;
    }
    HRESULT InvokeEx(DISPID, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                     EXCEPINFO* exception, IServiceProvider* caller) override {
        puts.push_back({m_pending.name, m_pending.flags, locale, flags, params->cArgs,
                        params->cNamedArgs,
                        params->cNamedArgs ? params->rgdispidNamedArgs[0] : DISPID_UNKNOWN,
                        params->cArgs ? params->rgvarg[0].vt : VARTYPE{VT_EMPTY}, result != nullptr,
                        exception != nullptr, caller != nullptr});
        return invoke_ex_answer;
    }
    HRESULT DeleteMemberByName(BSTR, DWORD) override { return E_NOTIMPL; }
    HRESULT DeleteMemberByDispID(DISPID) override { return E_NOTIMPL; }
    HRESULT GetMemberProperties(DISPID, DWORD, DWORD*) override { return E_NOTIMPL; }
    HRESULT GetMemberName(DISPID, BSTR*) override { return E_NOTIMPL; }
    HRESULT GetNextDispID(DWORD, DISPID, DISPID*) override { return E_NOTIMPL; }
    HRESULT GetNameSpaceParent(IUnknown**) override { return E_NOTIMPL; }

   private:
    struct PendingName {
        std::u16string name;
        DWORD flags = 0;
    };

    bool m_offers_dispatch_ex;
    ULONG m_references = 1;
    PendingName m_pending;
    std::map<std::u16string, std::unique_ptr<nb::Variant>> m_properties;
};

// A VT_DISPATCH view of an object the test owns (no reference taken).
inline VARIANT DispatchOf(IDispatch* object) {
    VARIANT value{};
    value.vt = VT_DISPATCH;
    value.pdispVal = object;
    return value;
}

inline VARIANT IntegerValue(LONG number) {
    VARIANT value{};
    value.vt = VT_I4;
    value.lVal = number;
    return value;
}

}  // namespace nb::testing
