// EX_MsgBox(text, caption, type): the system's message box, modal to the
// shell window; type carries the button set, icon and default button bits,
// and the answer is the pressed button's code (1 OK ... 7 No).
#include "platform/ui/message_box.h"

#include "external/frame/export.h"

namespace nb::external {
namespace {

constexpr NbArgumentKind kKinds[] = {NbArgumentKind::String, NbArgumentKind::String,
                                     NbArgumentKind::Integer};

HRESULT MsgBox(const ExCall& call) {
    if (HRESULT checked = call.CheckArguments(3, 3, kKinds); FAILED(checked)) return checked;
    const auto type = static_cast<UINT>(*NbReadInteger(call.Argument(2)));
    return call.ReturnInteger(MessageBoxW(call.frame().shell_window, NbReadString(call.Argument(0)),
                                          NbReadString(call.Argument(1)), type));
}

}  // namespace
}  // namespace nb::external

NB_DEFINE_EX_FUNCTION(MsgBox, nb::external::MsgBox);
