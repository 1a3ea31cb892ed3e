// Disc images the CD tests make at test time: sound that ffmpeg makes,
// written as raw CD-DA sectors (2352 bytes of 44100 Hz 16-bit stereo each)
// into a BIN, data tracks of raw Mode 1 sectors, and the cue sheet beside it
// under the same name, as libcdio wants it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nb::cdrip::testing {

struct TrackSpec {
    bool audio = true;
    std::uint32_t sectors = 75;
    // An ffmpeg lavfi source of the sound, such as
    // "aevalsrc=sin(2*PI*440*t)|sin(2*PI*1000*t)"; empty for silence, left
    // as a hole in the BIN.
    std::string sound;
    // Sectors of no track before this one's INDEX 01 (its INDEX 00): an
    // enhanced disc's gap before its data session.
    std::uint32_t gap_before = 0;
};

struct DiscImage {
    std::string cue_path;
    std::string bin_path;
    std::vector<std::uint32_t> starts;  // each track's first sector
    std::uint32_t lead_out = 0;         // the BIN's length in sectors
    // Each track's bytes as the BIN holds them: empty for silence and data.
    std::vector<std::vector<std::uint8_t>> sound;
};

// Makes <folder>/<name>.cue and <folder>/<name>.bin; nothing when ffmpeg or
// a write failed.
std::optional<DiscImage> MakeDiscImage(const std::string& folder, const std::string& name,
                                       const std::vector<TrackSpec>& tracks);

// Exactly sectors x 2352 bytes of the source's sound.
std::optional<std::vector<std::uint8_t>> MakeSound(const std::string& source, std::uint32_t sectors,
                                                   const std::string& scratch_path);

// The cue sheet's "mm:ss:ff" of a sector.
std::string CueTime(std::uint32_t sector);

// The cue sheet MakeDiscImage writes for these tracks and starts.
std::string CueSheetText(const std::string& bin_name, const std::vector<TrackSpec>& tracks,
                         const std::vector<std::uint32_t>& starts);

// Two tones of distinct frequencies, one per channel.
std::string Tones(int left_hz, int right_hz);
// Independent white noise on each channel: no sound the byte order could be
// told from.
std::string Noise(int seed);

}  // namespace nb::cdrip::testing
