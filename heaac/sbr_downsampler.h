#pragma once
// Halves the sample rate (44100 to 22050 Hz) for the core: a linear-phase half-band low-pass
// FIR and every second sample. Half-band, every second tap is zero; what it lets alias lies
// above 10 kHz, and the SBR crossover sits far below that.
#include <span>
#include <vector>

namespace heaac {

class Downsampler {
   public:
    Downsampler();
    static constexpr int kTaps = 129;
    // Input samples (at 44100 Hz) by which the output lags: the filter's group delay.
    static constexpr int kDelayInputSamples = (kTaps - 1) / 2;
    // `input` holds an even number of samples; `output` receives half as many.
    void process(std::span<const float> input, std::span<float> output);

   private:
    std::vector<float> m_odd_taps;  // taps at odd distances from the centre, one side
    float m_centre_tap = 0.5F;
    std::vector<float> m_history;  // the last kTaps - 1 input samples, then the new block
};

}  // namespace heaac
