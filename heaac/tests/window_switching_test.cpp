#include "heaac/window_switching.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <numeric>
#include <vector>

namespace heaac {
namespace {

// Which sequence may follow which (ISO/IEC 14496-3, 4.6.11: a short frame needs a start
// window before it and a stop window after it).
bool may_follow(WindowSequence previous, WindowSequence next) {
    const bool previous_ends_long =
        previous == WindowSequence::kOnlyLong || previous == WindowSequence::kLongStop;
    const bool next_starts_long =
        next == WindowSequence::kOnlyLong || next == WindowSequence::kLongStart;
    return previous_ends_long == next_starts_long;
}

// Any pattern of attacks yields legal transitions, every frame with an attack is short, and
// the attack window sits in a group of its own.
TEST(WindowSequencer, KeepsTransitionsLegalAndAttacksShort) {
    WindowSequencer sequencer;
    WindowSequence previous = WindowSequence::kOnlyLong;
    int pending_attack = -1;
    unsigned state = 12345;
    for (int frame = 0; frame < 400; ++frame) {
        state = state * 1103515245U + 12345U;
        const int attack = (state >> 16) % 5 == 0 ? static_cast<int>((state >> 8) % 8) : -1;
        const WindowDecision decision = sequencer.next(attack);
        ASSERT_TRUE(may_follow(previous, decision.sequence)) << "frame " << frame;
        if (decision.sequence == WindowSequence::kEightShort) {
            const int windows =
                std::accumulate(decision.group_length.begin(),
                                decision.group_length.begin() + decision.group_count, 0);
            EXPECT_EQ(windows, 8);
        }
        if (pending_attack >= 0) {
            ASSERT_EQ(decision.sequence, WindowSequence::kEightShort) << "frame " << frame;
            int first = 0;
            int group = 0;
            while (first + decision.group_length[static_cast<std::size_t>(group)] <=
                   pending_attack) {
                first += decision.group_length[static_cast<std::size_t>(group++)];
            }
            EXPECT_EQ(first, pending_attack);
            EXPECT_EQ(decision.group_length[static_cast<std::size_t>(group)], 1);
        }
        previous = decision.sequence;
        pending_attack = attack;
    }
}

struct AttackCase {
    const char* name;
    int click_sample;  // in the 3072-sample history, or -1 for none
    int expected_window;
};

class AttackDetection : public ::testing::TestWithParam<AttackCase> {};

// A click over a steady tone is found in the short window of the next frame that holds it;
// the tone alone is no attack.
TEST_P(AttackDetection, FindsTheWindowOfTheClick) {
    std::vector<float> history(3072);
    for (std::size_t n = 0; n < history.size(); ++n) {
        history[n] = 3000.0F * static_cast<float>(std::sin(2.0 * std::numbers::pi * 440.0 *
                                                           static_cast<double>(n) / 44100.0));
    }
    const int click = GetParam().click_sample;
    if (click >= 0) {
        for (int n = click; n < click + 64; ++n)
            history[static_cast<std::size_t>(n)] += (n % 2 ? 20000.0F : -20000.0F);
    }
    EXPECT_EQ(find_attack_window(history), GetParam().expected_window);
}

// The next frame's short windows start at sample 1472, 128 apart, each 256 long.
const AttackCase kAttacks[] = {
    {"none", -1, -1},
    {"first_window", 1480, 0},
    {"middle", 1472 + 4 * 128 + 10, 3},
    {"last_window", 1472 + 8 * 128 + 10, 7},
};

INSTANTIATE_TEST_SUITE_P(Clicks, AttackDetection, ::testing::ValuesIn(kAttacks),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
}  // namespace heaac
