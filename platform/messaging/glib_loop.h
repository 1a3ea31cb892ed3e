// The message loop of a thread that runs a GLib main context (the shell's
// user-interface thread): queued messages are dispatched from a GLib source,
// and pumping waits iterate the context, so GTK keeps running during them.
#pragma once

#include <glib.h>

#include <memory>

#include "platform/messaging/messaging.h"

namespace nb {

// For the calling thread and the given context (null: the thread-default
// one). Install it with SetCurrentThreadLoop before pumping waits use it.
NB_EXPORT std::unique_ptr<MessageLoop> CreateGLibLoop(GMainContext* context);

}  // namespace nb
