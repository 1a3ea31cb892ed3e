// EX_GetDrivesInfo, EX_GetTracksInfo and EX_GetDiskId through the real
// module, against disc images made at test time: the lists, lengths,
// identifiers and offsets, and every failure report in its order.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <variant>

#include "common/error_report.h"
#include "external/cd/tests/cd_test_support.h"
#include "platform/text/code_pages.h"

namespace nb::external::cd::testing {
namespace {

using nb::external::testing::CallOutcome;
using nb::external::testing::LoadExport;
using nb::external::testing::ReceivedValue;
using nb::external::testing::TestValue;

class CdFunctionsTest : public CdTest {
   protected:
    CallOutcome Call(const char* name, std::initializer_list<TestValue> arguments) {
        return m_shell.Call(LoadExport(name), arguments);
    }
    static std::vector<LONGLONG> Numbers(const CallOutcome& outcome) {
        std::vector<LONGLONG> numbers;
        for (const ReceivedValue& element : outcome.result.elements)
            numbers.push_back(element.number);
        return numbers;
    }
    std::vector<std::u16string> DriveNames() {
        const CallOutcome outcome = Call("EX_GetDrivesInfo", {});
        EXPECT_EQ(outcome.hr, S_OK) << ToUtf8(outcome.description);
        std::vector<std::u16string> names;
        for (const ReceivedValue& element : outcome.result.elements) {
            EXPECT_EQ(element.type, VT_BSTR);
            names.push_back(element.text);
        }
        return names;
    }
};

TEST_F(CdFunctionsTest, GetDrivesInfoListsTheImageAsTheFirstDrive) {
    const DiscImage image = Make({{true, 75, "", 0}});
    const std::vector<std::u16string> devices = DriveNames();
    UseImage(image.cue_path);
    std::vector<std::u16string> expected = {u"Disc image album.cue"};
    expected.insert(expected.end(), devices.begin(), devices.end());
    EXPECT_EQ(DriveNames(), expected);

    const CallOutcome extra = Call("EX_GetDrivesInfo", {LONG{0}});
    EXPECT_EQ(extra.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(extra.code, NB_ERROR_PARAMETERS_COUNT);
    EXPECT_EQ(extra.source, u"External::GetDrivesInfo");
}

// Each drive function leaves the ripping library's settings file, with its
// keys, in the temporary folder.
TEST_F(CdFunctionsTest, TheSettingsFileIsWrittenInTheTemporaryFolder) {
    DriveNames();
    std::ifstream file(m_folder / "s2mcr.ini");
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    EXPECT_NE(text.find("[CDRip]\n"), std::string::npos);
    EXPECT_NE(text.find("DiscImage="), std::string::npos);
}

struct TracksCase {
    const char* disc;
    std::vector<TrackSpec> tracks;
    std::vector<std::variant<LONG, std::u16string>> listed;
};

TEST_F(CdFunctionsTest, GetTracksInfoGivesLengthsAndMarksDataTracks) {
    const TracksCase cases[] = {
        {"one track", {{true, 4500, "", 0}}, {LONG{4500}}},
        {"three tracks",
         {{true, 1000, "", 0}, {true, 1, "", 0}, {true, 2222, "", 0}},
         {LONG{1000}, LONG{1}, LONG{2222}}},
        // The gap before the data session is no part of the last audio track.
        {"an enhanced disc",
         {{true, 400, "", 0}, {true, 300, "", 0}, {false, 150, "", kSessionGap}},
         {LONG{400}, LONG{300}, u"DATA"}},
        {"data first", {{false, 300, "", 0}, {true, 750, "", 0}}, {u"DATA", LONG{750}}},
    };
    for (const TracksCase& c : cases) {
        const DiscImage image = Make(c.tracks, "disc");
        UseImage(image.cue_path);
        const CallOutcome outcome = Call("EX_GetTracksInfo", {LONG{0}});
        ASSERT_EQ(outcome.hr, S_OK) << c.disc << ": " << ToUtf8(outcome.description);
        ASSERT_EQ(outcome.result.elements.size(), c.listed.size()) << c.disc;
        for (std::size_t i = 0; i < c.listed.size(); ++i) {
            const ReceivedValue& element = outcome.result.elements[i];
            if (const LONG* length = std::get_if<LONG>(&c.listed[i])) {
                EXPECT_EQ(element.type, VT_I4) << c.disc << ", track " << i;
                EXPECT_EQ(element.number, *length) << c.disc << ", track " << i;
            } else {
                EXPECT_EQ(element.type, VT_BSTR) << c.disc << ", track " << i;
                EXPECT_EQ(element.text, std::get<std::u16string>(c.listed[i])) << c.disc;
            }
        }
    }
}

// The disc database's own recipe, from the minutes and seconds of each
// track's start as a player shows them: n adds the digits of every start's
// whole seconds, t is the disc's playing time in seconds.
std::vector<LONGLONG> DatabaseIdentity(const std::vector<std::uint32_t>& starts,
                                       std::uint32_t lead_out) {
    const auto seconds_of = [](std::uint32_t sector) {
        const std::uint32_t frames = sector + 150;
        const std::uint32_t minutes = frames / (75 * 60);
        return minutes * 60 + frames / 75 % 60;
    };
    std::uint32_t n = 0;
    for (std::uint32_t start : starts)
        for (std::uint32_t s = seconds_of(start); s > 0; s /= 10) n += s % 10;
    const std::uint32_t t = seconds_of(lead_out) - seconds_of(starts.front());
    const auto id = static_cast<LONG>((n % 0xFF) << 24 | t << 8 | starts.size());
    std::vector<LONGLONG> identity = {id, static_cast<LONGLONG>(starts.size())};
    for (std::uint32_t start : starts) identity.push_back(start + 150);
    identity.push_back((lead_out + 151) / 75);
    return identity;
}

TEST_F(CdFunctionsTest, GetDiskIdGivesTheWorkedExample) {
    // One track from sector 0, lead-out at one minute.
    const DiscImage image = Make({{true, 75 * 60, "", 0}});
    UseImage(image.cue_path);
    const CallOutcome outcome = Call("EX_GetDiskId", {LONG{0}});
    ASSERT_EQ(outcome.hr, S_OK) << ToUtf8(outcome.description);
    EXPECT_EQ(Numbers(outcome), (std::vector<LONGLONG>{0x02003C01, 1, 150, 62}));
    for (const ReceivedValue& element : outcome.result.elements) EXPECT_EQ(element.type, VT_I4);
}

TEST_F(CdFunctionsTest, GetDiskIdMatchesTheDatabaseRecipe) {
    const std::vector<TrackSpec> discs[] = {
        // Starts of several minutes, a first track after a hidden pregap.
        {{true, 17000, "", 500}, {true, 13333, "", 0}, {true, 74, "", 0}, {true, 20001, "", 0}},
        // Data tracks count like audio tracks, the session gap included.
        {{true, 9000, "", 0}, {true, 9001, "", 0}, {false, 3000, "", kSessionGap}},
    };
    for (const std::vector<TrackSpec>& disc : discs) {
        const DiscImage image = Make(disc, "disc");
        UseImage(image.cue_path);
        const CallOutcome outcome = Call("EX_GetDiskId", {LONG{0}});
        ASSERT_EQ(outcome.hr, S_OK) << ToUtf8(outcome.description);
        EXPECT_EQ(Numbers(outcome), DatabaseIdentity(image.starts, image.lead_out));
    }
}

// An identifier from 0x80000000 up arrives as the negative number with the
// same 32 bits.
TEST_F(CdFunctionsTest, GetDiskIdKeepsAllThirtyTwoBitsOfTheIdentifier) {
    // Twenty tracks of a minute: their starts' digit sums pass 0x80.
    std::vector<TrackSpec> disc;
    for (int track = 0; track < 20; ++track) disc.push_back({true, 75 * 59 + 74, "", 0});
    const DiscImage image = Make(disc, "long");
    UseImage(image.cue_path);
    const CallOutcome outcome = Call("EX_GetDiskId", {LONG{0}});
    ASSERT_EQ(outcome.hr, S_OK);
    const std::vector<LONGLONG> expected = DatabaseIdentity(image.starts, image.lead_out);
    ASSERT_LT(expected[0], 0) << "the disc should give an identifier with its top bit set";
    EXPECT_EQ(Numbers(outcome), expected);
}

struct FailureCase {
    const char* why;
    std::vector<TestValue> arguments;
    std::string image;  // the cue sheet named, "" for the good one
    WORD code;
    const char16_t* message;
};

TEST_F(CdFunctionsTest, TracksAndDiscIdReportEachFailure) {
    const DiscImage good = Make({{true, 750, "", 0}}, "good");
    std::ofstream(m_folder / "bad.cue") << "FILE \"bad.bin\" BINARY\n  TRACK 01 AUDIO\n";
    std::filesystem::copy_file(good.bin_path, m_folder / "bad.bin");
    std::filesystem::create_directory(m_folder / "folder.cue");
    std::filesystem::copy_file(good.bin_path, m_folder / "folder.bin");
    // A named pipe that nobody writes answers at once; reading it would wait.
    ASSERT_EQ(::mkfifo((m_folder / "pipe.cue").c_str(), 0600), 0);
    std::filesystem::copy_file(good.bin_path, m_folder / "pipe.bin");
    UseImage(good.cue_path);
    const LONG drives = static_cast<LONG>(DriveNames().size());
    const std::vector<FailureCase> cases = {
        {"no argument", {}, "", 2100, u"Catastrophic: Bad parameters count"},
        {"two arguments", {LONG{0}, LONG{0}}, "", 2100, u"Catastrophic: Bad parameters count"},
        {"a text", {std::u16string(u"0")}, "", 2101, u"Catastrophic: Type mismatch"},
        {"a boolean", {true}, "", 2101, u"Catastrophic: Type mismatch"},
        {"one past the drives", {drives}, "", 3100, u"Catastrophic: Drive not found"},
        {"a negative index", {LONG{-1}}, "", 3100, u"Catastrophic: Drive not found"},
        {"no disc", {LONG{0}}, m_folder / "missing.cue", 3102, u"Catastrophic: No Disk in Drive"},
        {"a sheet without an index",
         {LONG{0}},
         m_folder / "bad.cue",
         3103,
         u"Catastrophic: Not an Audio CD"},
        {"a folder for a sheet",
         {LONG{0}},
         m_folder / "folder.cue",
         3104,
         u"Catastrophic: CR_IsMediaLoaded() failed"},
    };
    for (const char* function : {"GetTracksInfo", "GetDiskId"}) {
        for (const FailureCase& c : cases) {
            UseImage(c.image.empty() ? good.cue_path : c.image);
            const CallOutcome outcome =
                m_shell.Call(LoadExport(("EX_" + std::string(function)).c_str()), c.arguments);
            EXPECT_EQ(outcome.hr, DISP_E_EXCEPTION) << function << ", " << c.why;
            EXPECT_EQ(outcome.code, c.code) << function << ", " << c.why;
            EXPECT_EQ(outcome.scode, -static_cast<SCODE>(c.code)) << function << ", " << c.why;
            EXPECT_EQ(outcome.source, u"External::" + ToUtf16(function)) << c.why;
            EXPECT_EQ(outcome.description, c.message) << function << ", " << c.why;
            EXPECT_EQ(outcome.result.type, VT_EMPTY) << function << ", " << c.why;
        }
    }
}

// Without a result variant the functions do their work and answer S_OK.
TEST_F(CdFunctionsTest, WithoutAResultTheFunctionsStillSucceed) {
    const DiscImage image = Make({{true, 750, "", 0}});
    UseImage(image.cue_path);
    nb::external::testing::ArgumentList none(std::span<const TestValue>{});
    nb::external::testing::ArgumentList drive({LONG{0}});
    for (const char* function : {"EX_GetDrivesInfo", "EX_GetTracksInfo", "EX_GetDiskId"}) {
        EXCEPINFO exception{};
        DISPPARAMS* args = std::string(function) == "EX_GetDrivesInfo" ? none.get() : drive.get();
        const CallFrame frame = m_shell.MakeFrame(args, nullptr, nullptr, &exception);
        const HRESULT hr =
            LoadExport(function)(frame.shell_window, frame.command_event, frame.command_target,
                                 frame.command_word, frame.workers, frame.args, nullptr, nullptr,
                                 nullptr, &exception, frame.argument_error, frame.system);
        EXPECT_EQ(hr, S_OK) << function;
    }
}

}  // namespace
}  // namespace nb::external::cd::testing
