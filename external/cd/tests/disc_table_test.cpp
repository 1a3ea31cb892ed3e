// The disc table's arithmetic on tables no image can give: the digit sum,
// and starts a drive might report out of order, which wrap in 32 bits as
// the values always have instead of failing.
#include "external/cd/disc_table.h"

#include <gtest/gtest.h>

namespace nb::external::cd {
namespace {

using cdrip::kTocDataTrack;
using cdrip::TocEntry;

TEST(DiscTable, DigitSumAddsTheDecimalDigits) {
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {
        {0, 0}, {2, 2}, {10, 1}, {62, 8}, {1999, 28}, {4294967295u, 57}};
    for (const auto& [value, sum] : cases) EXPECT_EQ(DigitSum(value), sum) << value;
}

TEST(DiscTable, AGapOnlyBeforeDataAndWrappedLengthsForStartsOutOfOrder) {
    const std::vector<TocEntry> entries = {
        {0, 0, 1}, {20000, 0, 2}, {19000, 0, 3}, {40000, kTocDataTrack, 4}, {50000, 0, 0xAA}};
    const std::vector<TrackInfo> tracks = TracksInfo(entries);
    ASSERT_EQ(tracks.size(), 4u);
    EXPECT_EQ(tracks[0].sectors, 20000);
    EXPECT_EQ(tracks[1].sectors, -1000);
    EXPECT_EQ(tracks[2].sectors, 40000 - 19000 - 11400);
    EXPECT_TRUE(tracks[3].data);
    const SectorRange range = TrackSectors(entries, 2);
    EXPECT_EQ(range.first, 19000u);
    EXPECT_EQ(range.last, 40000u - 11401u);
    // A range that would end before it begins, for the ripper to refuse.
    EXPECT_LT(TrackSectors(entries, 1).last, TrackSectors(entries, 1).first);
}

// Data right after the audio shares its session: there is no gap to take
// off, and taking one would give a length below zero.
TEST(DiscTable, NoGapBeforeDataInTheSameSession) {
    const std::vector<TocEntry> entries = {{0, 0, 1}, {300, kTocDataTrack, 2}, {600, 0, 0xAA}};
    const std::vector<TrackInfo> tracks = TracksInfo(entries);
    ASSERT_EQ(tracks.size(), 2u);
    EXPECT_EQ(tracks[0].sectors, 300);
    EXPECT_TRUE(tracks[1].data);
    EXPECT_EQ(TrackSectors(entries, 0).last, 299u);
}

TEST(DiscTable, TheIdentityOfTheWorkedExample) {
    const std::vector<TocEntry> entries = {{0, 0, 1}, {4500, 0, 0xAA}};
    EXPECT_EQ(DiscIdentity(entries), (std::vector<LONG>{0x02003C01, 1, 150, 62}));
}

}  // namespace
}  // namespace nb::external::cd
