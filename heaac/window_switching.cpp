// The attack test compares the high-passed energy of each 128-sample segment with the mean of
// the four before it. Short windows of a frame start 448 samples into its 2048-sample block,
// so the next frame's short windows cover history[1472, 2624).
#include "heaac/window_switching.h"

#include <algorithm>

namespace heaac {
namespace {

constexpr int kSegmentSamples = kShortWindowLines;
constexpr int kNextShortStart = kLongWindowLines + 448;
constexpr int kSegmentsBefore = 4;
// An attack is a segment 15 dB louder than the recent past and not near silence (a
// high-passed level of about -60 dB full scale). Lower ratios switched often on speech and
// cost more in aqm's measures than short windows gained.
constexpr double kAttackRatio = 30.0;
constexpr double kQuietEnergy = kSegmentSamples * 32.0 * 32.0;

double high_passed_energy(std::span<const float> history, int start) {
    double energy = 0.0;
    for (int n = start; n < start + kSegmentSamples; ++n) {
        const double difference =
            history[static_cast<std::size_t>(n)] - history[static_cast<std::size_t>(n) - 1];
        energy += difference * difference;
    }
    return energy;
}

WindowDecision short_decision(int attack_window) {
    // The attack window stands alone so its noise does not spread over the quiet windows
    // before it; the windows before and after it form one group each.
    WindowDecision decision{WindowSequence::kEightShort, 0, {}};
    const auto add_group = [&](int length) {
        if (length > 0)
            decision.group_length[static_cast<std::size_t>(decision.group_count++)] = length;
    };
    const int attack = std::max(attack_window, 0);
    add_group(attack);
    add_group(attack_window < 0 ? kShortWindowsPerFrame - attack : 1);
    if (attack_window >= 0) add_group(kShortWindowsPerFrame - attack - 1);
    return decision;
}

}  // namespace

int find_attack_window(std::span<const float> history) {
    std::array<double, kSegmentsBefore + kShortWindowsPerFrame + 1> energy{};
    for (std::size_t k = 0; k < energy.size(); ++k) {
        const int start =
            kNextShortStart + kSegmentSamples * (static_cast<int>(k) - kSegmentsBefore);
        energy[k] = high_passed_energy(history, start);
    }
    for (std::size_t k = kSegmentsBefore; k < energy.size(); ++k) {
        double recent = 0.0;
        for (std::size_t j = k - kSegmentsBefore; j < k; ++j) recent += energy[j];
        recent /= kSegmentsBefore;
        if (energy[k] > kQuietEnergy && energy[k] > kAttackRatio * recent) {
            // Segment m is the first half of window m and the second half of window m - 1.
            const int segment = static_cast<int>(k) - kSegmentsBefore;
            return std::clamp(segment - 1, 0, kShortWindowsPerFrame - 1);
        }
    }
    return -1;
}

WindowDecision WindowSequencer::next(int next_attack_window) {
    const bool previous_short = m_previous == WindowSequence::kEightShort;
    const bool next_short = next_attack_window >= 0;
    WindowDecision decision;
    if (m_current_attack_window >= 0) {
        decision = short_decision(m_current_attack_window);
    } else if (previous_short && next_short) {
        // Between two short frames no long window fits, so this one stays short too.
        decision = short_decision(-1);
    } else if (next_short) {
        decision.sequence = WindowSequence::kLongStart;
    } else if (previous_short) {
        decision.sequence = WindowSequence::kLongStop;
    }
    m_previous = decision.sequence;
    m_current_attack_window = next_attack_window;
    return decision;
}

}  // namespace heaac
