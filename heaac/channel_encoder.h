#pragma once
// One channel's analysis: input history with one frame of look-ahead, windowing, MDCT (one
// long or eight short transforms) and psychoacoustic thresholds.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "heaac/channel_frame.h"
#include "heaac/mdct.h"
#include "heaac/tables_swb.h"
#include "heaac/window_switching.h"

namespace heaac {

class ChannelEncoder {
   public:
    ChannelEncoder(const BandLayout& layout, int rate_hz, int max_sfb);

    // Takes the next 1024 samples (every `stride`-th of `interleaved`, from `channel`) as
    // look-ahead; returns the short window of the next frame where an attack starts, or -1.
    [[nodiscard]] int push_samples(std::span<const float> interleaved, int stride, int channel);
    // Transforms the current frame with `decision` and computes band energies and allowed
    // noise per group and band.
    void transform(const WindowDecision& decision);

    [[nodiscard]] ChannelFrame frame_template() const;
    [[nodiscard]] std::span<const float> coefficients() const { return m_coefficients; }
    [[nodiscard]] std::span<float> coefficients() { return m_coefficients; }
    [[nodiscard]] std::span<const float> allowed_noise() const { return m_allowed_noise; }
    [[nodiscard]] std::span<float> allowed_noise() { return m_allowed_noise; }
    [[nodiscard]] std::span<const float> band_energy() const { return m_band_energy; }
    // Per group and band: kNoiseBand where the band is noise-like enough to be sent as noise
    // (PNS), kNoiseWhereSilent where it may be when it quantises to nothing, else 0.
    [[nodiscard]] std::span<const std::uint8_t> noise_bands() const { return m_noise_bands; }
    [[nodiscard]] std::span<std::uint8_t> noise_bands() { return m_noise_bands; }
    // The rate loop's offset of the previous frame, where the next search starts.
    [[nodiscard]] int rate_offset() const { return m_rate_offset; }
    void set_rate_offset(int offset) { m_rate_offset = offset; }

   private:
    void transform_long();
    void transform_short();

    BandLayout m_layout;
    int m_rate_hz;
    int m_max_sfb;
    int m_short_max_sfb;
    int m_rate_offset = 0;
    WindowDecision m_decision;
    Mdct m_long_mdct{kLongWindowLines};
    Mdct m_short_mdct{kShortWindowLines};
    std::vector<float> m_long_window;   // KBD, 2048 points
    std::vector<float> m_short_window;  // KBD, 256 points
    std::vector<float> m_history;       // the current 2048-sample block and 1024 look-ahead samples
    std::vector<float> m_windowed;
    std::array<float, kLongWindowLines> m_coefficients{};
    std::array<float, kMaxGroups * kMaxBands> m_band_energy{};
    std::array<float, kMaxGroups * kMaxBands> m_allowed_noise{};
    std::array<std::uint8_t, kMaxGroups * kMaxBands> m_noise_bands{};
    int m_noise_start_line;  // first line a noise band may start at
};

}  // namespace heaac
