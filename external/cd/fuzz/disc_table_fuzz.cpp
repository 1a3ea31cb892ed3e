// Reads the input as a table of contents as a drive might give it, any
// entries at all (six bytes each: start sector, flags, track number), and
// computes the track list and the disc identity from it. Checks: one item
// per track, data tracks listed as data, and an identity of the track count,
// each start + 150 and the length; the arithmetic stays defined whatever
// the starts.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "external/cd/disc_table.h"

namespace {

using namespace nb::external::cd;

constexpr std::size_t kEntryBytes = 6;
constexpr std::size_t kMostEntries = 100;

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<nb::cdrip::TocEntry> entries;
    for (std::size_t at = 0; at + kEntryBytes <= size && entries.size() < kMostEntries;
         at += kEntryBytes) {
        nb::cdrip::TocEntry entry;
        std::memcpy(&entry.start_sector, data + at, 4);
        entry.flags = data[at + 4];
        entry.track_number = data[at + 5];
        entries.push_back(entry);
    }
    const std::vector<TrackInfo> tracks = TracksInfo(entries);
    const std::vector<LONG> identity = DiscIdentity(entries);
    if (entries.empty()) {
        Check(tracks.empty() && identity.empty());
        return 0;
    }
    const std::size_t count = entries.size() - 1;
    Check(tracks.size() == count);
    Check(identity.size() == count + 3);
    Check(static_cast<std::size_t>(identity[1]) == count);
    Check((static_cast<std::uint32_t>(identity[0]) & 0xFF) == (count & 0xFF));
    for (std::size_t i = 0; i < count; ++i) {
        Check(tracks[i].data == entries[i].IsData());
        Check(static_cast<std::uint32_t>(identity[i + 2]) == entries[i].start_sector + 150);
        const SectorRange range = TrackSectors(entries, i);
        Check(range.first == entries[i].start_sector);
        if (!tracks[i].data)
            Check(range.last - range.first + 1 == static_cast<std::uint32_t>(tracks[i].sectors));
    }
    return 0;
}
