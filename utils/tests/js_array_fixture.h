// A fixture that creates a script array the way every deliverable does, with
// small helpers that speak IDispatchEx to it.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "platform/automation/automation.h"
#include "utils/nbutils.h"

namespace nb::utils::testing {

inline constexpr DISPID kLength = 1;

inline VARIANT I4(LONG value) {
    VARIANT variant;
    VariantInit(&variant);
    variant.vt = VT_I4;
    variant.lVal = value;
    return variant;
}

class JsArrayTest : public ::testing::Test {
   protected:
    void SetUp() override {
        ASSERT_TRUE(NbSetApplicationDirectory(NB_TEST_APP_DIR));
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        ASSERT_EQ(CoCreateInstance(CLSID_NbJsArray, nullptr, CLSCTX_INPROC_SERVER, IID_INbJsArray,
                                   m_array.PutVoid()),
                  S_OK);
    }
    void TearDown() override {
        m_array.Reset();
        CoUninitialize();
    }

    HRESULT GetDispID(std::u16string_view name, DWORD flags, DISPID* dispid) {
        Bstr text(name);
        return m_array->GetDispID(text.Get(), flags, dispid);
    }
    DISPID Ensure(std::u16string_view name) {
        DISPID dispid = DISPID_UNKNOWN;
        EXPECT_EQ(GetDispID(name, fdexNameEnsure, &dispid), S_OK);
        return dispid;
    }
    // A property put the way the common library and scripts send it: one
    // argument named DISPID_PROPERTYPUT.
    HRESULT Put(DISPID dispid, VARIANT value) {
        DISPID put_name = DISPID_PROPERTYPUT;
        DISPPARAMS params{&value, &put_name, 1, 1};
        return m_array->InvokeEx(dispid, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params,
                                 nullptr, nullptr, nullptr);
    }
    HRESULT Get(DISPID dispid, VARIANT* value) {
        DISPPARAMS none{};
        return m_array->InvokeEx(dispid, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, value,
                                 nullptr, nullptr);
    }
    DISPID AddElement(std::u16string_view name, LONG value) {
        const DISPID dispid = Ensure(name);
        EXPECT_EQ(Put(dispid, I4(value)), S_OK);
        return dispid;
    }
    LONG Length() {
        Variant length;
        EXPECT_EQ(Get(kLength, &length), S_OK);
        EXPECT_EQ(length.vt, VT_I4);
        return length.lVal;
    }
    std::vector<DISPID> Enumerate(DWORD flags) {
        std::vector<DISPID> dispids;
        DISPID dispid = DISPID_STARTENUM;
        while (m_array->GetNextDispID(flags, dispid, &dispid) == S_OK) dispids.push_back(dispid);
        EXPECT_EQ(dispid, 0);
        return dispids;
    }

    ComPtr<INbJsArray> m_array;
};

}  // namespace nb::utils::testing
