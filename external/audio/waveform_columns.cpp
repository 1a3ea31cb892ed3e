#include "external/audio/waveform_columns.h"

#include <algorithm>
#include <cmath>

// The hot loop's variants, one picked by the processor as the module loads.
#if defined(__x86_64__) && defined(__GNUC__)
#define NB_WITH_AVX2_CLONE __attribute__((target_clones("avx2", "default")))
#else
#define NB_WITH_AVX2_CLONE
#endif

namespace nb::external::audio {
namespace {

constexpr double kFullScale = 32767.0;

// L(sigma) of a column's sums. Rounding can leave the variance of a nearly
// constant column a hair below zero (and the first column, which holds
// spc + 1 samples over spc, further below): that column has no spread, so
// it counts as 0 rather than a square root's NaN.
double ColumnValue(double sum, double squares, std::uint64_t samples_per_column) {
    const auto count = static_cast<double>(samples_per_column);
    const double mean = sum / count;
    const double variance = squares / count - mean * mean;
    const double sigma = std::sqrt(std::max(variance, 0.0));
    return std::log10(19.0 * sigma + 1.0) / std::log10(20.0);
}

}  // namespace

WaveformColumns::WaveformColumns(int levels, std::uint64_t sound_samples)
    : m_tracks(WaveformTrack(std::clamp(levels, 1, kWaveformLevels) - 1) + 1) {
    for (int track = 0; track < m_tracks; ++track) {
        const auto width = static_cast<std::uint64_t>(TrackWidth(track));
        m_samples_per_column[track] = sound_samples / width + 1;
        m_columns[track].assign(width + 1, 0.0);
        // A column ends at every multiple of spc but the first sample's.
        m_column_end[track] = m_samples_per_column[track];
    }
    for (int track = m_tracks; track < kWaveformTracks; ++track) m_column_end[track] = kNever;
    m_next_end = *std::min_element(m_column_end.begin(), m_column_end.end());
}

void WaveformColumns::Add(std::span<const std::int16_t> samples) {
    while (!samples.empty()) {
        // Up to and including the sample that ends the nearest column.
        const std::uint64_t before_end = m_next_end - m_index;
        const std::size_t run =
            before_end < samples.size() ? static_cast<std::size_t>(before_end) + 1 : samples.size();
        Accumulate(samples.first(run));
        samples = samples.subspan(run);
        m_index += run;
        if (m_index - 1 == m_next_end) EndColumns();
    }
}

// The hot loop: ten running sums and ten of squares for every sample. Each
// lane adds the same values in the same order as a loop per track would, so
// the sums are exactly those of the plain statistic, whatever width of
// vector the additions come in: on processors with AVX2 (chosen once, as the
// module loads) they take six instructions a sample instead of ten.
NB_WITH_AVX2_CLONE void WaveformColumns::Accumulate(std::span<const std::int16_t> samples) {
    Sums sums = m_sums;
    for (const std::int16_t sample : samples) {
        const double value = sample / kFullScale;
        const double square = value * value;
#pragma GCC unroll 10
        for (std::size_t lane = 0; lane < kLanes; ++lane) {
            sums.values[lane] += value;
            sums.squares[lane] += square;
        }
    }
    m_sums = sums;
}

void WaveformColumns::EndColumns() {
    const std::uint64_t ended = m_next_end;
    for (int track = 0; track < m_tracks; ++track) {
        if (m_column_end[track] != ended) continue;
        Store(track);
        m_sums.values[track] = 0.0;
        m_sums.squares[track] = 0.0;
        const bool full = m_filled[track] == static_cast<std::size_t>(TrackWidth(track));
        m_column_end[track] = full ? kNever : ended + m_samples_per_column[track];
    }
    m_next_end = *std::min_element(m_column_end.begin(), m_column_end.end());
}

void WaveformColumns::Store(int track) {
    m_columns[track][m_filled[track]++] =
        ColumnValue(m_sums.values[track], m_sums.squares[track], m_samples_per_column[track]);
}

void WaveformColumns::Finish() {
    for (int track = 0; track < m_tracks; ++track) {
        if (m_filled[track] < static_cast<std::size_t>(TrackWidth(track))) Store(track);
    }
}

}  // namespace nb::external::audio
