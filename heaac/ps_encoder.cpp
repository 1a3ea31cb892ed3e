// The decoder splits the three lowest subbands further (its hybrid bank) to reach stereo
// bands 0 to 7; the encoder measures those bands on a finer split of the same subbands made
// along time (ps_hybrid), and maps every higher subband to its stereo band directly.
#include "heaac/ps_encoder.h"

#include <algorithm>
#include <cmath>

#include "heaac/ps_hybrid.h"
#include "heaac/sbr_tables.h"

namespace heaac {
namespace {

// Stereo band of each subband from 3 up, 20-band configuration (ISO/IEC 14496-3, Table 8.48).
constexpr std::array<std::uint8_t, kQmfBands - 3> kBandOfSubband = {
    8,  9,  10, 11, 12, 13, 14, 14, 15, 15, 15, 16, 16, 16, 16, 17, 17, 17, 17, 17, 18,
    18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 19, 19, 19, 19, 19, 19, 19, 19, 19, 19,
    19, 19, 19, 19, 19, 19, 19, 19, 19, 19, 19, 19, 19, 19, 19, 19, 19, 19, 19};

constexpr int kIidOffset = 7;
constexpr int kIidLevels = 15;
constexpr int kIccLevels = 8;
constexpr int kIidModeTwentyBands = 1;
constexpr int kIccModeTwentyBands = 1;

struct BandStatistics {
    std::array<double, kPsBands> left{};
    std::array<double, kPsBands> right{};
    std::array<double, kPsBands> cross{};  // real part of sum left * conj(right)
};

int nearest_iid(double level_db) {
    int best = 0;
    for (int i = 1; i < kIidLevels; ++i) {
        if (std::abs(kIidGridDb[static_cast<std::size_t>(i)] - level_db) <
            std::abs(kIidGridDb[static_cast<std::size_t>(best)] - level_db))
            best = i;
    }
    return best - kIidOffset;
}

int nearest_icc(double coherence) {
    int best = 0;
    for (int i = 1; i < kIccLevels; ++i) {
        if (std::abs(kIccGrid[static_cast<std::size_t>(i)] - coherence) <
            std::abs(kIccGrid[static_cast<std::size_t>(best)] - coherence))
            best = i;
    }
    return best;
}

template <std::size_t N>
int delta_bits(const std::array<HuffmanCode, N>& table, std::span<const int> values,
               std::span<const int> reference, bool in_time) {
    int bits = 0;
    for (std::size_t b = 0; b < values.size(); ++b) {
        const int base = in_time ? reference[b] : (b == 0 ? 0 : values[b - 1]);
        bits += table[static_cast<std::size_t>(values[b] - base + static_cast<int>(N / 2))].length;
    }
    return bits;
}

template <std::size_t N>
void write_deltas(BitWriter& writer, const std::array<HuffmanCode, N>& table,
                  std::span<const int> values, std::span<const int> reference, bool in_time) {
    for (std::size_t b = 0; b < values.size(); ++b) {
        const int base = in_time ? reference[b] : (b == 0 ? 0 : values[b - 1]);
        const auto& code =
            table[static_cast<std::size_t>(values[b] - base + static_cast<int>(N / 2))];
        writer.write(code.code, code.length);
    }
}

}  // namespace

PsEncoder::PsEncoder() = default;

BitWriter PsEncoder::encode_frame(std::span<const QmfSlot> left, std::span<const QmfSlot> right) {
    BandStatistics stats;
    const auto frame_slots = left.size() - 2 * kHybridMarginSlots;
    for (std::size_t n = kHybridMarginSlots; n < kHybridMarginSlots + frame_slots; ++n) {
        for (int k = 3; k < kQmfBands; ++k) {
            const auto l = left[n][static_cast<std::size_t>(k)];
            const auto r = right[n][static_cast<std::size_t>(k)];
            const auto band = kBandOfSubband[static_cast<std::size_t>(k - 3)];
            stats.left[band] += std::norm(l);
            stats.right[band] += std::norm(r);
            stats.cross[band] += static_cast<double>(l.real() * r.real() + l.imag() * r.imag());
        }
    }
    const auto low = analyse_low_stereo_bands(left, right);
    for (int b = 0; b < kLowStereoBands; ++b) {
        stats.left[static_cast<std::size_t>(b)] = low.left[static_cast<std::size_t>(b)];
        stats.right[static_cast<std::size_t>(b)] = low.right[static_cast<std::size_t>(b)];
        stats.cross[static_cast<std::size_t>(b)] = low.cross[static_cast<std::size_t>(b)];
    }

    constexpr double kFloor = 1e-2;  // energies below this are silence: centred and coherent
    for (int b = 0; b < kPsBands; ++b) {
        const double l = stats.left[static_cast<std::size_t>(b)];
        const double r = stats.right[static_cast<std::size_t>(b)];
        if (l + r < kFloor * static_cast<double>(frame_slots)) {
            m_iid[static_cast<std::size_t>(b)] = 0;
            m_icc[static_cast<std::size_t>(b)] = 0;
            continue;
        }
        m_iid[static_cast<std::size_t>(b)] =
            nearest_iid(10.0 * std::log10((l + 1e-9) / (r + 1e-9)));
        // With one channel 30 dB down its coherence is noise; calling it coherent keeps the
        // decoder from mixing decorrelated signal into the loud channel.
        const bool one_sided = std::min(l, r) < 1e-3 * std::max(l, r);
        m_icc[static_cast<std::size_t>(b)] =
            one_sided
                ? 0
                : nearest_icc(std::clamp(
                      stats.cross[static_cast<std::size_t>(b)] / std::sqrt(l * r), -1.0, 1.0));
    }

    BitWriter writer;
    // The header rides along at the same cadence as the SBR header.
    const bool with_header = m_frames % 10 == 0;
    ++m_frames;
    writer.write(with_header ? 1 : 0, 1);  // enable_ps_header
    if (with_header) {
        writer.write(1, 1);  // enable_iid
        writer.write(kIidModeTwentyBands, 3);
        writer.write(1, 1);  // enable_icc
        writer.write(kIccModeTwentyBands, 3);
        writer.write(0, 1);  // enable_ext
    }
    writer.write(0, 1);  // frame_class: fixed borders
    writer.write(1, 2);  // num_env_idx: one envelope over the frame

    const std::span<const int> iid(m_iid);
    const std::span<const int> icc(m_icc);
    const bool iid_time =
        m_have_previous && delta_bits(kIidTimeCoarse, iid, m_previous_iid, true) <
                               delta_bits(kIidFreqCoarse, iid, m_previous_iid, false);
    writer.write(iid_time ? 1 : 0, 1);
    write_deltas(writer, iid_time ? kIidTimeCoarse : kIidFreqCoarse, iid, m_previous_iid, iid_time);
    const bool icc_time = m_have_previous && delta_bits(kIccTime, icc, m_previous_icc, true) <
                                                 delta_bits(kIccFreq, icc, m_previous_icc, false);
    writer.write(icc_time ? 1 : 0, 1);
    write_deltas(writer, icc_time ? kIccTime : kIccFreq, icc, m_previous_icc, icc_time);

    m_previous_iid = m_iid;
    m_previous_icc = m_icc;
    m_have_previous = true;
    return writer;
}

}  // namespace heaac
