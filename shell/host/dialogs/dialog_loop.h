// The nested loop an opener runs while its dialog lives: the UI thread's
// GLib context keeps running (windows, pages, the channel, posted
// messages), so the dialog works while the opener's call waits for it.
#pragma once

#include <glib.h>

#include "platform/kernel/kernel.h"

namespace nb::shell {

enum class DialogLoopEnd {
    kDialogGone,  // the alive flag was cleared
    kQuit,        // a WM_QUIT arrived; it is posted again for the outer loop
};

// Iterates context (null: the thread-default one) while *alive is 1.
// Posted messages are dispatched by the loop itself, so a WM_QUIT ends it
// instead of being taken by the outer loop's queue source; nested dialog
// loops all end on it, and the outermost posts it again with its code.
DialogLoopEnd RunDialogLoop(const LONG& alive, GMainContext* context = nullptr);

}  // namespace nb::shell
