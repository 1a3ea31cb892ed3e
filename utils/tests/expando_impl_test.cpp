// The reusable expando machinery on an interface other than the array's:
// built-in members walked from type information and its base, a successful
// construct request, and the put hooks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "platform/text/code_pages.h"
#include "utils/dispatch_ex_impl.h"

namespace nb::utils::testing {
namespace {

using ::testing::ElementsAre;

// Slot 15, after IUnknown, IDispatch and IDispatchEx.
struct ITestExpando : IDispatchEx {
    NB_INTERFACE(ITestExpando)
    virtual HRESULT Construct() = 0;
};

class TestExpando final : public IDispatchExImpl<ITestExpando> {
   public:
    static ComPtr<TestExpando> Create(ITypeInfo* info, HRESULT* hr) {
        auto object = ComPtr<TestExpando>::Attach(new TestExpando());
        *hr = object->AttachTypeInfo(info);
        return object;
    }

    HRESULT QueryInterface(REFIID iid, void** object) override {
        const bool answers = iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IDispatchEx;
        *object = answers ? static_cast<ITestExpando*>(this) : nullptr;
        if (!answers) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override {
        const ULONG remaining = --m_references;
        if (remaining == 0) delete this;
        return remaining;
    }
    HRESULT Construct() override {
        ++m_constructions;
        return S_OK;
    }

    int m_constructions = 0;
    std::vector<std::u16string> m_puts;

   private:
    TestExpando() = default;
    ~TestExpando() override = default;

    void CanPutMember(BSTR name, const VARIANT*, bool* allow) override {
        if (BstrView(name) == u"readonly") *allow = false;
    }
    void OnMemberPut(BSTR name, const VARIANT*) override { m_puts.emplace_back(BstrView(name)); }

    ULONG m_references = 1;
};

ComPtr<ITypeInfo> Describe(std::vector<METHODDATA> methods) {
    INTERFACEDATA description{methods.data(), static_cast<UINT>(methods.size())};
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(CreateDispTypeInfo(&description, LOCALE_SYSTEM_DEFAULT, info.Put()), S_OK);
    return info;
}

OLECHAR g_construct[] = u"construct";
OLECHAR g_own[] = u"own";
OLECHAR g_inherited[] = u"inherited";

METHODDATA Getter(OLECHAR* name, DISPID dispid) {
    return {name, nullptr, dispid, 15, CC_STDCALL, 0, DISPATCH_PROPERTYGET, VT_VARIANT};
}

std::vector<DISPID> EnumerateAll(IDispatchEx* object) {
    std::vector<DISPID> dispids;
    DISPID dispid = DISPID_STARTENUM;
    while (object->GetNextDispID(fdexEnumAll, dispid, &dispid) == S_OK) dispids.push_back(dispid);
    return dispids;
}

DISPID Ensure(IDispatchEx* object, std::u16string_view name) {
    Bstr text(name);
    DISPID dispid = DISPID_UNKNOWN;
    EXPECT_EQ(object->GetDispID(text.Get(), fdexNameEnsure, &dispid), S_OK);
    return dispid;
}

// Type information with a name and, optionally, one base interface; the
// rest is answered by the described type information it wraps.
class LayeredTypeInfo final : public ITypeInfo {
   public:
    LayeredTypeInfo(ComPtr<ITypeInfo> own, std::u16string name, ComPtr<ITypeInfo> base)
        : m_own(std::move(own)), m_name(std::move(name)), m_base(std::move(base)) {}
    virtual ~LayeredTypeInfo() = default;

    HRESULT GetTypeAttr(TYPEATTR** attributes) override {
        const HRESULT hr = m_own->GetTypeAttr(attributes);
        if (SUCCEEDED(hr)) (*attributes)->cImplTypes = m_base ? 1 : 0;
        return hr;
    }
    HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* reference) override {
        if (index != 0 || !m_base) return TYPE_E_ELEMENTNOTFOUND;
        *reference = kBaseReference;
        return S_OK;
    }
    HRESULT GetRefTypeInfo(HREFTYPE reference, ITypeInfo** info) override {
        if (reference != kBaseReference || !m_base) return TYPE_E_ELEMENTNOTFOUND;
        *info = ComPtr<ITypeInfo>(m_base).Detach();
        return S_OK;
    }
    HRESULT GetDocumentation(MEMBERID member, BSTR* name, BSTR* doc, DWORD* context,
                             BSTR* file) override {
        if (member != MEMBERID_NIL)
            return m_own->GetDocumentation(member, name, doc, context, file);
        *name = Bstr(m_name).Detach();
        return S_OK;
    }

    HRESULT QueryInterface(REFIID iid, void** object) override {
        *object = iid == IID_IUnknown || iid == IID_ITypeInfo ? this : nullptr;
        if (!*object) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override {
        const ULONG remaining = --m_references;
        if (remaining == 0) delete this;
        return remaining;
    }
    HRESULT GetTypeComp(ITypeComp** comp) override { return m_own->GetTypeComp(comp); }
    HRESULT GetFuncDesc(UINT index, FUNCDESC** description) override {
        return m_own->GetFuncDesc(index, description);
    }
    HRESULT GetVarDesc(UINT index, VARDESC** description) override {
        return m_own->GetVarDesc(index, description);
    }
    HRESULT GetNames(MEMBERID member, BSTR* names, UINT max, UINT* count) override {
        return m_own->GetNames(member, names, max, count);
    }
    HRESULT GetImplTypeFlags(UINT index, INT* flags) override {
        return m_own->GetImplTypeFlags(index, flags);
    }
    HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* members) override {
        return m_own->GetIDsOfNames(names, count, members);
    }
    HRESULT Invoke(PVOID instance, MEMBERID member, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, UINT* argument_error) override {
        return m_own->Invoke(instance, member, flags, params, result, exception, argument_error);
    }
    HRESULT GetDllEntry(MEMBERID member, INVOKEKIND kind, BSTR* dll, BSTR* name,
                        WORD* ordinal) override {
        return m_own->GetDllEntry(member, kind, dll, name, ordinal);
    }
    HRESULT AddressOfMember(MEMBERID member, INVOKEKIND kind, PVOID* address) override {
        return m_own->AddressOfMember(member, kind, address);
    }
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, PVOID* object) override {
        return m_own->CreateInstance(outer, iid, object);
    }
    HRESULT GetMops(MEMBERID member, BSTR* mops) override { return m_own->GetMops(member, mops); }
    HRESULT GetContainingTypeLib(ITypeLib** library, UINT* index) override {
        return m_own->GetContainingTypeLib(library, index);
    }
    void ReleaseTypeAttr(TYPEATTR* attributes) override { m_own->ReleaseTypeAttr(attributes); }
    void ReleaseFuncDesc(FUNCDESC* description) override { m_own->ReleaseFuncDesc(description); }
    void ReleaseVarDesc(VARDESC* description) override { m_own->ReleaseVarDesc(description); }

   private:
    static constexpr HREFTYPE kBaseReference = 1;

    ComPtr<ITypeInfo> m_own;
    std::u16string m_name;
    ComPtr<ITypeInfo> m_base;
    ULONG m_references = 1;
};

struct BaseCase {
    std::u16string base_name;
    std::vector<DISPID> built_ins;
    DISPID next_dynamic;
};
void PrintTo(const BaseCase& c, std::ostream* os) { *os << "base " << ToUtf8(c.base_name); }

class BaseInterfaceWalk : public ::testing::TestWithParam<BaseCase> {};

TEST_P(BaseInterfaceWalk, AddsBaseMembersUnlessTheBaseIsARootInterface) {
    // The base repeats DISPID 5, which must not become a second member.
    auto base = ComPtr<ITypeInfo>::Attach(new LayeredTypeInfo(
        Describe({Getter(g_inherited, 9), Getter(g_own, 5)}), GetParam().base_name, nullptr));
    auto derived = ComPtr<ITypeInfo>::Attach(
        new LayeredTypeInfo(Describe({Getter(g_own, 5)}), u"ITestExpando", base));
    HRESULT hr = E_FAIL;
    ComPtr<TestExpando> object = TestExpando::Create(derived.Get(), &hr);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(EnumerateAll(object.Get()), GetParam().built_ins);
    EXPECT_EQ(Ensure(object.Get(), u"dynamic"), GetParam().next_dynamic);
}

INSTANTIATE_TEST_SUITE_P(Bases, BaseInterfaceWalk,
                         ::testing::Values(BaseCase{u"IDispatch", {5}, 6},
                                           BaseCase{u"idispatchex", {5}, 6},
                                           BaseCase{u"IUNKNOWN", {5}, 6},
                                           BaseCase{u"IBase", {5, 9}, 10}));

TEST(ExpandoConstruct, FirstConstructRunsTheConstructorAndAnswersTheObject) {
    ComPtr<ITypeInfo> info = Describe(
        {{g_construct, nullptr, DISPID_CONSTRUCTOR, 15, CC_STDCALL, 0, DISPATCH_METHOD, VT_EMPTY}});
    HRESULT hr = E_FAIL;
    ComPtr<TestExpando> object = TestExpando::Create(info.Get(), &hr);
    ASSERT_EQ(hr, S_OK);
    Variant result;
    ASSERT_EQ(
        object->InvokeEx(DISPID_VALUE, 0, DISPATCH_CONSTRUCT, nullptr, &result, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(object->m_constructions, 1);
    ASSERT_EQ(result.vt, VT_DISPATCH);
    EXPECT_EQ(result.pdispVal, static_cast<IDispatch*>(object.Get()));

    ComPtr<TestExpando> second = TestExpando::Create(info.Get(), &hr);
    EXPECT_EQ(second->InvokeEx(DISPID_VALUE, 0, 0, nullptr, nullptr, nullptr, nullptr), E_POINTER);
    EXPECT_EQ(second->m_constructions, 1);
    // The constructor's negative DISPID sends the counter back to 0.
    EXPECT_EQ(Ensure(second.Get(), u"first"), 0);
}

TEST(ExpandoHooks, CanRefuseAPutAndHearOfTheOthers) {
    ComPtr<ITypeInfo> info = Describe({Getter(g_own, 5)});
    HRESULT hr = E_FAIL;
    ComPtr<TestExpando> object = TestExpando::Create(info.Get(), &hr);
    ASSERT_EQ(hr, S_OK);
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = 1;
    DISPPARAMS params{&value, nullptr, 1, 0};
    const DISPID readonly = Ensure(object.Get(), u"readonly");
    const DISPID writable = Ensure(object.Get(), u"writable");
    EXPECT_EQ(
        object->InvokeEx(readonly, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr),
        E_ACCESSDENIED);
    EXPECT_EQ(
        object->InvokeEx(writable, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr),
        S_OK);
    EXPECT_THAT(object->m_puts, ElementsAre(u"writable"));
    Variant stored;
    DISPPARAMS none{};
    ASSERT_EQ(object->InvokeEx(readonly, 0, DISPATCH_PROPERTYGET, &none, &stored, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(stored.vt, VT_EMPTY);
}

}  // namespace
}  // namespace nb::utils::testing
