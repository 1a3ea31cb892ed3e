// The MDCT folds 2N inputs into an N-point DCT-IV, which is computed with an N/2-point complex
// FFT between a pre- and a post-rotation.
#include "heaac/mdct.h"

#include <cmath>
#include <numbers>

namespace heaac {

Mdct::Mdct(int coefficient_count)
    : m_size(coefficient_count),
      m_pre_twiddle(static_cast<std::size_t>(coefficient_count / 2)),
      m_post_twiddle(static_cast<std::size_t>(coefficient_count / 2)),
      m_fft_twiddle(static_cast<std::size_t>(coefficient_count / 4)),
      m_bit_reverse(static_cast<std::size_t>(coefficient_count / 2)),
      m_folded(static_cast<std::size_t>(coefficient_count)),
      m_work(static_cast<std::size_t>(coefficient_count / 2)) {
    const double pi = std::numbers::pi;
    const int half = m_size / 2;
    for (int n = 0; n < half; ++n) {
        m_pre_twiddle[static_cast<std::size_t>(n)] =
            std::polar(1.0F, static_cast<float>(-pi * (n + 0.25) / m_size));
        // The factor 2 of the AAC forward transform rides on the post-rotation.
        m_post_twiddle[static_cast<std::size_t>(n)] =
            std::polar(2.0F, static_cast<float>(-pi * n / m_size));
    }
    for (int n = 0; n < half / 2; ++n) {
        m_fft_twiddle[static_cast<std::size_t>(n)] =
            std::polar(1.0F, static_cast<float>(-2.0 * pi * n / half));
    }
    int bits = 0;
    while ((1 << bits) < half) ++bits;
    for (int n = 0; n < half; ++n) {
        int reversed = 0;
        for (int b = 0; b < bits; ++b) reversed |= ((n >> b) & 1) << (bits - 1 - b);
        m_bit_reverse[static_cast<std::size_t>(n)] = reversed;
    }
}

void Mdct::fft_in_place() {
    const int length = m_size / 2;
    for (int n = 0; n < length; ++n) {
        const int r = m_bit_reverse[static_cast<std::size_t>(n)];
        if (r > n)
            std::swap(m_work[static_cast<std::size_t>(n)], m_work[static_cast<std::size_t>(r)]);
    }
    for (int span = 2; span <= length; span *= 2) {
        const int stride = length / span;
        for (int block = 0; block < length; block += span) {
            for (int i = 0; i < span / 2; ++i) {
                auto& even = m_work[static_cast<std::size_t>(block + i)];
                auto& odd = m_work[static_cast<std::size_t>(block + i + span / 2)];
                const auto rotated = odd * m_fft_twiddle[static_cast<std::size_t>(i * stride)];
                odd = even - rotated;
                even += rotated;
            }
        }
    }
}

void Mdct::forward(std::span<const float> windowed, std::span<float> coefficients) {
    const auto n_size = static_cast<std::size_t>(m_size);
    const std::size_t quarter = n_size / 2;  // a quarter of the 2N input
    // Quarters a, b, c, d of the input fold into (-c_reversed - d, a - b_reversed).
    for (std::size_t n = 0; n < quarter; ++n) {
        m_folded[n] = -windowed[n_size + quarter - 1 - n] - windowed[n_size + quarter + n];
        m_folded[quarter + n] = windowed[n] - windowed[n_size - 1 - n];
    }
    for (std::size_t n = 0; n < quarter; ++n) {
        m_work[n] =
            std::complex<float>(m_folded[2 * n], m_folded[n_size - 1 - 2 * n]) * m_pre_twiddle[n];
    }
    fft_in_place();
    for (std::size_t k = 0; k < quarter; ++k) {
        const auto rotated = m_work[k] * m_post_twiddle[k];
        coefficients[2 * k] = rotated.real();
        coefficients[n_size - 1 - 2 * k] = -rotated.imag();
    }
}

}  // namespace heaac
