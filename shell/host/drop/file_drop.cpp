#include "shell/host/drop/file_drop.h"

#include <algorithm>
#include <utility>

#include "common/variant_text.h"
#include "platform/automation/com_ptr.h"
#include "shell/host/drop/drop_rules.h"

namespace nb::shell {
namespace {

constexpr char kFileList[] = "text/uri-list";

bool OffersFileList(GdkDragContext* context) {
    const GdkAtom file_list = gdk_atom_intern_static_string(kFileList);
    for (GList* target = gdk_drag_context_list_targets(context); target; target = target->next)
        if (GDK_POINTER_TO_ATOM(target->data) == file_list) return true;
    return false;
}

std::uint32_t EffectsOf(GdkDragAction actions) {
    std::uint32_t effects = kDropNone;
    if (actions & GDK_ACTION_COPY) effects |= kDropCopy;
    if (actions & GDK_ACTION_MOVE) effects |= kDropMove;
    if (actions & GDK_ACTION_LINK) effects |= kDropLink;
    return effects;
}

// GTK answers a motion with one action: the one the source suggests (it
// follows the modifier keys) when the effects allow it, else the first they hold.
GdkDragAction ActionFor(std::uint32_t effects, GdkDragContext* context) {
    const GdkDragAction suggested = gdk_drag_context_get_suggested_action(context);
    if (EffectsOf(suggested) & effects) return suggested;
    if (effects & kDropCopy) return GDK_ACTION_COPY;
    if (effects & kDropMove) return GDK_ACTION_MOVE;
    if (effects & kDropLink) return GDK_ACTION_LINK;
    return static_cast<GdkDragAction>(0);
}

// Keeps the window's script object alive while a signal is handled: a page
// handler may close the window.
class Hold {
   public:
    explicit Hold(IUnknown& owner) : m_owner(owner) { m_owner.AddRef(); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    ~Hold() { m_owner.Release(); }

   private:
    IUnknown& m_owner;
};

}  // namespace

HRESULT FileDrop::Enable(const DISPPARAMS* params, UINT* argument_error) {
    if (!params || params->cArgs != 4 || !params->rgvarg) return DISP_E_BADPARAMCOUNT;
    for (UINT position = 4; position-- > 0;)
        if (params->rgvarg[position].vt != VT_BSTR) {
            if (argument_error) *argument_error = position;
            return DISP_E_TYPEMISMATCH;
        }
    for (int handler = kEnter; handler <= kDrop; ++handler) {
        const VARIANT& name = params->rgvarg[3 - handler];
        m_names[handler] = std::u16string(NbBstrView(name.bstrVal));
    }
    return S_OK;
}

HRESULT FileDrop::Disable(const DISPPARAMS* params, WORD flags) {
    // It also runs as a property get or put, where the put's value is no argument.
    if ((flags & DISPATCH_METHOD) && params && params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
    for (auto& name : m_names) name.reset();
    return S_OK;
}

void FileDrop::OnSettingsLoaded() {
    for (auto& name : m_names) name.reset();
    m_accepted = true;
}

void FileDrop::Attach(WebKitWebView* view) {
    Detach();
    m_view = glib::Ref(view);
    g_signal_connect(m_view.get(), "drag-motion", G_CALLBACK(OnMotion), this);
    g_signal_connect(m_view.get(), "drag-leave", G_CALLBACK(OnLeave), this);
    g_signal_connect(m_view.get(), "drag-drop", G_CALLBACK(OnDrop), this);
    g_signal_connect(m_view.get(), "drag-data-received", G_CALLBACK(OnDataReceived), this);
}

void FileDrop::Detach() {
    if (m_context && m_drop_waiting) gtk_drag_finish(m_context.get(), FALSE, FALSE, m_time);
    EndDrag();
    m_requested.clear();
    if (!m_view) return;
    g_signal_handlers_disconnect_by_data(m_view.get(), this);
    m_view.reset();
}

gboolean FileDrop::OnMotion(GtkWidget*, GdkDragContext* context, gint x, gint y, guint time,
                            gpointer self) {
    auto* drop = static_cast<FileDrop*>(self);
    Hold hold(drop->m_owner);
    return drop->Motion(context, x, y, time);
}

gboolean FileDrop::Motion(GdkDragContext* context, gint x, gint y, guint time) {
    if (context == m_context.get() && m_leave_source) {
        // Back over the window before the deferred leave ran. The page sees
        // the leave and a new enter, unless it is busy with a handler: then
        // the drag simply stayed.
        g_source_remove(std::exchange(m_leave_source, 0));
        if (!m_in_call) Leave();
    }
    if (context != m_context.get()) {
        if (!HasHandlers() || !OffersFileList(context)) return FALSE;
        if (m_in_call) {
            // Still answering the page about another drag; this one gets its turn next motion.
            gdk_drag_status(context, static_cast<GdkDragAction>(0), time);
            return TRUE;
        }
        if (m_context) Leave();
        m_context = glib::Ref(context);
        ++m_drag_number;
        m_stage = Stage::kFetching;
        Remember(x, y, time);
        m_requested.push_back(glib::Ref(context));
        gtk_drag_get_data(GTK_WIDGET(m_view.get()), context,
                          gdk_atom_intern_static_string(kFileList), time);
        return TRUE;
    }
    Remember(x, y, time);
    if (m_in_call) {
        m_motion_waiting = true;
        return TRUE;
    }
    switch (m_stage) {
        case Stage::kFetching:
            m_motion_waiting = true;
            break;
        case Stage::kRefused:
            Status(kDropNone);
            break;
        case Stage::kActive:
            m_motion_waiting = true;
            RunPending();
            break;
        case Stage::kNone:
            break;
    }
    return TRUE;
}

void FileDrop::OnDataReceived(GtkWidget* widget, GdkDragContext* context, gint, gint,
                              GtkSelectionData* data, guint, guint, gpointer self) {
    auto* drop = static_cast<FileDrop*>(self);
    const auto requested =
        std::find_if(drop->m_requested.begin(), drop->m_requested.end(),
                     [context](const auto& asked) { return asked.get() == context; });
    if (requested == drop->m_requested.end()) return;  // the engine asked for this one
    drop->m_requested.erase(requested);
    // Ours even when the drag ended meanwhile: the engine never asked for it.
    g_signal_stop_emission_by_name(widget, "drag-data-received");
    if (context != drop->m_context.get() || drop->m_stage != Stage::kFetching) return;
    Hold hold(drop->m_owner);
    drop->DataReceived(data);
}

void FileDrop::DataReceived(GtkSelectionData* data) {
    std::vector<std::string> uris;
    if (const glib::Strv list{gtk_selection_data_get_uris(data)})
        for (gchar** uri = list.get(); *uri; ++uri) uris.emplace_back(*uri);
    m_paths = DroppedPaths(uris);
    m_offered = EffectsOf(gdk_drag_context_get_actions(m_context.get()));
    if (m_paths.empty()) {
        // No file list: nothing of this drag reaches the page.
        m_stage = Stage::kRefused;
        m_motion_waiting = false;
        Status(kDropNone);
    } else {
        m_stage = Stage::kActive;
        Enter();
    }
    RunPending();
}

void FileDrop::Enter() {
    m_accepted = true;
    m_motion_waiting = false;
    if (!m_names[kEnter]) {
        Status(kDropNone);
        return;
    }
    bool still_ours = false;
    const std::optional<std::int32_t> answer = Call(kEnter, true, true, &still_ours);
    if (!still_ours) return;
    if (answer == 1) m_accepted = false;
    Status(EffectAfterEnter(answer, m_offered));
}

void FileDrop::Over() {
    m_motion_waiting = false;
    if (!m_accepted || !m_names[kOver]) {
        Status(kDropNone);
        return;
    }
    bool still_ours = false;
    const std::optional<std::int32_t> answer = Call(kOver, true, false, &still_ours);
    if (still_ours) Status(EffectAfterAnswer(answer, m_offered));
}

void FileDrop::RunPending() {
    // Each pass either ends the drag or answers the motions that came in
    // during the last page call with one more call.
    while (m_context && !m_in_call) {
        if (m_drop_waiting && m_stage != Stage::kFetching) {
            Drop();
            return;
        }
        if (!m_motion_waiting) return;
        if (m_stage == Stage::kActive) {
            Over();
        } else if (m_stage == Stage::kRefused) {
            m_motion_waiting = false;
            Status(kDropNone);
        } else {
            return;
        }
    }
}

void FileDrop::OnLeave(GtkWidget* widget, GdkDragContext* context, guint, gpointer self) {
    auto* drop = static_cast<FileDrop*>(self);
    if (context != drop->m_context.get()) return;
    g_signal_stop_emission_by_name(widget, "drag-leave");
    // GTK sends a leave before every drop, so a leave counts only when no
    // drop follows it at once.
    if (!drop->m_leave_source) drop->m_leave_source = g_idle_add(OnLeaveLater, drop);
}

gboolean FileDrop::OnLeaveLater(gpointer self) {
    auto* drop = static_cast<FileDrop*>(self);
    if (drop->m_in_call) {
        // Not inside a page call: try again shortly (an idle would spin the
        // call's wait).
        drop->m_leave_source = g_timeout_add(10, OnLeaveLater, drop);
        return G_SOURCE_REMOVE;
    }
    drop->m_leave_source = 0;
    Hold hold(drop->m_owner);
    drop->Leave();
    return G_SOURCE_REMOVE;
}

void FileDrop::Leave() {
    if (m_stage == Stage::kActive && m_accepted && m_names[kLeave]) {
        bool still_ours = false;
        Call(kLeave, false, false, &still_ours);
        if (!still_ours) return;
    }
    EndDrag();
}

gboolean FileDrop::OnDrop(GtkWidget*, GdkDragContext* context, gint x, gint y, guint time,
                          gpointer self) {
    auto* drop = static_cast<FileDrop*>(self);
    if (context != drop->m_context.get()) return FALSE;
    if (drop->m_leave_source) g_source_remove(std::exchange(drop->m_leave_source, 0));
    Hold hold(drop->m_owner);
    drop->Remember(x, y, time);
    drop->m_drop_waiting = true;
    drop->RunPending();
    return TRUE;
}

void FileDrop::Drop() {
    m_drop_waiting = false;
    bool success = false;
    if (m_stage == Stage::kActive && m_accepted && m_names[kDrop]) {
        bool still_ours = false;
        const std::optional<std::int32_t> answer = Call(kDrop, true, true, &still_ours);
        if (!still_ours) return;
        success = EffectAfterAnswer(answer, m_offered) != kDropNone;
    }
    // Never a move the source would complete by deleting: the page got paths,
    // it took nothing.
    gtk_drag_finish(m_context.get(), success, FALSE, m_time);
    EndDrag();
}

void FileDrop::Status(std::uint32_t effects) {
    if (m_context) gdk_drag_status(m_context.get(), ActionFor(effects, m_context.get()), m_time);
}

std::optional<std::int32_t> FileDrop::Call(Handler handler, bool with_point, bool with_paths,
                                           bool* still_ours) {
    // Copies: the page may change the names or end the drag during the call.
    const std::u16string name = *m_names[handler];
    const std::uint64_t drag = m_drag_number;
    std::optional<std::int32_t> answer;
    {
        DropArguments arguments =
            with_point ? DropArguments(m_x, m_y, with_paths ? &m_paths : nullptr) : DropArguments();
        if (arguments.Complete()) {
            Variant result;
            m_in_call = true;
            m_page.CallFunction(name.c_str(), arguments.Params(), &result);
            m_in_call = false;
            answer = AnswerNumber(result);
        }
    }
    *still_ours = m_view && m_context && m_drag_number == drag;
    return answer;
}

void FileDrop::Remember(gint x, gint y, guint time) {
    m_time = time;
    // The page gets screen coordinates; GTK gives them relative to the view.
    GtkWidget* view = GTK_WIDGET(m_view.get());
    GtkWidget* top = gtk_widget_get_toplevel(view);
    int top_x = x;
    int top_y = y;
    if (top && gtk_widget_translate_coordinates(view, top, x, y, &top_x, &top_y) &&
        gtk_widget_get_window(top)) {
        gdk_window_get_root_coords(gtk_widget_get_window(top), top_x, top_y, &m_x, &m_y);
        return;
    }
    m_x = x;
    m_y = y;
}

void FileDrop::EndDrag() {
    if (m_leave_source) g_source_remove(std::exchange(m_leave_source, 0));
    m_context.reset();
    m_stage = Stage::kNone;
    m_paths.clear();
    m_motion_waiting = false;
    m_drop_waiting = false;
    ++m_drag_number;
}

}  // namespace nb::shell
