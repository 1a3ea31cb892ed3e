#pragma once
// Bitstream side of the SBR encoder: the header, the FIXFIX time grid, and the envelope and
// noise floor values delta-coded in time or frequency, whichever costs fewer bits.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "heaac/bit_writer.h"
#include "heaac/sbr_frequency.h"
#include "heaac/sbr_tables.h"

namespace heaac {

inline constexpr int kMaxEnvelopes = 4;
inline constexpr int kMaxNoiseEnvelopes = 2;
inline constexpr int kMaxNoiseBands = 5;
inline constexpr int kMaxSbrBands = 64;

enum class SbrFrameClass { kFixFix = 0, kFixVar = 1, kVarFix = 2 };

// One frame's quantised SBR data for one channel.
struct SbrFrameData {
    // FIXFIX: 1, 2 or 4 equal envelopes. FIXVAR and VARFIX: borders placed around a transient,
    // in time slots (two subband slots each) from 0 to 16, the frame's own; `pointer` marks
    // the transient's envelope as the bitstream counts it.
    SbrFrameClass frame_class = SbrFrameClass::kFixFix;
    int envelope_count = 1;
    std::array<int, kMaxEnvelopes + 1> borders{0, 16};
    int pointer = 0;
    int freq_res = 1;  // 1: the high-resolution band table, 0: the low one
    int amp_res = 0;   // 0: 1.5 dB steps, 1: 3 dB steps (FIXFIX with one envelope: always 0)
    std::array<std::array<int, kMaxSbrBands>, kMaxEnvelopes> envelope{};
    std::array<std::array<int, kMaxNoiseBands>, kMaxNoiseEnvelopes> noise{};
    std::array<int, kMaxNoiseBands> invf_mode{};
    std::array<std::uint8_t, kMaxSbrBands> add_harmonic{};  // per high-resolution band
    [[nodiscard]] int noise_envelope_count() const { return envelope_count > 1 ? 2 : 1; }
    // Index of the envelope border between the two noise floors (ISO/IEC 14496-3, 4.6.18.3.3).
    [[nodiscard]] int noise_middle_border() const;
    // Sets FIXFIX borders for `count` equal envelopes.
    void set_equal_envelopes(int count);
};

struct SbrHeaderFields {
    int amp_res = 1;
    SbrBandParams bands;
};

// Appends the low `length` bits of `code`.
inline void write_code(BitWriter& writer, const HuffmanCode& code) {
    writer.write(code.code, code.length);
}
// Appends every bit of `source`.
void append_bits(BitWriter& writer, const BitWriter& source);

class SbrWriter {
   public:
    SbrWriter(const SbrHeaderFields& header, const SbrBands& bands);

    // Writes one extension_payload(): EXT_SBR_DATA, the header when asked for, the frame of a
    // single channel element, and `extension` (ps_data() bits, may be empty) as its extended
    // data, padded to whole bytes. Clamps `frame` values the tables cannot code and remembers
    // them for the next frame's time deltas.
    [[nodiscard]] std::vector<std::uint8_t> write_payload(SbrFrameData& frame, bool with_header,
                                                          const BitWriter& extension);

   private:
    void write_header(BitWriter& writer) const;
    void write_envelopes(BitWriter& writer, SbrFrameData& frame, std::span<int> df_flags);
    [[nodiscard]] int band_count(int freq_res) const;
    // The previous envelope's value for band `band` of the given resolution, as the decoder maps
    // it.
    [[nodiscard]] int previous_value(int band, int freq_res) const;

    SbrHeaderFields m_header;
    SbrBands m_bands;
    bool m_have_previous = false;
    int m_previous_freq_res = 1;
    std::array<int, kMaxSbrBands> m_previous_envelope{};
    std::array<int, kMaxNoiseBands> m_previous_noise{};
};

}  // namespace heaac
