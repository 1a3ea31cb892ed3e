#include "shell/host/dialog_loop.h"

#include "platform/messaging/messaging.h"

namespace nb::shell {
namespace {

// One source for all nested dialog loops of the thread. It outranks the
// outer loop's queue source, so posted messages (a WM_QUIT among them) are
// taken here while a dialog lives.
struct NestedLoops {
    GSource* source = nullptr;
    GMainContext* context = nullptr;
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
    t_loops.context = context ? g_main_context_ref(context) : g_main_context_ref_thread_default();
    t_loops.source = g_source_new(&g_functions, sizeof(GSource));
    g_source_set_priority(t_loops.source, G_PRIORITY_DEFAULT - 1);
    // A message handler may itself wait with pumping (a worker start does).
    g_source_set_can_recurse(t_loops.source, TRUE);
    g_source_attach(t_loops.source, t_loops.context);
}

void Leave() {
    if (--t_loops.depth > 0) return;
    g_source_destroy(t_loops.source);
    g_source_unref(t_loops.source);
    g_main_context_unref(t_loops.context);
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
    while (alive == 1 && !t_loops.quit) g_main_context_iteration(t_loops.context, TRUE);
    const DialogLoopEnd end = t_loops.quit ? DialogLoopEnd::kQuit : DialogLoopEnd::kDialogGone;
    Leave();
    return end;
}

}  // namespace nb::shell
