// EX_GetKeyStatus(code): whether a modifier key is held down, or Caps Lock
// switched on, as the display reports it now.
#include <iterator>

#include "common/error_report.h"
#include "external/frame/export.h"
#include "platform/ui/key_state.h"

namespace nb::external {
namespace {

constexpr NbArgumentKind kKinds[] = {NbArgumentKind::Integer};

struct KeyQuery {
    int virtual_key;
    bool asks_toggled;  // Caps Lock answers whether it is on, not whether it is held
};

// Codes 4151 to 4160 in order.
constexpr LONG kFirstCode = 4151;
constexpr KeyQuery kQueries[] = {
    {VK_SHIFT, false},    {VK_LSHIFT, false},   {VK_RSHIFT, false}, {VK_CONTROL, false},
    {VK_LCONTROL, false}, {VK_RCONTROL, false}, {VK_MENU, false},   {VK_LMENU, false},
    {VK_RMENU, false},    {VK_CAPITAL, true},
};

HRESULT GetKeyStatus(const ExCall& call) {
    if (HRESULT checked = call.CheckArguments(1, 1, kKinds); FAILED(checked)) return checked;
    const auto code = static_cast<LONG>(*NbReadInteger(call.Argument(0)));
    if (code < kFirstCode || code >= kFirstCode + static_cast<LONG>(std::size(kQueries)))
        return call.Fail(NB_ERROR_FUNCTION_FIRST,
                         u"Catastrophic: Invalid GetKeyStatus() parameter");
    const KeyQuery& query = kQueries[code - kFirstCode];
    const NbKeyState state = NbGetKeyState(query.virtual_key);
    return call.ReturnBoolean(query.asks_toggled ? state.toggled : state.down);
}

}  // namespace
}  // namespace nb::external

NB_DEFINE_EX_FUNCTION(GetKeyStatus, nb::external::GetKeyStatus);
