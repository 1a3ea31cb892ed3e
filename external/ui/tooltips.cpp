// EX_ShowTooltip(text, x, y[, maxWidth[, icon[, title[, closeButton[,
// balloon]]]]]) and EX_HideTooltip(): a tip pointing at a point of the shell
// window's client area, given in page pixels and scaled by the
// application's DPI.
#include "external/frame/export.h"
#include "external/ui/tooltip_state.h"

namespace nb::external {
namespace {

constexpr NbArgumentKind kKinds[] = {NbArgumentKind::String,  NbArgumentKind::Integer,
                                     NbArgumentKind::Integer, NbArgumentKind::Integer,
                                     NbArgumentKind::Integer, NbArgumentKind::String,
                                     NbArgumentKind::Boolean, NbArgumentKind::Boolean};

constexpr double kBaseDpi = 96.0;

struct Scale {
    double x = 1.0;
    double y = 1.0;
};

// A block the shell has not filled in scales nothing.
double FactorOf(DWORD dpi) { return dpi ? dpi / kBaseDpi : 1.0; }

Scale ScaleOf(const SystemInformation* system) {
    if (!system) return {};
    return {FactorOf(system->application_dpi_x), FactorOf(system->application_dpi_y)};
}

LONG IntegerAt(const ExCall& call, UINT index) {
    return static_cast<LONG>(*NbReadInteger(call.Argument(index)));
}

int Scaled(LONG value, double factor) { return static_cast<int>(value * factor); }

HRESULT ShowTooltip(const ExCall& call) {
    if (HRESULT checked = call.CheckArguments(3, 8, kKinds); FAILED(checked)) return checked;
    const UINT count = call.ArgumentCount();
    const Scale scale = ScaleOf(call.frame().system);
    TooltipCall tip;
    tip.owner = call.frame().shell_window;
    if (LPCWSTR text = NbReadString(call.Argument(0))) tip.text = text;
    tip.offset = {Scaled(IntegerAt(call, 1), scale.x), Scaled(IntegerAt(call, 2), scale.y)};
    if (count > 3) tip.max_width = Scaled(IntegerAt(call, 3), scale.x);
    if (count > 4) tip.icon = TooltipIconOf(IntegerAt(call, 4));
    if (count > 5) {
        LPCWSTR title = NbReadString(call.Argument(5));
        tip.title = title ? title : u"";
    }
    if (count > 6) tip.close_button = NbReadBoolean(call.Argument(6));
    if (count > 7) tip.balloon = NbReadBoolean(call.Argument(7));
    NbShowTooltip(ProcessTooltip().Apply(tip));
    return S_OK;
}

HRESULT HideTooltip(const ExCall&) {
    if (ProcessTooltip().Exists()) NbHideTooltip();
    return S_OK;
}

}  // namespace
}  // namespace nb::external

NB_DEFINE_EX_FUNCTION(ShowTooltip, nb::external::ShowTooltip);
NB_DEFINE_EX_FUNCTION(HideTooltip, nb::external::HideTooltip);
