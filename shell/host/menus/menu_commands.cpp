// Menu commands of a shell window: the notification-area exit item and the
// items of the page's menus, chosen or reached through their shortcuts.
#include "shell/host/script_object/browser_customizer.h"

namespace nb::shell {

void CBrowserCustomizer::OnMenuCommand(int command) {
    constexpr int kExitCommand = 1;
    if (command == kExitCommand) {
        Exit();
        return;
    }
    const std::u16string callback = m_menus.CallbackFor(command);
    if (callback.empty()) return;
    Variant argument;
    argument.vt = VT_INT;
    argument.intVal = command % 1000;
    DISPPARAMS params{&argument, nullptr, 1, 0};
    Variant answer;
    CallFunction(callback.c_str(), &params, &answer);
}

}  // namespace nb::shell
