#include "platform/ui/key_state.h"

#include <atomic>

namespace {

NbKeyState NothingPressed(int) { return {}; }

std::atomic<KeyStatePresenter> g_presenter{&NothingPressed};

}  // namespace

NbKeyState NbGetKeyState(int virtual_key) { return g_presenter.load()(virtual_key); }

KeyStatePresenter NbSetKeyStatePresenter(KeyStatePresenter presenter) {
    return g_presenter.exchange(presenter ? presenter : &NothingPressed);
}
