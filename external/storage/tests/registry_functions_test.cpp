// EX_GetRegVal, EX_SetRegVal and EX_DelRegVal through nbrun, against what
// the registry itself holds.
#include <filesystem>
#include <string>

#include "external/frame/tests/shell_double.h"
#include "external/storage/tests/storage_fixture.h"
#include "platform/automation/com.h"
#include "platform/text/code_pages.h"

namespace nb::external::testing {
namespace {

using nlohmann::json;

constexpr char16_t kKey[] = u"Software\\Storage";

std::vector<BYTE> Utf16Bytes(std::u16string_view text) {
    std::vector<BYTE> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<BYTE>(c & 0xFF));
        bytes.push_back(static_cast<BYTE>(c >> 8));
    }
    return bytes;
}

class RegistryFunctions : public StorageFixture {};

// What a page writes is stored as the system stores it and reads back as
// the page wrote it.
TEST_F(RegistryFunctions, ValuesOfEachTypeRoundTrip) {
    const std::string long_text(700, 'L');  // more than the 510 bytes of a first guess
    struct Case {
        std::string name;
        std::string data;  // JSON
        int type_code;
        StoredValue stored;
        json read_back;
    };
    const Case cases[] = {
        {"Number", "5", 4010, {REG_DWORD, {5, 0, 0, 0}}, 5},
        {"Negative", "-2", 4010, {REG_DWORD, {0xFE, 0xFF, 0xFF, 0xFF}}, -2},
        {"Text",
         R"("h\u00e9llo")",
         4011,
         {REG_SZ, Utf16Bytes(u"h\u00e9llo" + std::u16string(1, 0))},
         "h\xC3\xA9llo"},
        {"Long",
         '"' + long_text + '"',
         4011,
         {REG_SZ, Utf16Bytes(ToUtf16(long_text) + std::u16string(1, 0))},
         long_text},
        // A null text is stored as the empty text.
        {"Nothing", "null", 4011, {REG_SZ, {0, 0}}, ""},
        {"Texts",
         R"(["a", "bc"])",
         4012,
         {REG_MULTI_SZ, Utf16Bytes(std::u16string(u"a\0bc\0\0", 6))},
         json::array({"a", "bc"})},
        // An empty array is one zero character.
        {"NoTexts", "[]", 4012, {REG_MULTI_SZ, {0, 0}}, json::array()},
        // A null element is an empty text, where reading stops.
        {"Stops",
         R"(["a", null, "b"])",
         4012,
         {REG_MULTI_SZ, Utf16Bytes(std::u16string(u"a\0\0b\0\0", 6))},
         json::array({"a"})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string target = R"([4002, "Software\\Storage", ")" + c.name + '"';
        EXPECT_EQ(
            Result("SetRegVal", target + ", " + c.data + ", " + std::to_string(c.type_code) + "]"),
            nullptr);
        EXPECT_EQ(ReadStored(HKEY_CURRENT_USER, kKey, ToUtf16(c.name)), c.stored);
        EXPECT_EQ(Result("GetRegVal", target + "]"), c.read_back);
    }
}

// Values written by other programs: every type reads as the page expects,
// text in whole characters and without needing its terminator.
TEST_F(RegistryFunctions, StoredValuesDecodeByType) {
    struct Case {
        std::u16string name;
        StoredValue stored;
        json read;
    };
    std::vector<BYTE> many(1000);
    for (std::size_t i = 0; i < many.size(); ++i) many[i] = static_cast<BYTE>(i);
    std::string many_hex;
    for (BYTE byte : many)
        many_hex += "0123456789ABCDEF"[byte >> 4], many_hex += "0123456789ABCDEF"[byte & 15];
    const Case cases[] = {
        {u"Binary", {REG_BINARY, {0x0A, 0xFF}}, "0AFF"},
        {u"NoBytes", {REG_BINARY, {}}, ""},
        {u"ManyBytes", {REG_BINARY, many}, many_hex},
        {u"Texts",
         {REG_MULTI_SZ, Utf16Bytes(std::u16string(u"a\0b\0\0", 5))},
         json::array({"a", "b"})},
        {u"Unterminated",
         {REG_MULTI_SZ, Utf16Bytes(std::u16string(u"a\0b", 3))},
         json::array({"a", "b"})},
        {u"NoTexts", {REG_MULTI_SZ, {}}, json::array()},
        {u"Short", {REG_DWORD, {0x34, 0x12}}, 0x1234},
        {u"Max", {REG_DWORD, {0xFF, 0xFF, 0xFF, 0x7F}}, 0x7FFFFFFF},
        {u"Bare", {REG_SZ, Utf16Bytes(u"abc")}, "abc"},
        {u"OddByte", {REG_SZ, {'a', 0, 'b', 0, 'c'}}, "ab"},
        {u"InnerZero", {REG_SZ, Utf16Bytes(std::u16string(u"ab\0cd", 5))}, "ab"},
        {u"Expand", {REG_EXPAND_SZ, Utf16Bytes(std::u16string(u"%HOME%\0", 7))}, "%HOME%"},
        {u"Quad", {REG_QWORD, {'h', 0, 'i', 0, 0, 0, 0, 0}}, "hi"},
    };
    for (const Case& c : cases) WriteStored(HKEY_CURRENT_USER, kKey, c.name, c.stored);
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.name));
        EXPECT_EQ(Result("GetRegVal", R"([4002, "Software\\Storage", ")" + ToUtf8(c.name) + "\"]"),
                  c.read);
    }
}

TEST_F(RegistryFunctions, NamesAreCaseInsensitiveAndNullNamesTheDefaultValue) {
    EXPECT_EQ(Result("SetRegVal", R"([4002, "Software\\Mixed\\Case", "Name", "first", 4011])"),
              nullptr);
    EXPECT_EQ(Result("GetRegVal", R"([4002, "SOFTWARE\\mixed\\CASE", "nAME"])"), "first");
    EXPECT_EQ(Result("SetRegVal", R"([4002, "software\\MIXED\\case", "NAME", "second", 4011])"),
              nullptr);
    EXPECT_EQ(ReadStored(HKEY_CURRENT_USER, u"Software\\Mixed\\Case", u"Name"),
              (StoredValue{REG_SZ, Utf16Bytes(std::u16string(u"second\0", 7))}));

    EXPECT_EQ(Result("SetRegVal", R"([4002, "Software\\Mixed", null, "default", 4011])"), nullptr);
    EXPECT_EQ(Result("GetRegVal", R"([4002, "Software\\Mixed", null])"), "default");
    EXPECT_EQ(Result("GetRegVal", R"([4002, "Software\\Mixed", ""])"), "default");
    EXPECT_EQ(Result("DelRegVal", R"([4002, "Software\\Mixed", null])"), nullptr);
    EXPECT_FALSE(ReadStored(HKEY_CURRENT_USER, u"Software\\Mixed", u""));
}

// 4001 to 4003 are stores of their own; 4004, the calling user's key, reads
// what 4002 holds.
TEST_F(RegistryFunctions, EachRootCodeNamesItsStore) {
    const struct {
        int code;
        HKEY root;
    } roots[] = {{4001, HKEY_CLASSES_ROOT}, {4002, HKEY_CURRENT_USER}, {4003, HKEY_LOCAL_MACHINE}};
    for (const auto& r : roots) {
        const std::string code = std::to_string(r.code);
        EXPECT_EQ(
            Result("SetRegVal", "[" + code + R"(, "Software\\Roots", "Code", )" + code + ", 4010]"),
            nullptr);
    }
    for (const auto& r : roots) {
        const std::optional<StoredValue> stored = ReadStored(r.root, u"Software\\Roots", u"Code");
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->bytes[0] | stored->bytes[1] << 8, r.code);
    }
    EXPECT_EQ(Result("GetRegVal", R"([4004, "Software\\Roots", "Code"])"), 4002);

    EXPECT_EQ(Result("DelRegVal", R"([4004, "Software\\Roots", "Code"])"), nullptr);
    EXPECT_FALSE(ReadStored(HKEY_CURRENT_USER, u"Software\\Roots", u"Code"));
    EXPECT_TRUE(ReadStored(HKEY_LOCAL_MACHINE, u"Software\\Roots", u"Code"));
}

// Without the script array class a list cannot be handed back. nbrun needs
// the class for the argument list itself, so this call is made as the shell
// makes it, from this process.
TEST(RegistryWithoutArrays, AListValueReportsTheArrayFailure) {
    TemporaryFolder folder;
    const ScopedVariable data_home("XDG_DATA_HOME", folder / "data");
    std::filesystem::create_directories(folder / "app/internals");
    ASSERT_TRUE(NbSetApplicationDirectory((folder / "app").c_str()));
    WriteStored(HKEY_CURRENT_USER, kKey, u"Texts",
                {REG_MULTI_SZ, Utf16Bytes(std::u16string(u"a\0\0", 3))});
    ShellDouble shell;
    const CallOutcome outcome =
        shell.Call(LoadExport("EX_GetRegVal"), {LONG{4002}, std::u16string(kKey), u"Texts"});
    NbSetApplicationDirectory(NB_TEST_APP_DIR);
    EXPECT_EQ(outcome.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(outcome.code, 2103);
    EXPECT_EQ(outcome.source, u"External::GetRegVal");
    EXPECT_EQ(outcome.description, u"Catastrophic: NB_ARRAY_CREATE() failed");
    EXPECT_EQ(outcome.result.type, VT_EMPTY);
}

}  // namespace
}  // namespace nb::external::testing
