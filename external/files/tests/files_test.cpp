// File sizes, the temporary folder and the application folder, on real files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <ostream>

#include "common/error_report.h"
#include "external/frame/tests/shell_double.h"
#include "external/frame/tests/test_environment.h"
#include "platform/text/code_pages.h"

namespace nb::external::testing {
namespace {

class FileSizeTest : public ::testing::Test {
   protected:
    CallOutcome SizeOf(const TestValue& path) {
        return m_shell.Call(LoadExport("EX_FileSize"), {path});
    }
    // A file of that length whose content is a hole, so even gigabytes are cheap.
    std::u16string SparseFile(const std::string& name, off_t length) {
        const std::string path = m_folder / name;
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::ftruncate(fd, length), 0);
        ::close(fd);
        return ToUtf16(path);
    }

    ShellDouble m_shell;
    TemporaryFolder m_folder;
};

struct SizeCase {
    off_t length;
    LONG answer;  // the low 32 bits, as a signed integer
};
void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.length << " bytes"; }

class FileSizeOf : public FileSizeTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(FileSizeOf, IsTheLow32BitsOfTheLength) {
    const CallOutcome outcome = SizeOf(SparseFile("file", GetParam().length));
    ASSERT_EQ(outcome.hr, S_OK) << std::string(outcome.description.begin(),
                                               outcome.description.end());
    EXPECT_EQ(outcome.result.type, VT_I4);
    EXPECT_EQ(outcome.result.number, GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(Lengths, FileSizeOf,
                         ::testing::Values(SizeCase{0, 0}, SizeCase{12345, 12345},
                                           SizeCase{off_t{3} << 30, -(LONG{1} << 30)},
                                           SizeCase{(off_t{1} << 32) + 5, 5}));

TEST_F(FileSizeTest, CountsTheBytesWritten) {
    const std::string path = m_folder / "text";
    std::ofstream(path) << "twelve bytes";
    const CallOutcome outcome = SizeOf(ToUtf16(path));
    ASSERT_EQ(outcome.hr, S_OK);
    EXPECT_EQ(outcome.result.number, 12);
}

TEST_F(FileSizeTest, WhatIsNoReadableFileIsNotFound) {
    // Folders open for reading here, but they are not files.
    for (const TestValue& path : {TestValue(ToUtf16(m_folder / "missing")),
                                  TestValue(ToUtf16(m_folder.path())), TestValue(nullptr)}) {
        const CallOutcome outcome = SizeOf(path);
        EXPECT_EQ(outcome.hr, DISP_E_EXCEPTION);
        EXPECT_EQ(outcome.code, NB_ERROR_FILE_REQUEST);
        EXPECT_EQ(outcome.description, u"Catastrophic: File not found");
        EXPECT_EQ(outcome.source, u"External::FileSize");
    }
}

struct TempCase {
    std::optional<std::string> tmpdir;
    std::u16string answer;
};
void PrintTo(const TempCase& c, std::ostream* os) { *os << c.tmpdir.value_or("(unset)"); }

class TempDirFor : public ::testing::TestWithParam<TempCase> {};

TEST_P(TempDirFor, HasNoTrailingSeparator) {
    ShellDouble shell;
    ScopedVariable tmpdir("TMPDIR", GetParam().tmpdir);
    const CallOutcome outcome = shell.Call(LoadExport("EX_GetTempDir"), {});
    ASSERT_EQ(outcome.hr, S_OK);
    EXPECT_EQ(outcome.result.type, VT_BSTR);
    EXPECT_EQ(outcome.result.text, GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(Variables, TempDirFor,
                         ::testing::Values(TempCase{std::nullopt, u"/tmp"},
                                           TempCase{"/var/tmp/", u"/var/tmp"},
                                           TempCase{"/srv/scratch//", u"/srv/scratch"},
                                           TempCase{"relative/dir", u"/tmp"},
                                           TempCase{"", u"/tmp"}));

TEST(ApplicationDir, IsTheFolderHoldingInternals) {
    ShellDouble shell;
    const CallOutcome outcome = shell.Call(LoadExport("EX_GetApplicationDir"), {});
    ASSERT_EQ(outcome.hr, S_OK);
    EXPECT_EQ(outcome.result.type, VT_BSTR);
    EXPECT_EQ(outcome.result.text, ToUtf16(NB_TEST_APP_DIR));
}

}  // namespace
}  // namespace nb::external::testing
