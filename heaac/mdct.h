#pragma once
// Forward MDCT of AAC: 2N windowed samples to N coefficients,
// X[k] = 2 * sum z[n] cos(2 pi / (2N) * (n + n0) * (k + 1/2)), n0 = (N + 1) / 2,
// the scaling the decoder's inverse transform expects (ISO/IEC 14496-3, 4.6.11).
#include <complex>
#include <span>
#include <vector>

namespace heaac {

class Mdct {
   public:
    // `coefficient_count` is N: 1024 for long windows, 128 for short; a power of two.
    explicit Mdct(int coefficient_count);

    // `windowed` holds 2N samples, `coefficients` receives N values.
    void forward(std::span<const float> windowed, std::span<float> coefficients);

   private:
    void fft_in_place();

    int m_size;  // N
    std::vector<std::complex<float>> m_pre_twiddle;
    std::vector<std::complex<float>> m_post_twiddle;
    std::vector<std::complex<float>> m_fft_twiddle;
    std::vector<int> m_bit_reverse;
    std::vector<float> m_folded;
    std::vector<std::complex<float>> m_work;
};

}  // namespace heaac
