// The built nbreg program on a private registry, one command after another
// as a person would type them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "external/storage/tests/storage_fixture.h"

namespace nb::external::testing {
namespace {

struct Step {
    std::vector<std::string> arguments;
    int exit_code;
    std::string output;  // standard output, exactly
    std::string error;   // a part of standard error
};

class Nbreg : public ::testing::Test {
   protected:
    ProgramRun Run(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), NB_NBREG_PROGRAM);
        return RunProgram(arguments);
    }

   private:
    TemporaryFolder m_folder;
    ScopedVariable m_data_home{"XDG_DATA_HOME", m_folder / "data"};
};

TEST_F(Nbreg, SetsListsGetsAndDeletesValues) {
    const char* const key = "Software\\Vendor";
    const Step steps[] = {
        {{"set", "HKCU", key, "Count", "--dword", "5"}, 0, "", ""},
        {{"set", "hkcu", "software\\VENDOR", "Name", "--sz", "Ann Lee"}, 0, "", ""},
        {{"set", "HKEY_CURRENT_USER", key, "Names", "--multi", "a", "b c"}, 0, "", ""},
        {{"set", "HKCU", key, "Bytes", "--binary", "0aff"}, 0, "", ""},
        {{"set", "HKCU", key, "Signed", "--dword", "0xFFFFFFFE"}, 0, "", ""},
        {{"set", "HKCU", "Software\\Vendor\\Sub", "--expand-sz", "%HOME%"}, 0, "", ""},
        {{"get", "HKCU", key, "count"}, 0, "5\n", ""},
        {{"get", "HKCU", key, "Signed"}, 0, "-2\n", ""},
        {{"get", "HKCU", key, "Names"}, 0, "a\nb c\n", ""},
        {{"get", "HKCU", key, "Bytes"}, 0, "0AFF\n", ""},
        {{"get", "HKCU", "Software\\Vendor\\Sub"}, 0, "%HOME%\n", ""},
        {{"list", "HKCU"}, 0, "Software\\\n", ""},
        {{"list", "HKCU", key},
         0,
         "Sub\\\n"
         "Bytes\tREG_BINARY\t0AFF\n"
         "Count\tREG_DWORD\t5\n"
         "Name\tREG_SZ\tAnn Lee\n"
         "Names\tREG_MULTI_SZ\ta\\0b c\n"
         "Signed\tREG_DWORD\t-2\n",
         ""},
        {{"list", "HKCU", "Software\\Vendor\\Sub"}, 0, "(default)\tREG_EXPAND_SZ\t%HOME%\n", ""},
        {{"delete", "HKCU", key, "Count"}, 0, "", ""},
        {{"get", "HKCU", key, "Count"}, 1, "", "HKCU\\Software\\Vendor Count: not found"},
        {{"delete", "HKCU", key, "Count"}, 1, "", "not found"},
        {{"delete", "HKCU", "Software\\Vendor\\Sub"}, 0, "", ""},
        {{"get", "HKLM", key, "Name"}, 1, "", "HKLM\\Software\\Vendor Name: not found"},
        {{"list", "HKCU", "Software\\Missing"}, 1, "", "not found"},
        {{"set", "HKCU", "\\Leading", "N", "--sz", "x"}, 1, "", "error 161"},
    };
    for (const Step& step : steps) {
        std::string shown;
        for (const std::string& argument : step.arguments) shown += " " + argument;
        SCOPED_TRACE(shown);
        const ProgramRun run = Run(step.arguments);
        EXPECT_EQ(run.exit_code, step.exit_code) << run.errors;
        EXPECT_EQ(run.output, step.output);
        EXPECT_NE(run.errors.find(step.error), std::string::npos) << run.errors;
    }
}

TEST_F(Nbreg, BadUsageExitsWith2AndTheUsage) {
    const std::vector<std::string> bad[] = {
        {},
        {"list"},
        {"frobnicate", "HKCU"},
        {"get", "HKXX", "Software"},
        {"get", "HKCU"},
        {"get", "HKCU", "Software", "Name", "extra"},
        {"set", "HKCU", "Software", "Name"},
        {"set", "HKCU", "Software", "Name", "--sz"},
        {"set", "HKCU", "Software", "Name", "--sz", "a", "b"},
        {"set", "HKCU", "Software", "Name", "--dword", "five"},
        {"set", "HKCU", "Software", "Name", "--dword", "4294967296"},
        {"set", "HKCU", "Software", "Name", "--binary", "ABC"},
        {"set", "HKCU", "Software", "Name", "--float", "1"},
        {"delete", "HKCU"},
    };
    for (const std::vector<std::string>& arguments : bad) {
        const ProgramRun run = Run(arguments);
        EXPECT_EQ(run.exit_code, 2) << arguments.size();
        EXPECT_NE(run.errors.find("usage: nbreg"), std::string::npos);
        EXPECT_EQ(run.output, "");
    }
    // Nothing was written by a refused command.
    const ProgramRun listing = Run({"list", "HKCU"});
    EXPECT_EQ(listing.exit_code, 0);
    EXPECT_EQ(listing.output, "");

    const ProgramRun help = Run({"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_TRUE(help.output.starts_with("usage: nbreg list ROOT [KEY]\n"));
}

}  // namespace
}  // namespace nb::external::testing
