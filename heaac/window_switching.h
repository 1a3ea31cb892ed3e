#pragma once
// Choice of window sequence per frame: a transient detector looks one frame ahead, and the
// sequencer inserts start and stop windows around runs of short-window frames.
#include <array>
#include <span>

#include "heaac/channel_frame.h"

namespace heaac {

struct WindowDecision {
    WindowSequence sequence = WindowSequence::kOnlyLong;
    int group_count = 1;
    std::array<int, kMaxGroups> group_length{1};
};

// Returns the short window (0 to 7) of the next frame where an attack starts, or -1.
// `history` holds the current frame's 2048-sample block followed by the next 1024 samples.
[[nodiscard]] int find_attack_window(std::span<const float> history);

class WindowSequencer {
   public:
    // The decision for the current frame, given the attack window found for the next one
    // (-1 for none); the attack becomes the current frame's on the following call.
    [[nodiscard]] WindowDecision next(int next_attack_window);

   private:
    int m_current_attack_window = -1;
    WindowSequence m_previous = WindowSequence::kOnlyLong;
};

}  // namespace heaac
