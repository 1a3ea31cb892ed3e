// The cue sheet of a disc image, checked before the image reader of libcdio
// sees it. That reader keeps at most 99 tracks in a fixed table without
// checking, parses minutes into an int without a bound, splits lines longer
// than its buffer and reads every track from the one BIN named like the
// sheet whatever its FILE lines say. So a sheet passes only when it has the
// shape the reader gets right: one FILE of type BINARY first; 1 to 99
// tracks numbered one after the other from 1; each an AUDIO,
// MODE1/2352 or MODE2/2352 track (raw 2352-byte sectors, so that sector n
// sits at byte n x 2352 of the BIN) with one INDEX 01; indexes in order;
// tracks starting one after the other; times as mm:ss:ff with minutes below
// 100; a catalog and each track's ISRC at most once; lines shorter than the
// reader's buffer; no CD-TEXT file and no NUL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace nb::cdrip {

// The largest sheet read; real ones take a few kilobytes.
constexpr std::size_t kMaxCueSheetBytes = 256 * 1024;

struct CueTrack {
    int number = 0;
    bool audio = true;
    std::uint32_t start_sector = 0;  // of INDEX 01, counted from the BIN's start
};

struct CueSheet {
    std::vector<CueTrack> tracks;
};

// The tracks of a sheet that passes, in order; nothing for one that does not.
std::optional<CueSheet> ParseCueSheet(std::string_view text);

}  // namespace nb::cdrip
