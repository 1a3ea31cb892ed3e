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

int length_bits_per_field(const ChannelFrame& frame) { return frame.is_short() ? 3 : 5; }

int section_cost_bits(const ChannelFrame& frame, int band_count) {
    const int field_bits = length_bits_per_field(frame);
    const int escape = (1 << field_bits) - 1;
    return kCodebookBits + field_bits * (1 + band_count / escape);
}

int choose_group_sections(ChannelFrame& frame, int group) {
    const int bands = frame.max_sfb;
    std::array<std::array<int, kMaxBands>, kCodebookCount> band_bits{};
    for (int b = 0; b < bands; ++b) {
        const auto values = frame.band_values(group, b);
        int peak = 0;
        for (int value : values) peak = std::max(peak, std::abs(value));
        // Codebooks too small for the band's peak cannot code it; skipping them saves most
        // of the counting, which dominates the encoder's time.
        const auto set_bits = [&](int cb, int bits) {
            band_bits[static_cast<std::size_t>(cb)][static_cast<std::size_t>(b)] = bits;
        };
        set_bits(0, peak == 0 ? 0 : kUncodableBits);
        for (int cb = 1; cb < kEscapeCodebook; cb += 2) {
            const auto pair = peak <= codebook_max_magnitude(cb) ? count_spectrum_bits_pair(cb, values)
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
        for (int cb = 0; cb < kCodebookCount; ++cb) {
            int run_bits = 0;
            for (int start = end - 1; start >= 0; --start) {
                const int bits = band_bits[static_cast<std::size_t>(cb)][static_cast<std::size_t>(start)];
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
            frame.codebook[static_cast<std::size_t>(group * kMaxBands + b)] =
                best_codebook[static_cast<std::size_t>(end)];
        }
        end = start;
    }
    return best[static_cast<std::size_t>(bands)];
}

}  // namespace

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
            while (end < frame.max_sfb && frame.codebook[static_cast<std::size_t>(g * kMaxBands + end)] == cb) ++end;
            bits += section_cost_bits(frame, end - b);
            b = end;
        }
    }
    return bits;
}

}  // namespace heaac
