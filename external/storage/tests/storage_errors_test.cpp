// Every count, kind and value error of the six functions, with its code,
// message and source, in the order the checks run: a case that breaks two
// rules shows which check comes first.
#include <string>

#include "external/storage/tests/storage_fixture.h"

namespace nb::external::testing {
namespace {

using nlohmann::json;

struct ErrorCase {
    const char* function;
    std::string args;  // JSON
    int code;
    const char* message;  // after "Catastrophic: "
};

class StorageErrors : public StorageFixture {
   protected:
    void SetUp() override {
        WriteStored(HKEY_CURRENT_USER, u"Software\\Storage", u"there", {REG_DWORD, {1, 0, 0, 0}});
    }
};

std::string Source(const std::string& function) {
    // The jar reader has always reported under this spelling.
    return "External::" + (function == "GetJarVal" ? std::string("GetJatVal") : function);
}

TEST_F(StorageErrors, AreReportedWithTheirCodeMessageAndSource) {
    const std::string long_name(16384, 'n');  // one character more than a value name may have
    const char* const count = "Bad parameters count";
    const char* const kind = "Type mismatch";
    const char* const root = "Invalid RootKey";
    const char* const empty = "SubKey is empty";
    const ErrorCase cases[] = {
        {"GetRegVal", R"([4002, "Software\\Storage"])", 2100, count},
        {"GetRegVal", R"([4002, "Software\\Storage", "there", 1])", 2100, count},
        {"GetRegVal", R"(["4002", "Software\\Storage", "there"])", 2101, kind},
        {"GetRegVal", R"([4002, 7, "there"])", 2101, kind},
        {"GetRegVal", R"([4002, "Software\\Storage", true])", 2101, kind},
        {"GetRegVal", R"([4000, "", "there"])", 2104, root},
        {"GetRegVal", R"([4005, "Software\\Storage", "there"])", 2104, root},
        {"GetRegVal", R"([4002, "", "there"])", 2104, empty},
        {"GetRegVal", R"([4004, null, "there"])", 2104, empty},
        {"GetRegVal", R"([4002, "Software\\Missing", "there"])", 3101, "Cannot open SubKey"},
        {"GetRegVal", R"([4003, "Software\\Storage", "there"])", 3101, "Cannot open SubKey"},
        {"GetRegVal", R"([4002, "Software\\Storage", "missing"])", 3103, "Cannot get ValName"},
        {"GetRegVal", R"([4002, "Software\\Storage", null])", 3103, "Cannot get ValName"},

        {"SetRegVal", R"([4002, "Software\\Storage", "v", 5])", 2100, count},
        {"SetRegVal", R"([4002, "Software\\Storage", "v", 5, 4010, 0])", 2100, count},
        {"SetRegVal", R"([4002, "Software\\Storage", 1, 5, 4010])", 2101, kind},
        {"SetRegVal", R"([4002, "Software\\Storage", "v", 5, "4010"])", 2101, kind},
        {"SetRegVal", R"([4002, "Software\\Storage", "v", 5, 4010.5])", 2101, kind},
        // The type is looked at before the data and the root.
        {"SetRegVal", R"([4999, "Software\\Storage", "v", "five", 4013])", 2104, "Invalid ValType"},
        {"SetRegVal", R"([4002, "Software\\Storage", "v", 5, 4009])", 2104, "Invalid ValType"},
        // The data must be of the type's kind, before the root is looked at.
        {"SetRegVal", R"([4999, "Software\\Storage", "v", "five", 4010])", 2101, kind},
        {"SetRegVal", R"([4002, "Software\\Storage", "v", 5.5, 4010])", 2101, kind},
        {"SetRegVal", R"([4002, "Software\\Storage", "v", 5, 4011])", 2101, kind},
        {"SetRegVal", R"([4002, "Software\\Storage", "v", "a", 4012])", 2101, kind},
        {"SetRegVal", R"([4002, "Software\\Storage", "v", ["a", 1], 4012])", 2101, kind},
        {"SetRegVal", R"([4002, "Software\\Storage", "v", ["a", ["b"]], 4012])", 2101, kind},
        {"SetRegVal", R"([4999, "Software\\Storage", "v", 5, 4010])", 2104, root},
        {"SetRegVal", R"([4002, "", "v", 5, 4010])", 2104, empty},
        {"SetRegVal", R"([4002, "\\Leading", "v", 5, 4010])", 3102, "Cannot create SubKey"},
        // The calling user's key is opened for reading only.
        {"SetRegVal", R"([4004, "Software\\Storage", "v", 5, 4010])", 3102, "Cannot create SubKey"},
        {"SetRegVal", R"([4002, "Software\\Storage", ")" + long_name + R"(", 5, 4010])", 3104,
         "Cannot set numeric ValData"},
        {"SetRegVal", R"([4002, "Software\\Storage", ")" + long_name + R"(", "x", 4011])", 3104,
         "Cannot set string ValData"},
        {"SetRegVal", R"([4002, "Software\\Storage", ")" + long_name + R"(", ["x"], 4012])", 3104,
         "Cannot set string ValData"},

        {"DelRegVal", R"([4002, "Software\\Storage"])", 2100, count},
        {"DelRegVal", R"([4002, "Software\\Storage", "there", "x"])", 2100, count},
        {"DelRegVal", R"([4002, "Software\\Storage", 3])", 2101, kind},
        {"DelRegVal", R"([null, "Software\\Storage", "there"])", 2101, kind},
        {"DelRegVal", R"([1, "Software\\Storage", "there"])", 2104, root},
        {"DelRegVal", R"([4001, "", "there"])", 2104, empty},
        {"DelRegVal", R"([4002, "Software\\Missing", "there"])", 3101, "Cannot open SubKey"},
        {"DelRegVal", R"([4002, "Software\\Storage", "missing"])", 3105, "Cannot delete ValName"},

        {"GetJarVal", R"(["section"])", 2100, count},
        {"GetJarVal", R"(["section", "key", "value"])", 2100, count},
        {"GetJarVal", R"([1, "key"])", 2101, kind},
        {"GetJarVal", R"(["section", false])", 2101, kind},
        {"GetJarVal", R"(["", ""])", 3100, "Jar section name cannot be empty"},
        {"GetJarVal", R"([null, "key"])", 3100, "Jar section name cannot be empty"},
        {"GetJarVal", R"(["section", ""])", 3101, "Jar key name cannot be empty"},
        {"GetJarVal", R"(["section", null])", 3101, "Jar key name cannot be empty"},

        {"SetJarVal", R"(["section", "key"])", 2100, count},
        {"SetJarVal", R"(["section", "key", "value", "more"])", 2100, count},
        {"SetJarVal", R"(["section", "key", 5])", 2101, kind},
        {"SetJarVal", R"(["", "key", "value"])", 3100, "Jar section name cannot be empty"},
        {"SetJarVal", R"(["section", "", "value"])", 3101, "Jar key name cannot be empty"},
        // Text that would not read back the same is refused by the profile.
        {"SetJarVal", R"(["section", "key", "two\nlines"])", 3102,
         "WritePrivateProfileString() failed"},
        {"SetJarVal", R"(["section", "[key", "value"])", 3102,
         "WritePrivateProfileString() failed"},

        {"DelJarVal", R"(["section"])", 2100, count},
        {"DelJarVal", R"(["section", "key", null])", 2100, count},
        {"DelJarVal", R"(["section", ["key"]])", 2101, kind},
        {"DelJarVal", R"(["", "key"])", 3100, "Jar section name cannot be empty"},
        {"DelJarVal", R"(["section", ""])", 3101, "Jar key name cannot be empty"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(std::string(c.function) + " " + c.args.substr(0, 80));
        const ProgramRun run = Nbrun(c.function, c.args);
        EXPECT_EQ(run.exit_code, 1) << run.errors;
        const json expected = {{"error",
                                {{"code", c.code},
                                 {"source", Source(c.function)},
                                 {"description", std::string("Catastrophic: ") + c.message}}}};
        EXPECT_EQ(run.lines, std::vector<json>{expected});
    }
    // Nothing was written by a call that failed.
    EXPECT_FALSE(ReadStored(HKEY_CURRENT_USER, u"Software\\Storage", u"v"));
    EXPECT_FALSE(std::filesystem::exists(Jar()));
}

// A jar that cannot be read or replaced reads as empty and refuses writes.
TEST_F(StorageErrors, AJarThatIsNoFileRefusesWrites) {
    std::filesystem::create_directory(Jar());
    EXPECT_EQ(Result("GetJarVal", R"(["section", "key"])"), "");
    for (const char* function : {"SetJarVal", "DelJarVal"}) {
        const ProgramRun run =
            Nbrun(function, function == std::string("SetJarVal") ? R"(["section", "key", "value"])"
                                                                 : R"(["section", "key"])");
        EXPECT_EQ(run.exit_code, 1);
        ASSERT_EQ(run.lines.size(), 1u) << run.output;
        EXPECT_EQ(run.lines[0]["error"]["code"], 3102) << function;
    }
}

}  // namespace
}  // namespace nb::external::testing
