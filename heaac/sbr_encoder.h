#pragma once
// SBR analysis of one channel (the downmix): the time grid from a transient detector, the
// spectral envelope, the noise floor, inverse filtering levels and missing harmonics, estimated
// from the 64-band subband samples of the 44100 Hz signal, then coded by SbrWriter.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "heaac/bit_writer.h"
#include "heaac/sbr_frequency.h"
#include "heaac/sbr_qmf.h"
#include "heaac/sbr_writer.h"

namespace heaac {

inline constexpr int kSbrFrameSlots = 32;  // QMF slots per frame (16 time slots of 2)
using EnergySlot = std::array<float, kQmfBands>;

struct SbrTuning {
    SbrHeaderFields header;
    // A slot whose high-band energy exceeds this many times the recent mean starts a transient.
    float transient_factor = 8.0F;
};

class SbrEncoder {
   public:
    [[nodiscard]] static std::unique_ptr<SbrEncoder> create(const SbrTuning& tuning);

    [[nodiscard]] const SbrBands& bands() const { return m_bands; }
    // Lowest frequency SBR recreates; the core codes nothing above it.
    [[nodiscard]] int crossover_hz() const;

    // `energy` and `signal` hold the frame's 32 slots (followed by `kLookaheadSlots` more,
    // none so far): per band the energy to reproduce, and the complex downmix for tonality.
    // `extension` carries ps_data() bits. Returns one extension_payload() for the core's fill
    // element.
    static constexpr int kLookaheadSlots = 0;
    [[nodiscard]] std::vector<std::uint8_t> encode_frame(std::span<const EnergySlot> energy,
                                                         std::span<const QmfSlot> signal,
                                                         const BitWriter& extension);

    // What the analysis chose for the last frame (for tests).
    [[nodiscard]] const SbrFrameData& last_frame() const { return m_frame; }

   private:
    SbrEncoder(const SbrTuning& tuning, const SbrBands& bands);
    // Chooses the frame's time grid (class, envelopes, borders) into m_frame.
    void choose_grid(std::span<const EnergySlot> energy);
    void set_transient_grid(int transient_slot);
    void estimate_envelopes(std::span<const EnergySlot> energy);
    void estimate_noise_and_tonality(std::span<const EnergySlot> energy,
                                     std::span<const QmfSlot> signal);
    void detect_missing_harmonics(std::span<const QmfSlot> signal);

    SbrTuning m_tuning;
    SbrBands m_bands;
    SbrWriter m_writer;
    SbrFrameData m_frame;
    std::array<std::uint8_t, kMaxSbrBands> m_harmonic{};  // the last frame's added sines
    float m_recent_energy = 0.0F;  // smoothed high-band energy per slot before the current one
    int m_frames = 0;
};

}  // namespace heaac
