// The column statistic of the waveform pictures: every level's columns
// gathered in one pass over the sound, in memory that does not grow with it.
//
// Level k's picture is W_k columns wide; a column sums spc_k = samples / W_k
// + 1 consecutive samples (both channels alike) and becomes
// L(sigma) = log10(19 sigma + 1) / log10(20), sigma being their standard
// deviation over full scale. Levels 0 and 1 have the same width and so the
// same columns: the statistic is kept once per width (a "track").
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace nb::external::audio {

constexpr int kWaveformLevels = 10;
constexpr int kWaveformTracks = kWaveformLevels - 1;
constexpr int kWaveformBaseWidth = 680;

// Widths 680, 680, 1360, 2720, ... 174080.
constexpr int WaveformWidth(int level) {
    return level <= 1 ? kWaveformBaseWidth : kWaveformBaseWidth << (level - 1);
}
constexpr int WaveformHeight(int level) { return level == 0 ? 24 : 80; }
// The track holding a level's columns.
constexpr int WaveformTrack(int level) { return level <= 1 ? 0 : level - 1; }
constexpr int TrackWidth(int track) { return kWaveformBaseWidth << track; }

class WaveformColumns {
   public:
    // Columns for levels 0 to levels - 1 (1 to 10) of a sound announced as
    // sound_samples 16-bit samples long.
    WaveformColumns(int levels, std::uint64_t sound_samples);

    // The next samples of the sound, in order, in portions of any size: the
    // columns come out the same however the sound is cut.
    void Add(std::span<const std::int16_t> samples);

    // Ends the pass: a track that did not fill all its columns takes the
    // samples left over as one more column (divided by spc all the same).
    void Finish();

    int tracks() const { return m_tracks; }
    std::uint64_t SamplesPerColumn(int track) const { return m_samples_per_column[track]; }
    // The W columns of a track (the array keeps one spare beyond them).
    std::span<double> Columns(int track) {
        return std::span(m_columns[track]).first(static_cast<std::size_t>(TrackWidth(track)));
    }

   private:
    // Every track's running sums sit side by side, as many lanes as there
    // may be tracks, so one sample is added to all of them in a few vector
    // additions; lanes of tracks not in use are summed and never read.
    static constexpr std::size_t kLanes = 10;
    static_assert(kLanes >= kWaveformTracks && kLanes % 2 == 0);
    static constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();

    struct Sums {
        std::array<double, kLanes> values{};
        std::array<double, kLanes> squares{};
    };

    void Accumulate(std::span<const std::int16_t> samples);
    void EndColumns();
    void Store(int track);

    int m_tracks;
    std::array<std::uint64_t, kWaveformTracks> m_samples_per_column{};
    std::array<std::vector<double>, kWaveformTracks> m_columns;
    std::array<std::size_t, kWaveformTracks> m_filled{};  // the column counter
    // The index of the sample that ends each track's current column, or
    // kNever once all its columns are filled; and the nearest of them.
    std::array<std::uint64_t, kWaveformTracks> m_column_end{};
    std::uint64_t m_next_end = kNever;
    std::uint64_t m_index = 0;  // of the next sample
    Sums m_sums;
};

}  // namespace nb::external::audio
