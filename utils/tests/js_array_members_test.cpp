// Members of the script array: DISPIDs, names, deletion, enumeration and the
// `length` derived from numeric names.
#include <ostream>
#include <string_view>
#include <vector>

#include "platform/text/code_pages.h"
#include "utils/tests/js_array_fixture.h"

namespace nb::utils::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST_F(JsArrayTest, NewArrayHasOnlyTheBuiltInLength) {
    EXPECT_EQ(Length(), 0);
    EXPECT_THAT(Enumerate(fdexEnumDefault), IsEmpty());
    EXPECT_THAT(Enumerate(fdexEnumAll), ElementsAre(kLength));
    // Only fdexEnumAll exactly shows built-in members.
    EXPECT_THAT(Enumerate(fdexEnumAll | fdexEnumDefault), IsEmpty());
}

TEST_F(JsArrayTest, ElementsGetDispidsInOrderOfFirstRequest) {
    EXPECT_EQ(AddElement(u"0", 10), 2);
    EXPECT_EQ(AddElement(u"1", 11), 3);
    EXPECT_EQ(AddElement(u"2", 12), 4);
    EXPECT_EQ(Length(), 3);
    EXPECT_EQ(Ensure(u"1"), 3);
    Variant value;
    ASSERT_EQ(Get(3, &value), S_OK);
    EXPECT_EQ(value.vt, VT_I4);
    EXPECT_EQ(value.lVal, 11);
}

TEST_F(JsArrayTest, EnumerationFollowsCreationOrderNotNumbers) {
    AddElement(u"5", 1);
    AddElement(u"name", 2);
    AddElement(u"0", 3);
    EXPECT_THAT(Enumerate(fdexEnumDefault), ElementsAre(2, 3, 4));
    EXPECT_THAT(Enumerate(fdexEnumAll), ElementsAre(kLength, 2, 3, 4));
    DISPID next = -1;
    // A DISPID not in the table starts over; the one after the last ends.
    EXPECT_EQ(m_array->GetNextDispID(fdexEnumDefault, 77, &next), S_OK);
    EXPECT_EQ(next, 2);
    EXPECT_EQ(m_array->GetNextDispID(fdexEnumDefault, 4, &next), S_FALSE);
    EXPECT_EQ(next, 0);
    EXPECT_EQ(m_array->GetNextDispID(fdexEnumDefault, 2, nullptr), E_POINTER);
}

struct LengthCase {
    std::vector<std::u16string_view> names;
    LONG length;
};
void PrintTo(const LengthCase& c, std::ostream* os) {
    for (std::u16string_view name : c.names) *os << '"' << ToUtf8(name) << "\" ";
    *os << "-> " << c.length;
}

class LengthFromNames : public JsArrayTest, public ::testing::WithParamInterface<LengthCase> {};

TEST_P(LengthFromNames, IsOneMoreThanTheLargestNumericName) {
    for (std::u16string_view name : GetParam().names) Ensure(name);
    EXPECT_EQ(Length(), GetParam().length);
}

INSTANTIATE_TEST_SUITE_P(
    Names, LengthFromNames,
    ::testing::Values(LengthCase{{u"0", u"5"}, 6}, LengthCase{{u"007"}, 8},
                      LengthCase{{u"1e3", u"-1", u"x", u" 1", u"+1", u"length"}, 0},
                      LengthCase{{u""}, 1}, LengthCase{{u"3", u"1"}, 4},
                      // Numbers wrap in 32 bits and compare unsigned.
                      LengthCase{{u"2147483647"}, LONG(0x80000000u)},
                      LengthCase{{u"4294967296"}, 1},
                      // 0xFFFFFFFF + 1 wraps to 0, so what follows it counts again.
                      LengthCase{{u"4294967295", u"3"}, 4}, LengthCase{{u"3", u"4294967295"}, 0}));

TEST_F(JsArrayTest, ShorterLengthDeletesElementsUntilAPutRevivesThem) {
    AddElement(u"0", 10);
    AddElement(u"1", 11);
    AddElement(u"2", 12);
    AddElement(u"x", 13);
    ASSERT_EQ(Put(kLength, I4(1)), S_OK);
    EXPECT_EQ(Length(), 1);
    EXPECT_THAT(Enumerate(fdexEnumDefault), ElementsAre(2, 5));

    DISPID dispid = 0;
    EXPECT_EQ(GetDispID(u"2", 0, &dispid), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(dispid, DISPID_UNKNOWN);
    // Ensure hands back the old DISPID but the member stays deleted.
    EXPECT_EQ(GetDispID(u"2", fdexNameEnsure, &dispid), S_OK);
    EXPECT_EQ(dispid, 4);
    EXPECT_EQ(Length(), 1);
    Variant value;
    ASSERT_EQ(Get(4, &value), S_OK);
    EXPECT_EQ(value.vt, VT_EMPTY);

    ASSERT_EQ(Put(4, I4(22)), S_OK);
    EXPECT_EQ(Length(), 3);
    EXPECT_THAT(Enumerate(fdexEnumDefault), ElementsAre(2, 4, 5));
}

TEST_F(JsArrayTest, LengthPutComparesUnsignedAndNeverAdds) {
    AddElement(u"0", 0);
    AddElement(u"4294967295", 1);
    ASSERT_EQ(Put(kLength, I4(10)), S_OK);
    EXPECT_THAT(Enumerate(fdexEnumDefault), ElementsAre(2));
    EXPECT_EQ(Length(), 1);
    // -1 is 0xFFFFFFFF: nothing is at or above it any more.
    ASSERT_EQ(Put(kLength, I4(-1)), S_OK);
    EXPECT_EQ(Length(), 1);
    ASSERT_EQ(Put(kLength, I4(0)), S_OK);
    EXPECT_EQ(Length(), 0);
}

TEST_F(JsArrayTest, LengthPutRejectsAnythingButI4) {
    AddElement(u"0", 0);
    AddElement(u"1", 1);
    VARIANT fraction;
    VariantInit(&fraction);
    fraction.vt = VT_R8;
    fraction.dblVal = 2.5;
    EXPECT_EQ(Put(kLength, fraction), E_FAIL);
    VARIANT by_reference = I4(0);
    LONG zero = 0;
    by_reference.vt = VT_I4 | VT_BYREF;
    by_reference.plVal = &zero;
    EXPECT_EQ(Put(kLength, by_reference), E_FAIL);
    EXPECT_EQ(Length(), 2);
    EXPECT_THAT(Enumerate(fdexEnumDefault), ElementsAre(2, 3));
}

struct LookupCase {
    std::u16string_view name;
    DWORD flags;
    HRESULT hr;
    DISPID dispid;
};
void PrintTo(const LookupCase& c, std::ostream* os) {
    *os << '"' << ToUtf8(c.name) << "\" flags " << c.flags << " -> " << c.dispid;
}

class NameLookup : public JsArrayTest, public ::testing::WithParamInterface<LookupCase> {
   protected:
    void SetUp() override {
        JsArrayTest::SetUp();
        ASSERT_EQ(Ensure(u"Item"), 2);
        // Differs from "Item" only in case: reachable only case-sensitively.
        ASSERT_EQ(GetDispID(u"item", fdexNameEnsure | fdexNameCaseSensitive, &m_lower), S_OK);
        ASSERT_EQ(Ensure(u"\u00C9t\u00E9"), 4);
    }
    DISPID m_lower = DISPID_UNKNOWN;
};

TEST_P(NameLookup, FollowsTheCaseRule) {
    const LookupCase& c = GetParam();
    DISPID dispid = 0;
    EXPECT_EQ(GetDispID(c.name, c.flags, &dispid), c.hr);
    EXPECT_EQ(dispid, c.dispid);
}

INSTANTIATE_TEST_SUITE_P(
    Names, NameLookup,
    ::testing::Values(
        LookupCase{u"LENGTH", 0, S_OK, kLength},
        LookupCase{u"LENGTH", fdexNameCaseInsensitive, S_OK, kLength},
        LookupCase{u"LENGTH", fdexNameCaseSensitive, DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
        LookupCase{u"length", fdexNameCaseSensitive, S_OK, kLength},
        // Case-insensitive lookups find the first member created.
        LookupCase{u"ITEM", 0, S_OK, 2}, LookupCase{u"item", 0, S_OK, 2},
        LookupCase{u"item", fdexNameCaseSensitive, S_OK, 3},
        LookupCase{u"\u00E9T\u00C9", 0, S_OK, 4},
        LookupCase{u"\u00E9T\u00C9", fdexNameCaseSensitive, DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
        LookupCase{u"Items", 0, DISP_E_UNKNOWNNAME, DISPID_UNKNOWN}));

TEST_F(JsArrayTest, NullAndEmptyNamesAreTheSameMember) {
    const DISPID empty = Ensure(u"");
    DISPID dispid = 0;
    EXPECT_EQ(m_array->GetDispID(nullptr, fdexNameCaseSensitive, &dispid), S_OK);
    EXPECT_EQ(dispid, empty);
    EXPECT_EQ(m_array->GetDispID(nullptr, 0, nullptr), E_POINTER);
}

TEST_F(JsArrayTest, GetIDsOfNamesWritesEverySlotAndReportsTheFirstFailure) {
    AddElement(u"0", 0);
    OLECHAR zero[] = u"0";
    OLECHAR missing[] = u"missing";
    OLECHAR upper_length[] = u"LENGTH";
    LPOLESTR names[] = {zero, missing, upper_length};
    DISPID dispids[] = {7, 7, 7};
    EXPECT_EQ(m_array->GetIDsOfNames(IID_NULL, names, 3, LOCALE_SYSTEM_DEFAULT, dispids),
              DISP_E_UNKNOWNNAME);
    EXPECT_THAT(dispids, ElementsAre(2, DISPID_UNKNOWN, kLength));
    // No creation here: the missing name stays missing.
    EXPECT_EQ(m_array->GetIDsOfNames(IID_NULL, names, 3, LOCALE_SYSTEM_DEFAULT, nullptr),
              E_POINTER);
    EXPECT_THAT(Enumerate(fdexEnumDefault), ElementsAre(2));
}

TEST_F(JsArrayTest, DeletingByNameOrDispidKeepsTheMemberRecord) {
    const DISPID zero = AddElement(u"0", 10);
    const DISPID one = AddElement(u"one", 11);
    EXPECT_EQ(m_array->DeleteMemberByDispID(zero), S_OK);
    Bstr upper_one(u"ONE");
    EXPECT_EQ(m_array->DeleteMemberByName(upper_one.Get(), fdexNameCaseSensitive), S_OK);
    EXPECT_THAT(Enumerate(fdexEnumDefault), ElementsAre(one));
    EXPECT_EQ(m_array->DeleteMemberByName(upper_one.Get(), 0), S_OK);
    EXPECT_THAT(Enumerate(fdexEnumDefault), IsEmpty());

    Bstr name;
    EXPECT_EQ(m_array->GetMemberName(zero, name.Put()), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(name.Get(), nullptr);
    // Unknown members delete without complaint.
    Bstr unknown(u"unknown");
    EXPECT_EQ(m_array->DeleteMemberByName(unknown.Get(), 0), S_OK);
    EXPECT_EQ(m_array->DeleteMemberByDispID(99), S_OK);
    // A revived member keeps its DISPID and its name.
    EXPECT_EQ(Put(zero, I4(5)), S_OK);
    EXPECT_EQ(m_array->GetMemberName(zero, name.Put()), S_OK);
    EXPECT_EQ(name.View(), u"0");
    EXPECT_EQ(Ensure(u"2"), 4);
}

TEST_F(JsArrayTest, LengthCannotBeDeleted) {
    AddElement(u"0", 0);
    Bstr length(u"length");
    EXPECT_EQ(m_array->DeleteMemberByName(length.Get(), 0), S_FALSE);
    EXPECT_EQ(m_array->DeleteMemberByDispID(kLength), S_FALSE);
    EXPECT_EQ(Length(), 1);
    Bstr name;
    EXPECT_EQ(m_array->GetMemberName(kLength, name.Put()), S_OK);
    EXPECT_EQ(name.View(), u"length");
}

TEST_F(JsArrayTest, EveryMemberReportsTheSameProperties) {
    const DISPID zero = AddElement(u"0", 0);
    for (DISPID dispid : {kLength, zero, DISPID(1000)}) {
        DWORD properties = 0;
        EXPECT_EQ(m_array->GetMemberProperties(dispid, 0xFFFFFFFF, &properties), S_OK);
        EXPECT_EQ(properties, 0x1515u);
    }
    EXPECT_EQ(m_array->GetMemberProperties(zero, 0, nullptr), E_POINTER);
    ComPtr<IUnknown> parent;
    EXPECT_EQ(m_array->GetNameSpaceParent(parent.Put()), E_NOTIMPL);
}

TEST_F(JsArrayTest, TypeInformationDescribesLength) {
    UINT count = 0;
    EXPECT_EQ(m_array->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(m_array->GetTypeInfoCount(nullptr), E_POINTER);
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(m_array->GetTypeInfo(1, 0, info.Put()), DISP_E_BADINDEX);
    ASSERT_EQ(m_array->GetTypeInfo(0, 0, info.Put()), S_OK);
    Bstr name;
    ASSERT_EQ(info->GetDocumentation(kLength, name.Put(), nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(name.View(), u"length");
}

}  // namespace
}  // namespace nb::utils::testing
