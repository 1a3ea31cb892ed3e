#include <gtest/gtest.h>

#include "platform/automation/automation.h"

namespace {

// An interface whose members are reached through described type information.
struct ICounter : IUnknown {
    NB_INTERFACE(ICounter)
    virtual HRESULT get_value(VARIANT* value) = 0;  // slot 3
    virtual HRESULT put_value(VARIANT value) = 0;   // slot 4
    virtual HRESULT reset() = 0;                    // slot 5
};

class Counter final : public ICounter {
   public:
    virtual ~Counter() = default;
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT get_value(VARIANT* value) override {
        value->vt = VT_I4;
        value->lVal = m_value;
        return S_OK;
    }
    HRESULT put_value(VARIANT value) override {
        if (value.vt != VT_I4) return E_FAIL;
        m_value = value.lVal;
        return S_OK;
    }
    HRESULT reset() override {
        m_value = 0;
        return S_OK;
    }
    LONG m_value = 3;
};

class TypeInfoTest : public ::testing::Test {
   protected:
    void SetUp() override {
        INTERFACEDATA description{m_methods, 3};
        ASSERT_EQ(CreateDispTypeInfo(&description, LOCALE_SYSTEM_DEFAULT, m_info.Put()), S_OK);
    }

    HRESULT Call(DISPID member, WORD flags, std::vector<VARIANT> arguments, VARIANT* result) {
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{arguments.data(), flags & DISPATCH_PROPERTYPUT ? &named : nullptr,
                          static_cast<UINT>(arguments.size()),
                          flags & DISPATCH_PROPERTYPUT ? 1u : 0u};
        return m_info->Invoke(static_cast<ICounter*>(&m_counter), member, flags, &params, result,
                              nullptr, nullptr);
    }

    PARAMDATA m_value_param{const_cast<OLECHAR*>(u"value"), VT_VARIANT};
    METHODDATA m_methods[3] = {
        {const_cast<OLECHAR*>(u"value"), nullptr, 7, 3, CC_CDECL, 0, DISPATCH_PROPERTYGET,
         VT_VARIANT},
        {const_cast<OLECHAR*>(u"value"), &m_value_param, 7, 4, CC_CDECL, 1, DISPATCH_PROPERTYPUT,
         VT_EMPTY},
        {const_cast<OLECHAR*>(u"reset"), nullptr, 8, 5, CC_CDECL, 0, DISPATCH_METHOD, VT_EMPTY},
    };
    nb::ComPtr<ITypeInfo> m_info;
    Counter m_counter;
};

TEST_F(TypeInfoTest, InvokesTheDescribedSlots) {
    nb::Variant value;
    ASSERT_EQ(Call(7, DISPATCH_PROPERTYGET, {}, &value), S_OK);
    EXPECT_EQ(value.vt, VT_I4);
    EXPECT_EQ(value.lVal, 3);

    VARIANT twelve;
    VariantInit(&twelve);
    twelve.vt = VT_I4;
    twelve.lVal = 12;
    ASSERT_EQ(Call(7, DISPATCH_PROPERTYPUT, {twelve}, nullptr), S_OK);
    EXPECT_EQ(m_counter.m_value, 12);

    VARIANT text;
    VariantInit(&text);
    text.vt = VT_R8;
    EXPECT_EQ(Call(7, DISPATCH_PROPERTYPUT, {text}, nullptr), E_FAIL);  // the callee's answer

    ASSERT_EQ(Call(8, DISPATCH_METHOD, {}, nullptr), S_OK);
    EXPECT_EQ(m_counter.m_value, 0);
}

TEST_F(TypeInfoTest, RefusesWhatItDoesNotDescribe) {
    nb::Variant value;
    EXPECT_EQ(Call(DISPID_CONSTRUCTOR, DISPATCH_METHOD, {}, &value), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(8, DISPATCH_PROPERTYGET, {}, &value), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(7, DISPATCH_PROPERTYGET, {value}, &value), DISP_E_BADPARAMCOUNT);
}

TEST_F(TypeInfoTest, DescribesItsFunctions) {
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(m_info->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->typekind, TKIND_INTERFACE);
    EXPECT_EQ(attributes->cFuncs, 3);
    EXPECT_EQ(attributes->cImplTypes, 0);
    m_info->ReleaseTypeAttr(attributes);

    FUNCDESC* function = nullptr;
    ASSERT_EQ(m_info->GetFuncDesc(1, &function), S_OK);
    EXPECT_EQ(function->memid, 7);
    EXPECT_EQ(function->invkind, INVOKE_PROPERTYPUT);
    EXPECT_EQ(function->cParams, 1);
    EXPECT_EQ(function->lprgelemdescParam[0].tdesc.vt, VT_VARIANT);
    EXPECT_EQ(function->oVft, 4 * static_cast<SHORT>(sizeof(void*)));
    m_info->ReleaseFuncDesc(function);
    EXPECT_EQ(m_info->GetFuncDesc(3, &function), TYPE_E_ELEMENTNOTFOUND);

    nb::Bstr name;
    ASSERT_EQ(m_info->GetDocumentation(8, name.Put(), nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(name.View(), u"reset");
    LPOLESTR names[] = {const_cast<OLECHAR*>(u"VALUE")};
    MEMBERID member = 0;
    EXPECT_EQ(m_info->GetIDsOfNames(names, 1, &member), S_OK);
    EXPECT_EQ(member, 7);
    HREFTYPE base = 0;
    EXPECT_EQ(m_info->GetRefTypeOfImplType(0, &base), TYPE_E_ELEMENTNOTFOUND);
}

TEST(CreateDispTypeInfo, RefusesUnsupportedSignatures) {
    PARAMDATA two[] = {{const_cast<OLECHAR*>(u"a"), VT_VARIANT},
                       {const_cast<OLECHAR*>(u"b"), VT_VARIANT}};
    METHODDATA method{
        const_cast<OLECHAR*>(u"pair"), two, 1, 3, CC_CDECL, 2, DISPATCH_METHOD, VT_EMPTY};
    INTERFACEDATA description{&method, 1};
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(CreateDispTypeInfo(&description, 0, &info), E_INVALIDARG);
    EXPECT_EQ(info, nullptr);
}

}  // namespace
