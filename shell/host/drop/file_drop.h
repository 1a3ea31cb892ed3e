// Files dropped on a shell window go to the page's drop handlers (enter,
// over, leave, drop) set with EnableDrop, with their local paths, which the
// engine never gives pages.
//
// Platform-specific: GTK drag-and-drop on the web view, file lists as
// text/uri-list. Only drags that offer a file list are taken, and only while
// handlers are set; every other drag (text into an input, a drag of a page
// that never called EnableDrop) stays the engine's own. The file list is
// fetched on the first motion of a drag, because enter needs the paths; the
// enter call and the answer to that motion follow when the data arrives.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/automation/interfaces.h"
#include "platform/glib/owned.h"
#include "shell/bridge/script_callbacks.h"

namespace nb::shell {

class FileDrop {
   public:
    // owner is kept alive across each page call (a handler may close the
    // window); page runs the handlers.
    FileDrop(IUnknown& owner, bridge::ScriptCallbacks& page) : m_owner(owner), m_page(page) {}
    FileDrop(const FileDrop&) = delete;
    FileDrop& operator=(const FileDrop&) = delete;
    ~FileDrop() { Detach(); }

    // EnableDrop(enter, over, leave, drop): exactly four texts, else
    // DISP_E_BADPARAMCOUNT or DISP_E_TYPEMISMATCH with argument_error set.
    HRESULT Enable(const DISPPARAMS* params, UINT* argument_error);
    // DisableDrop(), for any request kind; a method call with arguments
    // answers DISP_E_BADPARAMCOUNT.
    HRESULT Disable(const DISPPARAMS* params, WORD flags);
    // A settings load: no handlers, and drops accepted again.
    void OnSettingsLoaded();
    bool HasHandlers() const { return m_names[kEnter].has_value(); }

    // Takes the drags of view (until Detach or destruction).
    void Attach(WebKitWebView* view);
    void Detach();

   private:
    enum Handler { kEnter, kOver, kLeave, kDrop };
    enum class Stage { kNone, kFetching, kActive, kRefused };

    static gboolean OnMotion(GtkWidget*, GdkDragContext*, gint x, gint y, guint time,
                             gpointer self);
    static void OnLeave(GtkWidget*, GdkDragContext*, guint time, gpointer self);
    static gboolean OnDrop(GtkWidget*, GdkDragContext*, gint x, gint y, guint time, gpointer self);
    static void OnDataReceived(GtkWidget*, GdkDragContext*, gint x, gint y, GtkSelectionData*,
                               guint info, guint time, gpointer self);
    static gboolean OnLeaveLater(gpointer self);

    gboolean Motion(GdkDragContext* context, gint x, gint y, guint time);
    void DataReceived(GtkSelectionData* data);
    // After a page call: what arrived meanwhile.
    void RunPending();
    void Enter();
    void Over();
    void Leave();
    void Drop();
    void Status(std::uint32_t effects);
    // Calls a handler; the integer it answered, if any. False in *still_ours
    // when the drag ended or the window went during the call.
    std::optional<std::int32_t> Call(Handler handler, bool with_point, bool with_paths,
                                     bool* still_ours);
    void Remember(gint x, gint y, guint time);
    void EndDrag();

    IUnknown& m_owner;
    bridge::ScriptCallbacks& m_page;
    std::array<std::optional<std::u16string>, 4> m_names;
    // Set by every settings load and every enter; a refusing enter clears it.
    bool m_accepted = true;

    glib::Object<WebKitWebView> m_view;
    glib::Object<GdkDragContext> m_context;
    Stage m_stage = Stage::kNone;
    std::vector<std::u16string> m_paths;
    std::uint32_t m_offered = 0;
    int m_x = 0;  // screen coordinates of the last motion or the drop
    int m_y = 0;
    guint m_time = 0;
    bool m_in_call = false;
    bool m_motion_waiting = false;  // a motion during a page call wants its answer
    bool m_drop_waiting = false;
    bool m_leave_waiting = false;
    guint m_leave_source = 0;
    // Drags whose file list was asked for and has not arrived yet.
    std::vector<glib::Object<GdkDragContext>> m_requested;
    std::uint64_t m_drag_number = 0;
};

}  // namespace nb::shell
