#include "external/cd/disc_table.h"

namespace nb::external::cd {
namespace {

constexpr std::uint32_t kDigitSumModulus = 255;

LONG AsScriptInteger(std::uint32_t value) { return static_cast<LONG>(value); }

// The gap lies between a track and a data track that follows it in a
// session of its own. A data track following closer shares the audio's
// session: taking the gap off then would give a length below zero.
std::uint32_t GapAfter(const cdrip::TocEntry& track, const cdrip::TocEntry& next) {
    const bool own_session =
        next.IsData() && next.start_sector - track.start_sector > kSessionGapSectors;
    return own_session ? kSessionGapSectors : 0;
}

std::uint32_t SecondsAt(std::uint32_t sector) {
    return (sector + kLeadInSectors) / cdrip::kSectorsPerSecond;
}

}  // namespace

std::vector<TrackInfo> TracksInfo(std::span<const cdrip::TocEntry> entries) {
    std::vector<TrackInfo> tracks;
    for (std::size_t track = 0; track + 1 < entries.size(); ++track) {
        if (entries[track].IsData()) {
            tracks.push_back({true, 0});
            continue;
        }
        const std::uint32_t gap = GapAfter(entries[track], entries[track + 1]);
        const std::uint32_t length =
            entries[track + 1].start_sector - entries[track].start_sector - gap;
        tracks.push_back({false, AsScriptInteger(length)});
    }
    return tracks;
}

SectorRange TrackSectors(std::span<const cdrip::TocEntry> entries, std::size_t track) {
    const std::uint32_t gap = GapAfter(entries[track], entries[track + 1]);
    return {entries[track].start_sector, entries[track + 1].start_sector - gap - 1};
}

std::uint32_t DigitSum(std::uint32_t value) {
    std::uint32_t sum = 0;
    for (; value > 0; value /= 10) sum += value % 10;
    return sum;
}

std::vector<LONG> DiscIdentity(std::span<const cdrip::TocEntry> entries) {
    if (entries.empty()) return {};
    const auto count = static_cast<std::uint32_t>(entries.size() - 1);
    std::uint32_t digit_sum = 0;
    std::uint32_t total_seconds = 0;
    for (std::uint32_t track = 0; track < count; ++track) {
        const std::uint32_t seconds = SecondsAt(entries[track].start_sector);
        digit_sum += DigitSum(seconds);
        total_seconds += SecondsAt(entries[track + 1].start_sector) - seconds;
    }
    const std::uint32_t identifier =
        (digit_sum % kDigitSumModulus) << 24 | total_seconds << 8 | count;
    // One sector more than the offsets count, as the disc length has always
    // been given.
    const std::uint32_t length_seconds =
        (entries[count].start_sector + kLeadInSectors + 1) / cdrip::kSectorsPerSecond;
    std::vector<LONG> identity = {AsScriptInteger(identifier), AsScriptInteger(count)};
    for (std::uint32_t track = 0; track < count; ++track)
        identity.push_back(AsScriptInteger(entries[track].start_sector + kLeadInSectors));
    identity.push_back(AsScriptInteger(length_seconds));
    return identity;
}

}  // namespace nb::external::cd
