#include "platform/ui/tooltip.h"

#include <algorithm>
#include <mutex>

namespace {

void ShowNothing(const NbTooltip&) {}
void HideNothing() {}

std::mutex g_lock;
TooltipPresenter g_presenter{&ShowNothing, &HideNothing};

TooltipPresenter Current() {
    std::lock_guard lock(g_lock);
    return g_presenter;
}

}  // namespace

void NbShowTooltip(const NbTooltip& tooltip) { Current().show(tooltip); }

void NbHideTooltip() { Current().hide(); }

TooltipPresenter NbSetTooltipPresenter(TooltipPresenter presenter) {
    std::lock_guard lock(g_lock);
    const TooltipPresenter previous = g_presenter;
    g_presenter = {presenter.show ? presenter.show : &ShowNothing,
                   presenter.hide ? presenter.hide : &HideNothing};
    return previous;
}

NbPoint NbTooltipScreenPoint(const NbRect* client_area, NbPoint offset) {
    if (!client_area) return offset;
    NbPoint point{std::min(client_area->left + offset.x, client_area->right),
                  client_area->top + offset.y - 1};
    if (point.y >= client_area->bottom) point.y = client_area->bottom - 2;
    return point;
}
