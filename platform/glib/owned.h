// Owning handles for GLib and GObject references: each frees its reference
// when it goes out of scope, moves and never copies. JSC values and contexts,
// GTK widgets and WebKit objects are GObjects and use glib::Object.
#pragma once

#include <glib-object.h>

#include <memory>
#include <type_traits>

namespace nb::glib {

struct ObjectUnref {
    void operator()(gpointer object) const noexcept { g_object_unref(object); }
};
struct VariantUnref {
    void operator()(GVariant* value) const noexcept { g_variant_unref(value); }
};
struct ErrorFree {
    void operator()(GError* error) const noexcept { g_error_free(error); }
};
struct Free {
    void operator()(gpointer memory) const noexcept { g_free(memory); }
};
struct StrvFree {
    void operator()(gchar** list) const noexcept { g_strfreev(list); }
};
struct ListFree {
    void operator()(GList* list) const noexcept { g_list_free(list); }
};
struct SListFree {
    void operator()(GSList* list) const noexcept { g_slist_free(list); }
};
struct BytesUnref {
    void operator()(GBytes* bytes) const noexcept { g_bytes_unref(bytes); }
};
struct SourceUnref {
    void operator()(GSource* source) const noexcept { g_source_unref(source); }
};
struct MainContextUnref {
    void operator()(GMainContext* context) const noexcept { g_main_context_unref(context); }
};
struct PtrArrayUnref {
    void operator()(GPtrArray* array) const noexcept { g_ptr_array_unref(array); }
};
struct MainLoopUnref {
    void operator()(GMainLoop* loop) const noexcept { g_main_loop_unref(loop); }
};

// T is any GObject type (GtkWidget, WebKitWebView, JSCValue, ...).
template <typename T>
using Object = std::unique_ptr<T, ObjectUnref>;
using Variant = std::unique_ptr<GVariant, VariantUnref>;
using Error = std::unique_ptr<GError, ErrorFree>;
using Text = std::unique_ptr<gchar, Free>;
// A NULL-terminated text list (g_strsplit, gtk_selection_data_get_uris).
using Strv = std::unique_ptr<gchar*, StrvFree>;
// The list cells only, as gtk_container_get_children hands them out.
using List = std::unique_ptr<GList, ListFree>;
// The cells of a singly linked list (gtk_file_chooser_get_filenames).
using SList = std::unique_ptr<GSList, SListFree>;
using PtrArray = std::unique_ptr<GPtrArray, PtrArrayUnref>;
using Bytes = std::unique_ptr<GBytes, BytesUnref>;
using Source = std::unique_ptr<GSource, SourceUnref>;
using MainContext = std::unique_ptr<GMainContext, MainContextUnref>;
using MainLoop = std::unique_ptr<GMainLoop, MainLoopUnref>;

// Adopts the reference a call returned: a full one as it is, a floating one
// (a new GtkWidget, GInitiallyUnowned) made full. Null stays null.
template <typename T>
requires(!std::is_same_v<T, GVariant>) Object<T> Take(T* object) {
    return Object<T>(object ? static_cast<T*>(g_object_take_ref(object)) : nullptr);
}

// A reference of our own to an object someone else owns.
template <typename T>
requires(!std::is_same_v<T, GVariant>) Object<T> Ref(T* object) {
    return Object<T>(object ? static_cast<T*>(g_object_ref(object)) : nullptr);
}

// Adopts a GVariant: a floating one (from g_variant_new_*) is sunk, a full
// one (g_variant_get_child_value, g_dbus_proxy_call_sync) kept as it is.
inline Variant Take(GVariant* value) {
    return Variant(value ? g_variant_take_ref(value) : nullptr);
}

// A reference of our own to a GVariant someone else owns.
inline Variant Ref(GVariant* value) { return Variant(value ? g_variant_ref(value) : nullptr); }

// Fills an owner through a C out-parameter, as in
// g_file_get_contents(path, glib::Out(contents), &length, glib::Out(error)).
// The owner receives the value at the end of the full expression.
template <typename Owner>
class Out {
   public:
    using Pointer = typename Owner::pointer;
    explicit Out(Owner& owner) : m_owner(owner) {}
    Out(const Out&) = delete;
    Out& operator=(const Out&) = delete;
    ~Out() { m_owner.reset(m_raw); }
    operator Pointer*() { return &m_raw; }

   private:
    Owner& m_owner;
    Pointer m_raw = nullptr;
};

}  // namespace nb::glib
