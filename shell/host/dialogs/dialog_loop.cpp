#include "shell/host/dialogs/dialog_loop.h"

#include "platform/glib/owned.h"
#include "platform/messaging/messaging.h"

namespace nb::shell {
namespace {

// One source for all nested dialog loops of the thread. It outranks the
// outer loop's queue source, so posted messages (a WM_QUIT among them) are
// taken here while a dialog lives.
struct NestedLoops {
    glib::Source source;
    glib::MainContext context;
    int depth = 0;
    bool quit = false;
    int quit_code = 0;
};

thread_local NestedLoops t_loops;

gboolean Prepare(GSource*, gint* timeout) {
    *timeout = -1;
    return !t_loops.quit && HasPendingMessages();
}

gboolean Check(GSource*) { return !t_loops.quit && HasPendingMessages(); }

gboolean Dispatch(GSource*, GSourceFunc, gpointer) {
    int code = 0;
    if (!DispatchPendingMessages(&code)) {
        t_loops.quit = true;
        t_loops.quit_code = code;
    }
    return G_SOURCE_CONTINUE;
}

GSourceFuncs g_functions = {Prepare, Check, Dispatch, nullptr, nullptr, nullptr};

void Enter(GMainContext* context) {
    if (t_loops.depth++ > 0) return;
    t_loops.context.reset(context ? g_main_context_ref(context)
                                  : g_main_context_ref_thread_default());
    t_loops.source.reset(g_source_new(&g_functions, sizeof(GSource)));
    g_source_set_priority(t_loops.source.get(), G_PRIORITY_DEFAULT - 1);
    // A message handler may itself wait with pumping (a worker start does).
    g_source_set_can_recurse(t_loops.source.get(), TRUE);
    g_source_attach(t_loops.source.get(), t_loops.context.get());
}

void Leave() {
    if (--t_loops.depth > 0) return;
    g_source_destroy(t_loops.source.get());
    const bool quit = t_loops.quit;
    const int code = t_loops.quit_code;
    t_loops = NestedLoops{};
    if (quit) PostQuitMessage(code);
}

}  // namespace

DialogLoopEnd RunDialogLoop(const LONG& alive, GMainContext* context) {
    Enter(context);
    // Messages waiting before the loop starts count as well.
    int code = 0;
    if (!DispatchPendingMessages(&code)) {
        t_loops.quit = true;
        t_loops.quit_code = code;
    }
    while (alive == 1 && !t_loops.quit) g_main_context_iteration(t_loops.context.get(), TRUE);
    const DialogLoopEnd end = t_loops.quit ? DialogLoopEnd::kQuit : DialogLoopEnd::kDialogGone;
    Leave();
    return end;
}

}  // namespace nb::shell
