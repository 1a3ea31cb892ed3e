// InvokeEx on the script array: argument checks, construct requests, the
// built-in `length` and calls to functions stored in members.
#include <ostream>
#include <vector>

#include "utils/tests/js_array_fixture.h"
#include "utils/tests/test_callee.h"

namespace nb::utils::testing {
namespace {

using ::testing::ElementsAre;

TEST_F(JsArrayTest, PropertyGetNeedsAResultSlotAndNoArguments) {
    const DISPID zero = AddElement(u"0", 5);
    VARIANT argument = I4(1);
    DISPPARAMS one_argument{&argument, nullptr, 1, 0};
    for (DISPID dispid : {zero, kLength}) {
        Variant value;
        EXPECT_EQ(m_array->InvokeEx(dispid, 0, DISPATCH_PROPERTYGET, &one_argument, &value, nullptr,
                                    nullptr),
                  E_INVALIDARG);
        EXPECT_EQ(
            m_array->InvokeEx(dispid, 0, DISPATCH_PROPERTYGET, nullptr, nullptr, nullptr, nullptr),
            E_INVALIDARG);
    }
    Variant value;
    EXPECT_EQ(Get(99, &value), DISP_E_MEMBERNOTFOUND);
    // Null parameters are an empty argument list.
    EXPECT_EQ(m_array->InvokeEx(zero, 0, DISPATCH_PROPERTYGET, nullptr, &value, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(value.lVal, 5);
}

struct PutCase {
    UINT arguments;
    std::vector<DISPID> named;
    HRESULT hr;
};
void PrintTo(const PutCase& c, std::ostream* os) {
    *os << c.arguments << " arguments, " << c.named.size() << " named";
    if (!c.named.empty()) *os << " (" << c.named[0] << ")";
}

class PutArguments : public JsArrayTest, public ::testing::WithParamInterface<PutCase> {};

TEST_P(PutArguments, AcceptOneValueOrOneNamedPropertyPut) {
    const DISPID zero = Ensure(u"0");
    VARIANT values[] = {I4(7), I4(8)};
    std::vector<DISPID> named = GetParam().named;
    DISPPARAMS params{values, named.data(), GetParam().arguments, static_cast<UINT>(named.size())};
    EXPECT_EQ(m_array->InvokeEx(zero, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr),
              GetParam().hr);
    Variant stored;
    ASSERT_EQ(Get(zero, &stored), S_OK);
    // The first argument is the value stored.
    EXPECT_EQ(stored.vt, SUCCEEDED(GetParam().hr) ? VT_I4 : VT_EMPTY);
    if (SUCCEEDED(GetParam().hr)) {
        EXPECT_EQ(stored.lVal, 7);
    }
}

INSTANTIATE_TEST_SUITE_P(Lists, PutArguments,
                         ::testing::Values(PutCase{1, {}, S_OK},
                                           PutCase{1, {DISPID_PROPERTYPUT}, S_OK},
                                           PutCase{2, {DISPID_PROPERTYPUT}, S_OK},
                                           PutCase{0, {}, DISP_E_PARAMNOTOPTIONAL},
                                           PutCase{2, {}, DISP_E_PARAMNOTOPTIONAL},
                                           PutCase{2, {5}, DISP_E_PARAMNOTOPTIONAL}));

TEST_F(JsArrayTest, PutToAMissingMemberFails) {
    EXPECT_EQ(Put(99, I4(1)), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Length(), 0);
}

TEST_F(JsArrayTest, PutByReferenceStoresTheValue) {
    const DISPID zero = Ensure(u"0");
    Bstr text(u"text");
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = text.Get();
    DISPID put_name = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &put_name, 1, 1};
    ASSERT_EQ(
        m_array->InvokeEx(zero, 0, DISPATCH_PROPERTYPUTREF, &params, nullptr, nullptr, nullptr),
        S_OK);
    Variant stored;
    ASSERT_EQ(Get(zero, &stored), S_OK);
    ASSERT_EQ(stored.vt, VT_BSTR);
    // A copy: the caller keeps its string.
    EXPECT_NE(stored.bstrVal, text.Get());
    EXPECT_EQ(std::u16string_view(stored.bstrVal, SysStringLen(stored.bstrVal)), u"text");
}

TEST_F(JsArrayTest, IDispatchInvokeReachesTheSameMembers) {
    const DISPID zero = AddElement(u"0", 3);
    Variant value;
    UINT argument_error = 99;
    DISPPARAMS none{};
    ASSERT_EQ(m_array->Invoke(zero, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr,
                              &argument_error),
              S_OK);
    EXPECT_EQ(argument_error, 0u);
    EXPECT_EQ(value.lVal, 3);
    ASSERT_EQ(m_array->Invoke(kLength, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr,
                              nullptr),
              S_OK);
    EXPECT_EQ(value.vt, VT_I4);
    EXPECT_EQ(value.lVal, 1);
}

TEST_F(JsArrayTest, OnlyTheFirstConstructRequestReachesTheTypeInformation) {
    Variant result;
    // INbJsArray declares no constructor: the type information refuses.
    EXPECT_EQ(
        m_array->InvokeEx(DISPID_VALUE, 0, DISPATCH_CONSTRUCT, nullptr, &result, nullptr, nullptr),
        DISP_E_MEMBERNOTFOUND);
    // Later requests name no get, put or call: nothing handles them.
    EXPECT_EQ(
        m_array->InvokeEx(DISPID_VALUE, 0, DISPATCH_CONSTRUCT, nullptr, &result, nullptr, nullptr),
        E_FAIL);
    EXPECT_EQ(m_array->InvokeEx(kLength, 0, 0, nullptr, &result, nullptr, nullptr), E_FAIL);
    EXPECT_EQ(result.vt, VT_EMPTY);
}

TEST_F(JsArrayTest, CallsWithoutAnyKindAreConstructRequests) {
    Variant result;
    EXPECT_EQ(m_array->InvokeEx(kLength, 0, 0, nullptr, &result, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(
        m_array->InvokeEx(DISPID_VALUE, 0, DISPATCH_CONSTRUCT, nullptr, &result, nullptr, nullptr),
        E_FAIL);
}

struct StoredCallCase {
    CalleeKind kind;
    bool caller_names_this;
    CalledThrough through;
};
void PrintTo(const StoredCallCase& c, std::ostream* os) {
    *os << (c.kind == CalleeKind::kDispatchEx ? "IDispatchEx" : "IDispatch")
        << (c.caller_names_this ? " callee, caller names this" : " callee");
}

class StoredFunction : public JsArrayTest, public ::testing::WithParamInterface<StoredCallCase> {};

TEST_P(StoredFunction, IsCalledWithTheArrayAsThisWhenItCanTakeOne) {
    const StoredCallCase& c = GetParam();
    auto* callee = new RecordingCallee(c.kind);
    VARIANT function;
    VariantInit(&function);
    function.vt = VT_DISPATCH;
    function.pdispVal = callee;
    const DISPID member = AddElement(u"f", 0);
    ASSERT_EQ(Put(member, function), S_OK);
    callee->Release();  // the array holds it now

    VARIANT arguments[] = {I4(20), I4(10)};
    DISPID this_name = DISPID_THIS;
    DISPPARAMS params{arguments, c.caller_names_this ? &this_name : nullptr, 2,
                      c.caller_names_this ? 1u : 0u};
    Variant result;
    ASSERT_EQ(
        m_array->InvokeEx(member, 0x0409, DISPATCH_METHOD, &params, &result, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, RecordingCallee::kResult);

    Variant stored;
    ASSERT_EQ(Get(member, &stored), S_OK);
    const RecordedCall& call = static_cast<RecordingCallee*>(stored.pdispVal)->Call();
    EXPECT_EQ(call.through, c.through);
    EXPECT_EQ(call.dispid, DISPID_VALUE);
    EXPECT_EQ(call.flags, DISPATCH_METHOD);
    if (c.through == CalledThrough::kInvokeEx) {
        EXPECT_EQ(call.locale, LOCALE_USER_DEFAULT);
        EXPECT_THAT(call.argument_types, ElementsAre(VT_DISPATCH, VT_I4, VT_I4));
        EXPECT_EQ(call.argument_objects[0], static_cast<IDispatch*>(m_array.Get()));
        EXPECT_THAT(call.named, ElementsAre(DISPID_THIS));
    } else {
        // The caller's own parameters, untouched.
        EXPECT_EQ(call.locale, 0x0409u);
        EXPECT_EQ(call.params, &params);
        EXPECT_EQ(call.argument_types.size(), 2u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Callees, StoredFunction,
    ::testing::Values(StoredCallCase{CalleeKind::kDispatchEx, false, CalledThrough::kInvokeEx},
                      StoredCallCase{CalleeKind::kDispatchEx, true, CalledThrough::kInvoke},
                      StoredCallCase{CalleeKind::kPlainDispatch, false, CalledThrough::kInvoke}));

TEST_F(JsArrayTest, OnlyNonNullDispatchValuesCanBeCalled) {
    Bstr text(u"f");
    VARIANT string_value;
    VariantInit(&string_value);
    string_value.vt = VT_BSTR;
    string_value.bstrVal = text.Get();
    VARIANT null_object;
    VariantInit(&null_object);
    null_object.vt = VT_DISPATCH;
    null_object.pdispVal = nullptr;
    const DISPID number = AddElement(u"number", 5);
    const DISPID string = Ensure(u"string");
    ASSERT_EQ(Put(string, string_value), S_OK);
    const DISPID empty = Ensure(u"empty");
    const DISPID null = Ensure(u"null");
    ASSERT_EQ(Put(null, null_object), S_OK);
    DISPPARAMS none{};
    for (DISPID dispid : {number, string, empty, null}) {
        Variant result;
        EXPECT_EQ(m_array->InvokeEx(dispid, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr),
                  DISP_E_TYPEMISMATCH)
            << dispid;
    }
    ASSERT_EQ(m_array->DeleteMemberByDispID(number), S_OK);
    for (DISPID dispid : {number, DISPID(99)})
        EXPECT_EQ(m_array->InvokeEx(dispid, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
                  DISP_E_MEMBERNOTFOUND);
}

TEST_F(JsArrayTest, LaterKindsDecideWhenSeveralAreAsked) {
    auto* callee = new RecordingCallee(CalleeKind::kDispatchEx);
    VARIANT function;
    VariantInit(&function);
    function.vt = VT_DISPATCH;
    function.pdispVal = callee;
    const DISPID member = Ensure(u"f");
    ASSERT_EQ(Put(member, function), S_OK);
    callee->Release();
    // A script call usually asks for "method or property get": the call wins.
    Variant result;
    DISPPARAMS none{};
    ASSERT_EQ(m_array->InvokeEx(member, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, &result,
                                nullptr, nullptr),
              S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, RecordingCallee::kResult);
    EXPECT_EQ(callee->Call().flags, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
}

}  // namespace
}  // namespace nb::utils::testing
