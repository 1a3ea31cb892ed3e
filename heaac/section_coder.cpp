// Optimal sectioning by dynamic programming over section end points: best[end] is the cheapest
// coding of bands [0, end), trying every last section [start, end) in every codebook. With at
// most 51 bands and 12 codebooks this is some ten thousand additions per group.
#include "heaac/section_coder.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "heaac/spectrum_huffman.h"
#include "heaac/tables_huffman.h"

namespace heaac {
namespace {

constexpr int kCodebookBits = 4;
constexpr int kCodebookCount = kMaxSpectrumCodebook + 1;
constexpr int kNoiseSlot = kCodebookCount;  // the DP's row for the noise codebook
constexpr int kDpCodebooks = kCodebookCount + 1;

int length_bits_per_field(const ChannelFrame& frame) { return frame.is_short() ? 3 : 5; }

int section_cost_bits(const ChannelFrame& frame, int band_count) {
    const int field_bits = length_bits_per_field(frame);
    const int escape = (1 << field_bits) - 1;
    return kCodebookBits + field_bits * (1 + band_count / escape);
}

std::array<int, kCodebookCount> zero_bits_per_four_lines() {
    std::array<int, kCodebookCount> bits{};
    const std::array<int, 4> zeros{};
    for (int cb = 1; cb < kCodebookCount; ++cb)
        bits[static_cast<std::size_t>(cb)] = count_spectrum_bits(cb, zeros);
    return bits;
}

int choose_group_sections(ChannelFrame& frame, int group) {
    const int bands = frame.max_sfb;
    std::array<std::array<int, kMaxBands>, kDpCodebooks> band_bits{};
    for (int b = 0; b < bands; ++b) {
        const auto values = frame.band_values(group, b);
        // A noise band takes the noise codebook and nothing else; no other band may.
        const bool noise = frame.noise[static_cast<std::size_t>(group * kMaxBands + b)] != 0;
        band_bits[kNoiseSlot][static_cast<std::size_t>(b)] = noise ? 0 : kUncodableBits;
        if (noise) {
            for (int cb = 0; cb < kCodebookCount; ++cb)
                band_bits[static_cast<std::size_t>(cb)][static_cast<std::size_t>(b)] =
                    kUncodableBits;
            continue;
        }
        int peak = 0;
        for (int value : values) peak = std::max(peak, std::abs(value));
        // Codebooks too small for the band's peak cannot code it; skipping them saves most
        // of the counting, which dominates the encoder's time.
        const auto set_bits = [&](int cb, int bits) {
            band_bits[static_cast<std::size_t>(cb)][static_cast<std::size_t>(b)] = bits;
        };
        set_bits(0, peak == 0 ? 0 : kUncodableBits);
        if (peak == 0) {
            // Silent bands (most of the top at low rates) cost the same per four lines in
            // each codebook.
            static const auto zero_bits = zero_bits_per_four_lines();
            for (int cb = 1; cb < kCodebookCount; ++cb) {
                set_bits(cb, zero_bits[static_cast<std::size_t>(cb)] *
                                 static_cast<int>(values.size() / 4));
            }
            continue;
        }
        for (int cb = 1; cb < kEscapeCodebook; cb += 2) {
            const auto pair = peak <= codebook_max_magnitude(cb)
                                  ? count_spectrum_bits_pair(cb, values)
                                  : CodebookPairBits{kUncodableBits, kUncodableBits};
            set_bits(cb, pair.first_bits);
            set_bits(cb + 1, pair.second_bits);
        }
        set_bits(kEscapeCodebook, count_spectrum_bits(kEscapeCodebook, values));
    }
    std::array<int, kMaxBands + 1> section_cost{};
    for (int length = 1; length <= bands; ++length) {
        section_cost[static_cast<std::size_t>(length)] = section_cost_bits(frame, length);
    }
    std::array<int, kMaxBands + 1> best{};
    std::array<int, kMaxBands + 1> best_start{};
    std::array<int, kMaxBands + 1> best_codebook{};
    for (int end = 1; end <= bands; ++end) {
        auto& best_end = best[static_cast<std::size_t>(end)];
        best_end = kUncodableBits;
        for (int cb = 0; cb < kDpCodebooks; ++cb) {
            int run_bits = 0;
            for (int start = end - 1; start >= 0; --start) {
                const int bits =
                    band_bits[static_cast<std::size_t>(cb)][static_cast<std::size_t>(start)];
                if (bits >= kUncodableBits) break;
                run_bits += bits;
                const int run_cost = run_bits + section_cost[static_cast<std::size_t>(end - start)];
                // Longer runs only add bits and best[] is never negative, so no earlier start
                // can beat the best found once the run alone costs as much.
                if (run_cost >= best_end) break;
                const int total = best[static_cast<std::size_t>(start)] + run_cost;
                if (total < best_end) {
                    best_end = total;
                    best_start[static_cast<std::size_t>(end)] = start;
                    best_codebook[static_cast<std::size_t>(end)] = cb;
                }
            }
        }
    }
    for (int end = bands; end > 0;) {
        const int start = best_start[static_cast<std::size_t>(end)];
        for (int b = start; b < end; ++b) {
            const int cb = best_codebook[static_cast<std::size_t>(end)];
            frame.codebook[static_cast<std::size_t>(group * kMaxBands + b)] =
                cb == kNoiseSlot ? kNoiseCodebook : cb;
        }
        end = start;
    }
    return best[static_cast<std::size_t>(bands)];
}

// The odd codebook of the smallest pair that carries `peak` (1 to 12), or the escape codebook.
int smallest_pair_for_peak(int peak) {
    if (peak <= 1) return 1;
    if (peak <= 2) return 3;
    if (peak <= 4) return 5;
    if (peak <= 7) return 7;
    if (peak <= 12) return 9;
    return kEscapeCodebook;
}

}  // namespace

int estimate_sections(ChannelFrame& frame) {
    int bits = 0;
    for (int g = 0; g < frame.group_count; ++g) {
        int run_codebook = -1;
        int run_length = 0;
        for (int b = 0; b < frame.max_sfb; ++b) {
            const auto values = frame.band_values(g, b);
            int peak = 0;
            for (int value : values) peak = std::max(peak, std::abs(value));
            int cb = 0;
            if (frame.noise[static_cast<std::size_t>(g * kMaxBands + b)] != 0) {
                cb = kNoiseCodebook;
            } else if (peak > 0) {
                cb = smallest_pair_for_peak(peak);
                if (cb == kEscapeCodebook) {
                    bits += count_spectrum_bits(kEscapeCodebook, values);
                } else {
                    const auto pair = count_spectrum_bits_pair(cb, values);
                    // Prefer the codebook the band before uses when it is no worse.
                    if (pair.second_bits < pair.first_bits ||
                        (pair.second_bits == pair.first_bits && run_codebook == cb + 1)) {
                        ++cb;
                        bits += pair.second_bits;
                    } else {
                        bits += pair.first_bits;
                    }
                }
            }
            frame.codebook[static_cast<std::size_t>(g * kMaxBands + b)] = cb;
            if (cb == run_codebook) {
                ++run_length;
            } else {
                if (run_length > 0) bits += section_cost_bits(frame, run_length);
                run_codebook = cb;
                run_length = 1;
            }
        }
        if (run_length > 0) bits += section_cost_bits(frame, run_length);
    }
    return bits;
}

int choose_sections(ChannelFrame& frame) {
    int bits = 0;
    for (int g = 0; g < frame.group_count; ++g) bits += choose_group_sections(frame, g);
    return bits;
}

int section_header_bits(const ChannelFrame& frame) {
    int bits = 0;
    for (int g = 0; g < frame.group_count; ++g) {
        for (int b = 0; b < frame.max_sfb;) {
            const int cb = frame.codebook[static_cast<std::size_t>(g * kMaxBands + b)];
            int end = b + 1;
            while (end < frame.max_sfb &&
                   frame.codebook[static_cast<std::size_t>(g * kMaxBands + end)] == cb)
                ++end;
            bits += section_cost_bits(frame, end - b);
            b = end;
        }
    }
    return bits;
}

}  // namespace heaac
