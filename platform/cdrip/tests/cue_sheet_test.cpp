// The cue sheet check: the sheets libcdio's image reader gets right pass with
// their tracks; the ones it would misread, overrun or wait on do not.
#include "platform/cdrip/cue_sheet.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/cdrip/tests/disc_image.h"

namespace nb::cdrip::testing {
namespace {

constexpr char kHead[] = "FILE \"disc.bin\" BINARY\n";

std::string Tracks(int count, int first_number = 1) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "  TRACK %02d AUDIO\n    INDEX 01 %s\n", first_number + i,
                      CueTime(static_cast<std::uint32_t>(i) * 300).c_str());
        text += line;
    }
    return text;
}

TEST(ParseCueSheet, ReadsTheTracksOfASheetAsRippersWriteIt) {
    const std::string sheet =
        "REM GENRE Rock\nPERFORMER \"A Band\"\nTITLE \"An Album\"\nCATALOG 0123456789012\r\n"
        "FILE \"An Album.bin\" BINARY\r\n"
        "  TRACK 01 AUDIO\r\n    TITLE \"One\"\n    FLAGS DCP PRE\n    ISRC USABC1234567\n"
        "    INDEX 01 00:00:00\n"
        "  TRACK 02 AUDIO\n    PREGAP 00:02:00\n    INDEX 00 01:10:50\n    INDEX 01 01:12:50\n"
        "    INDEX 02 02:00:00\n"
        "REM SESSION 02\n"
        "  TRACK 03 MODE1/2352\n    INDEX 01 10:00:00\n";
    const std::optional<CueSheet> parsed = ParseCueSheet(sheet);
    ASSERT_TRUE(parsed);
    ASSERT_EQ(parsed->tracks.size(), 3u);
    const std::uint32_t starts[] = {0, (70 + 2) * 75 + 50, 600 * 75};
    const bool audio[] = {true, true, false};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(parsed->tracks[i].number, static_cast<int>(i) + 1);
        EXPECT_EQ(parsed->tracks[i].start_sector, starts[i]) << "track " << i + 1;
        EXPECT_EQ(parsed->tracks[i].audio, audio[i]) << "track " << i + 1;
    }
}

TEST(ParseCueSheet, TakesTheWholeRangeOfTracks) {
    ASSERT_TRUE(ParseCueSheet(kHead + Tracks(99)));
    EXPECT_EQ(ParseCueSheet(kHead + Tracks(99))->tracks.size(), 99u);
    EXPECT_TRUE(ParseCueSheet(kHead + Tracks(1)));
}

struct RefusedCase {
    const char* why;
    std::string text;
};

TEST(ParseCueSheet, RefusesSheetsTheImageReaderWouldGetWrong) {
    const std::string track_one = "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    const RefusedCase cases[] = {
        {"no tracks", kHead},
        {"a hundredth track, past the reader's table",
         kHead + Tracks(99) + "  TRACK 100 AUDIO\n    INDEX 01 99:00:00\n"},
        {"a repeated track number",
         kHead + track_one + "  TRACK 01 AUDIO\n    INDEX 01 00:10:00\n"},
        {"numbers not from 1", kHead + Tracks(2, 2)},
        {"no INDEX 01", std::string(kHead) + "  TRACK 01 AUDIO\n    INDEX 00 00:00:00\n"},
        {"INDEX 02 before 01", std::string(kHead) + "  TRACK 01 AUDIO\n    INDEX 02 00:00:00\n"},
        {"indexes out of order",
         std::string(kHead) + "  TRACK 01 AUDIO\n    INDEX 01 00:05:00\n    INDEX 00 00:06:00\n"},
        {"a track starting before the one before",
         kHead + track_one + "  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"},
        {"seconds of 60", std::string(kHead) + "  TRACK 01 AUDIO\n    INDEX 01 00:60:00\n"},
        {"frames of 75", std::string(kHead) + "  TRACK 01 AUDIO\n    INDEX 01 00:00:75\n"},
        {"minutes past the reader's int",
         std::string(kHead) + "  TRACK 01 AUDIO\n    INDEX 01 99999999999:00:00\n"},
        {"a time of two parts", std::string(kHead) + "  TRACK 01 AUDIO\n    INDEX 01 00:00\n"},
        {"no FILE", track_one},
        {"a second FILE", kHead + track_one + "FILE \"two.bin\" BINARY\n"},
        {"a WAVE file", "FILE \"disc.wav\" WAVE\n" + track_one},
        {"big-endian samples", "FILE \"disc.bin\" MOTOROLA\n" + track_one},
        {"2048-byte sectors",
         std::string(kHead) + "  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n"},
        {"a CD-TEXT file to open", "CDTEXTFILE \"disc.cdt\"\n" + std::string(kHead) + track_one},
        {"a word the reader stops at", kHead + track_one + "POSTGAP 00:02:00\n"},
        {"lower case", std::string(kHead) + "  track 01 audio\n    index 01 00:00:00\n"},
        {"flags outside a track", std::string(kHead) + "FLAGS DCP\n" + track_one},
        {"an unknown flag", kHead + track_one + "    FLAGS LOUD\n"},
        {"a catalog in a track", kHead + track_one + "CATALOG 0123456789012\n"},
        {"a short catalog", "CATALOG 123\n" + std::string(kHead) + track_one},
        {"a second catalog",
         "CATALOG 0123456789012\nCATALOG 0123456789012\n" + std::string(kHead) + track_one},
        {"a second ISRC in a track",
         kHead + track_one + "    ISRC USABC1234567\n    ISRC USABC1234568\n"},
        {"a byte order mark", "\xEF\xBB\xBF" + std::string(kHead) + track_one},
        {"a NUL byte", std::string(kHead) + std::string("REM \0 x\n", 8) + track_one},
        {"a line longer than the reader's buffer",
         "REM " + std::string(4100, 'x') + "\n" + std::string(kHead) + track_one},
        {"a sheet too large to be one",
         std::string(kHead) + track_one + std::string(kMaxCueSheetBytes, '\n')},
    };
    for (const RefusedCase& c : cases) EXPECT_FALSE(ParseCueSheet(c.text)) << c.why;
}

}  // namespace
}  // namespace nb::cdrip::testing
