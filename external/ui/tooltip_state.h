// The one tooltip of the process, as the calls of a page shape it: a tooltip
// is made for a shell window the first time that window shows one, with the
// look asked for then (balloon or plain, close button); later calls for the
// same window replace its text and position and, when they give them, its
// width, icon and title. A call for another window makes it anew.
#pragma once

#include <optional>
#include <string>

#include "platform/ui/tooltip.h"

namespace nb::external {

// One EX_ShowTooltip call, its optional arguments as given.
struct TooltipCall {
    HWND owner = nullptr;
    std::u16string text;
    NbPoint offset;                // client pixels, already scaled
    std::optional<int> max_width;  // scaled pixels
    std::optional<NbTooltipIcon> icon;
    std::optional<std::u16string> title;
    std::optional<bool> close_button;
    std::optional<bool> balloon;
};

class TooltipState {
   public:
    // The tooltip to show after this call.
    NbTooltip Apply(const TooltipCall& call);
    // Whether a tooltip was ever made (hiding needs one).
    bool Exists() const { return m_current.has_value(); }

   private:
    std::optional<NbTooltip> m_current;
};

// The process's state; touched on the shell's thread only.
TooltipState& ProcessTooltip();

// Icon codes 4002 information, 4003 warning, 4004 error; any other none.
NbTooltipIcon TooltipIconOf(LONG code);

}  // namespace nb::external
