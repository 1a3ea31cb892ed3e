#include "platform/messaging/glib_loop.h"

#include "platform/kernel/kernel_state.h"

namespace nb {
namespace {

// A GLib source that is ready whenever the thread's message queue holds
// something; it may recurse, because a message handler may itself wait with
// pumping (an extension call starting a worker does).
struct QueueSource {
    GSource source;
    int quit_code;
    bool quit;
};

gboolean Prepare(GSource*, gint* timeout) {
    *timeout = -1;
    return HasPendingMessages();
}

gboolean Check(GSource*) { return HasPendingMessages(); }

gboolean Dispatch(GSource* source, GSourceFunc, gpointer loop) {
    auto* queue = reinterpret_cast<QueueSource*>(source);
    if (!DispatchPendingMessages(&queue->quit_code)) {
        queue->quit = true;
        g_main_loop_quit(static_cast<GMainLoop*>(loop));
    }
    return G_SOURCE_CONTINUE;
}

GSourceFuncs g_queue_functions = {Prepare, Check, Dispatch, nullptr, nullptr, nullptr};

void WakeContext(void* context) { g_main_context_wakeup(static_cast<GMainContext*>(context)); }

gboolean StopWaiting(gpointer) { return G_SOURCE_REMOVE; }

class GLibLoop final : public MessageLoop {
   public:
    explicit GLibLoop(GMainContext* context)
        : m_context(context ? g_main_context_ref(context) : g_main_context_ref_thread_default()),
          m_loop(g_main_loop_new(m_context, FALSE)),
          m_source(g_source_new(&g_queue_functions, sizeof(QueueSource))) {
        g_source_set_callback(m_source, nullptr, m_loop, nullptr);
        g_source_set_can_recurse(m_source, TRUE);
        g_source_attach(m_source, m_context);
        kernel::SetCurrentThreadWaker(&WakeContext, m_context);
    }
    ~GLibLoop() override {
        kernel::SetCurrentThreadWaker(nullptr, nullptr);
        g_source_destroy(m_source);
        g_source_unref(m_source);
        g_main_loop_unref(m_loop);
        g_main_context_unref(m_context);
    }

    int Run() override {
        auto* queue = reinterpret_cast<QueueSource*>(m_source);
        queue->quit = false;
        g_main_loop_run(m_loop);
        return queue->quit ? queue->quit_code : 0;
    }

    // The kernel's waker interrupts the iteration on every change, so one
    // iteration is enough; the caller checks its condition again.
    void WaitForChange(std::uint64_t seen_changes, DWORD milliseconds) override {
        if (CurrentChangeCount() != seen_changes) return;
        GSource* timer = nullptr;
        if (milliseconds != INFINITE) {
            timer = g_timeout_source_new(milliseconds);
            g_source_set_callback(timer, StopWaiting, nullptr, nullptr);
            g_source_attach(timer, m_context);
        }
        g_main_context_iteration(m_context, TRUE);
        if (timer) {
            g_source_destroy(timer);
            g_source_unref(timer);
        }
    }

   private:
    GMainContext* m_context;
    GMainLoop* m_loop;
    GSource* m_source;
};

}  // namespace

std::unique_ptr<MessageLoop> CreateGLibLoop(GMainContext* context) {
    return std::make_unique<GLibLoop>(context);
}

}  // namespace nb
