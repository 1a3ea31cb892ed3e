#pragma once
// Complex-modulated 64-band analysis filter bank of the encoder's SBR and parametric stereo
// stages: one slot of 64 subband samples per 64 input samples at 44100 Hz. Only energies and
// cross-spectra are taken from it, so its prototype is our own low-pass design rather than the
// decoder's window; the encoder calibrates its energy scale against the decoder's.
#include <array>
#include <complex>
#include <span>
#include <vector>

namespace heaac {

inline constexpr int kQmfBands = 64;
inline constexpr int kQmfPrototypeTaps = 640;
using QmfSlot = std::array<std::complex<float>, kQmfBands>;

class QmfAnalysis {
   public:
    QmfAnalysis();
    // Consumes the next 64 input samples and returns their slot. Band k is centred on
    // (k + 1/2) * 44100 / 128 Hz; a full-scale tone in the middle of a band gives |X|^2 of
    // about amplitude^2 / 4.
    void process(std::span<const float, kQmfBands> samples, QmfSlot& slot);
    // Input samples from a sample's arrival to the centre of the prototype it passes through.
    static constexpr int kDelaySamples = (kQmfPrototypeTaps - 1) / 2;

   private:
    std::vector<float> m_history;  // the newest 640 samples, oldest first
    std::array<std::complex<float>, 2 * kQmfBands> m_work{};
};

// In-place radix-2 complex FFT of a power-of-two length with exp(+i 2 pi k n / N) kernels.
class ComplexFft {
   public:
    explicit ComplexFft(int length);
    void inverse(std::span<std::complex<float>> data) const;

   private:
    int m_length;
    std::vector<std::complex<float>> m_twiddle;
    std::vector<int> m_bit_reverse;
};

}  // namespace heaac
