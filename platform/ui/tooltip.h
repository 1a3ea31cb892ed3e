// The one tooltip of a window: a tip (plain or balloon) pointing at a spot
// of the window's client area, replaced by the next one shown, until hidden.
// The default presenter shows nothing; the shell installs one that shows a
// real tooltip, and tests install one that records what was shown.
#pragma once

#include <string>

#include "platform/automation/wintypes.h"

enum class NbTooltipIcon { kNone, kInformation, kWarning, kError };
enum class NbTooltipShape { kRectangle, kBalloon };

struct NbPoint {
    int x = 0;
    int y = 0;
};

struct NbRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

struct NbTooltip {
    HWND owner = nullptr;
    std::u16string text;
    NbPoint offset;     // pixels from the top-left of the owner's client area
    int max_width = 0;  // pixels; 0: lines as long as the text's
    NbTooltipIcon icon = NbTooltipIcon::kNone;
    std::u16string title;  // shown above the text with the icon
    bool close_button = false;
    NbTooltipShape shape = NbTooltipShape::kBalloon;
};

struct TooltipPresenter {
    void (*show)(const NbTooltip& tooltip);
    void (*hide)();
};

NB_EXPORT void NbShowTooltip(const NbTooltip& tooltip);
NB_EXPORT void NbHideTooltip();
// Installs a presenter (a null member restores the default's) and returns
// the previous one.
NB_EXPORT TooltipPresenter NbSetTooltipPresenter(TooltipPresenter presenter);

// Where on the screen a tip at offset points, given the owner's client area
// in screen pixels: no further right than the area's right edge, one pixel
// above the offset, and two pixels above the area's bottom when it would be
// at or below it. With no client area known, the offset itself.
NB_EXPORT NbPoint NbTooltipScreenPoint(const NbRect* client_area, NbPoint offset);
