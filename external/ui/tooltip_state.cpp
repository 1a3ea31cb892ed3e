#include "external/ui/tooltip_state.h"

namespace nb::external {

NbTooltip TooltipState::Apply(const TooltipCall& call) {
    if (!m_current || m_current->owner != call.owner) {
        NbTooltip made;
        made.owner = call.owner;
        made.close_button = call.close_button.value_or(false);
        made.shape =
            call.balloon.value_or(true) ? NbTooltipShape::kBalloon : NbTooltipShape::kRectangle;
        m_current = made;
    }
    m_current->text = call.text;
    m_current->offset = call.offset;
    // A width of 0 asks for nothing; the earlier width stays.
    if (call.max_width && *call.max_width != 0) m_current->max_width = *call.max_width;
    if (call.icon || call.title) {
        m_current->icon = call.icon.value_or(NbTooltipIcon::kNone);
        m_current->title = call.title.value_or(std::u16string());
    }
    return *m_current;
}

TooltipState& ProcessTooltip() {
    static TooltipState state;
    return state;
}

NbTooltipIcon TooltipIconOf(LONG code) {
    switch (code) {
        case 4002:
            return NbTooltipIcon::kInformation;
        case 4003:
            return NbTooltipIcon::kWarning;
        case 4004:
            return NbTooltipIcon::kError;
        default:
            return NbTooltipIcon::kNone;
    }
}

}  // namespace nb::external
