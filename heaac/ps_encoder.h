#pragma once
// Parametric stereo analysis: per stereo band (the 20-band configuration) the inter-channel
// level difference and coherence of the left and right subband samples, quantised on the
// default grids and Huffman-coded as ps_data() for the SBR extension.
#include <array>
#include <span>

#include "heaac/bit_writer.h"
#include "heaac/sbr_qmf.h"

namespace heaac {

inline constexpr int kPsBands = 20;

class PsEncoder {
   public:
    PsEncoder();

    // Analyses one frame of left and right slots and returns ps_data() bits. Both spans hold
    // the frame's slots with kHybridMarginSlots (ps_hybrid.h) more on either side.
    [[nodiscard]] BitWriter encode_frame(std::span<const QmfSlot> left,
                                         std::span<const QmfSlot> right);

    // Quantiser indices of the last frame (level difference -7..7, coherence 0..7; for tests).
    [[nodiscard]] const std::array<int, kPsBands>& iid_indices() const { return m_iid; }
    [[nodiscard]] const std::array<int, kPsBands>& icc_indices() const { return m_icc; }

   private:
    std::array<int, kPsBands> m_iid{};
    std::array<int, kPsBands> m_icc{};
    std::array<int, kPsBands> m_previous_iid{};
    std::array<int, kPsBands> m_previous_icc{};
    bool m_have_previous = false;
    int m_frames = 0;
};

}  // namespace heaac
