// What a disc's table of contents tells the pages: each track's length, and
// the identifier and offsets a CDDB-style disc database knows the disc by.
// Pure arithmetic on the entries, in unsigned 32 bits as the drive gives
// them, so any table (a drive's is outside input) gives an answer.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/automation/wintypes.h"
#include "platform/cdrip/cdrip.h"

namespace nb::external::cd {

// The two seconds before sector 0 that disc database offsets count.
constexpr std::uint32_t kLeadInSectors = 150;
// An enhanced disc's gap between its audio session and its data session:
// the first session's lead-out, the second's lead-in and its pregap.
constexpr std::uint32_t kSessionGapSectors = 11400;

// A track as EX_GetTracksInfo lists it: data, or sound of a length.
struct TrackInfo {
    bool data = false;
    LONG sectors = 0;
};

// entries holds the tracks, then the lead-out. A track followed by a data
// track more than the gap away has the gap taken off its length.
std::vector<TrackInfo> TracksInfo(std::span<const cdrip::TocEntry> entries);

// The sectors of track (0-based) to rip: from its start to the sector
// before the next entry, or before the session gap when data follows
// beyond it.
struct SectorRange {
    std::uint32_t first = 0;
    std::uint32_t last = 0;
};
SectorRange TrackSectors(std::span<const cdrip::TocEntry> entries, std::size_t track);

// The sum of value's decimal digits.
std::uint32_t DigitSum(std::uint32_t value);

// [identifier, track count, each track's start + 150, disc length in
// seconds], each 32-bit value as it is (identifiers from 0x80000000 up read
// as negative numbers).
std::vector<LONG> DiscIdentity(std::span<const cdrip::TocEntry> entries);

}  // namespace nb::external::cd
