// The process's one tooltip: a pop-up window painted as a balloon (a rounded
// box with a stem whose tip touches the point) or as a plain box (its corner
// at the point), with an optional icon, title and close button. It keeps its
// place on the owner's client area when the owner moves.
#include <gtk/gtk.h>

#include <cmath>
#include <optional>
#include <string>

#include "platform/glib/owned.h"
#include "platform/text/code_pages.h"
#include "shell/host/presenters/gtk_presenters.h"

namespace nb::shell {
namespace {

constexpr int kStemHeight = 14;
constexpr int kStemWidth = 16;
constexpr int kStemInset = 18;  // from the body's left edge to the stem
constexpr int kRadius = 7;
constexpr int kPadding = 8;

enum class StemSide { kTop, kBottom };

class Tooltip {
   public:
    void Show(const NbTooltip& tip);
    void Hide();

   private:
    void Build(GtkWindow* owner, const NbTooltip& tip);
    void Fill(const NbTooltip& tip);
    void SetMargins();
    void Place();
    void Forget();
    // The outline in window coordinates, for painting and for the shape.
    void Outline(cairo_t* cr, int width, int height) const;
    void Reshape(int width, int height);

    static gboolean OnDraw(GtkWidget* widget, cairo_t* cr, gpointer self);
    static gboolean OnOwnerConfigure(GtkWidget*, GdkEvent*, gpointer self);
    static void OnOwnerDestroy(GtkWidget*, gpointer self);
    static void OnClose(GtkButton*, gpointer self);

    GtkWidget* m_window = nullptr;  // owned by GTK's toplevel list until destroyed
    GtkWidget* m_body = nullptr;
    GtkWidget* m_heading = nullptr;
    GtkWidget* m_icon = nullptr;
    GtkWidget* m_title = nullptr;
    GtkWidget* m_text = nullptr;
    GtkWindow* m_owner = nullptr;
    HWND m_owner_handle = nullptr;
    gulong m_configure_handler = 0;
    gulong m_destroy_handler = 0;
    NbTooltip m_tip;
    StemSide m_stem = StemSide::kTop;
};

const char* IconName(NbTooltipIcon icon) {
    switch (icon) {
        case NbTooltipIcon::kInformation:
            return "dialog-information";
        case NbTooltipIcon::kWarning:
            return "dialog-warning";
        case NbTooltipIcon::kError:
            return "dialog-error";
        case NbTooltipIcon::kNone:
            break;
    }
    return nullptr;
}

bool IsBalloon(const NbTooltip& tip) { return tip.shape == NbTooltipShape::kBalloon; }

void Tooltip::Show(const NbTooltip& tip) {
    GtkWindow* owner = OwnerWindowOf(tip.owner);
    if (!m_window || tip.owner != m_owner_handle || owner != m_owner || tip.shape != m_tip.shape ||
        tip.close_button != m_tip.close_button) {
        Forget();
        Build(owner, tip);
    }
    m_tip = tip;
    Fill(tip);
    Place();
    gtk_widget_show(m_window);
}

void Tooltip::Hide() {
    if (m_window) gtk_widget_hide(m_window);
}

void Tooltip::Build(GtkWindow* owner, const NbTooltip& tip) {
    m_owner = owner;
    m_owner_handle = tip.owner;
    m_window = gtk_window_new(GTK_WINDOW_POPUP);
    gtk_window_set_type_hint(GTK_WINDOW(m_window), GDK_WINDOW_TYPE_HINT_TOOLTIP);
    gtk_window_set_keep_above(GTK_WINDOW(m_window), TRUE);
    if (owner) gtk_window_set_transient_for(GTK_WINDOW(m_window), owner);
    gtk_widget_set_app_paintable(m_window, TRUE);
    g_signal_connect(m_window, "draw", G_CALLBACK(OnDraw), this);

    m_body = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
    gtk_container_add(GTK_CONTAINER(m_window), m_body);
    m_heading = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    gtk_box_pack_start(GTK_BOX(m_body), m_heading, FALSE, FALSE, 0);
    m_icon = gtk_image_new();
    gtk_box_pack_start(GTK_BOX(m_heading), m_icon, FALSE, FALSE, 0);
    m_title = gtk_label_new(nullptr);
    gtk_label_set_xalign(GTK_LABEL(m_title), 0);
    gtk_box_pack_start(GTK_BOX(m_heading), m_title, TRUE, TRUE, 0);
    if (tip.close_button) {
        GtkWidget* close =
            gtk_button_new_from_icon_name("window-close-symbolic", GTK_ICON_SIZE_MENU);
        gtk_button_set_relief(GTK_BUTTON(close), GTK_RELIEF_NONE);
        gtk_widget_set_valign(close, GTK_ALIGN_START);
        g_signal_connect(close, "clicked", G_CALLBACK(OnClose), this);
        gtk_box_pack_end(GTK_BOX(m_heading), close, FALSE, FALSE, 0);
    }
    m_text = gtk_label_new(nullptr);
    gtk_label_set_xalign(GTK_LABEL(m_text), 0);
    gtk_label_set_line_wrap(GTK_LABEL(m_text), TRUE);
    gtk_box_pack_start(GTK_BOX(m_body), m_text, FALSE, FALSE, 0);
    gtk_widget_show_all(m_body);

    if (owner) {
        m_configure_handler =
            g_signal_connect(owner, "configure-event", G_CALLBACK(OnOwnerConfigure), this);
        m_destroy_handler = g_signal_connect(owner, "destroy", G_CALLBACK(OnOwnerDestroy), this);
    }
}

void Tooltip::Fill(const NbTooltip& tip) {
    const bool titled = !tip.title.empty();
    gtk_widget_set_visible(m_heading, titled || tip.close_button);
    const char* icon = IconName(tip.icon);
    gtk_widget_set_visible(m_icon, titled && icon);
    if (icon) gtk_image_set_from_icon_name(GTK_IMAGE(m_icon), icon, GTK_ICON_SIZE_LARGE_TOOLBAR);
    glib::Text title(g_markup_printf_escaped("<b>%s</b>", ToUtf8(tip.title).c_str()));
    gtk_label_set_markup(GTK_LABEL(m_title), title.get());
    gtk_label_set_text(GTK_LABEL(m_text), ToUtf8(tip.text).c_str());
    // Lines break at the widest a tip may be; shorter texts keep their width.
    gtk_widget_set_size_request(m_text, -1, -1);
    if (tip.max_width > 0) {
        int natural = 0;
        gtk_widget_get_preferred_width(m_text, nullptr, &natural);
        if (natural > tip.max_width) gtk_widget_set_size_request(m_text, tip.max_width, -1);
    }
    gtk_widget_set_size_request(m_heading, -1, -1);
}

void Tooltip::SetMargins() {
    const bool balloon = IsBalloon(m_tip);
    gtk_widget_set_margin_start(m_body, kPadding);
    gtk_widget_set_margin_end(m_body, kPadding);
    gtk_widget_set_margin_top(m_body,
                              kPadding + (balloon && m_stem == StemSide::kTop ? kStemHeight : 0));
    gtk_widget_set_margin_bottom(
        m_body, kPadding + (balloon && m_stem == StemSide::kBottom ? kStemHeight : 0));
}

void Tooltip::Place() {
    std::optional<NbRect> client;
    if (m_owner && gtk_widget_get_realized(GTK_WIDGET(m_owner))) {
        int x = 0, y = 0;
        gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(m_owner)), &x, &y);
        client = NbRect{x, y, x + gtk_widget_get_allocated_width(GTK_WIDGET(m_owner)),
                        y + gtk_widget_get_allocated_height(GTK_WIDGET(m_owner))};
    }
    const NbPoint point = NbTooltipScreenPoint(client ? &*client : nullptr, m_tip.offset);
    m_stem = StemSide::kTop;
    SetMargins();
    int width = 0, height = 0;
    gtk_widget_get_preferred_width(m_body, nullptr, &width);
    gtk_widget_get_preferred_height_for_width(m_body, width, nullptr, &height);
    // A balloon that would leave the screen at the bottom points up at the
    // point from above it.
    const bool balloon = IsBalloon(m_tip);
    GdkRectangle screen{0, 0, 0, 0};
    if (GdkMonitor* monitor =
            gdk_display_get_monitor_at_point(gdk_display_get_default(), point.x, point.y))
        gdk_monitor_get_geometry(monitor, &screen);
    if (balloon && screen.height && point.y + height > screen.y + screen.height) {
        m_stem = StemSide::kBottom;
        SetMargins();
    }
    const int left = balloon ? point.x - kStemInset : point.x;
    const int top = m_stem == StemSide::kBottom ? point.y - height : point.y;
    gtk_widget_set_size_request(m_window, width, height);
    gtk_window_resize(GTK_WINDOW(m_window), width, height);
    gtk_window_move(GTK_WINDOW(m_window), left, top);
    Reshape(width, height);
    gtk_widget_queue_draw(m_window);
}

void Tooltip::Outline(cairo_t* cr, int width, int height) const {
    if (!IsBalloon(m_tip)) {
        cairo_rectangle(cr, 0.5, 0.5, width - 1, height - 1);
        return;
    }
    const double top = m_stem == StemSide::kTop ? kStemHeight + 0.5 : 0.5;
    const double bottom = m_stem == StemSide::kTop ? height - 0.5 : height - kStemHeight - 0.5;
    const double left = 0.5, right = width - 0.5, r = kRadius;
    const double stem_left = kStemInset, stem_right = kStemInset + kStemWidth;
    cairo_new_path(cr);
    cairo_move_to(cr, left + r, top);
    if (m_stem == StemSide::kTop) {
        cairo_line_to(cr, stem_left, top);
        cairo_line_to(cr, kStemInset, 0.5);  // the tip, right above the stem's left side
        cairo_line_to(cr, stem_right, top);
    }
    cairo_arc(cr, right - r, top + r, r, -M_PI / 2, 0);
    cairo_arc(cr, right - r, bottom - r, r, 0, M_PI / 2);
    if (m_stem == StemSide::kBottom) {
        cairo_line_to(cr, stem_right, bottom);
        cairo_line_to(cr, kStemInset, height - 0.5);
        cairo_line_to(cr, stem_left, bottom);
    }
    cairo_arc(cr, left + r, bottom - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, left + r, top + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

// Without a compositor a window cannot be transparent, so the balloon's
// outline becomes the window's shape.
void Tooltip::Reshape(int width, int height) {
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A1, width, height);
    cairo_t* cr = cairo_create(mask);
    Outline(cr, width, height);
    cairo_fill_preserve(cr);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    cairo_destroy(cr);
    cairo_region_t* region = gdk_cairo_region_create_from_surface(mask);
    gtk_widget_shape_combine_region(m_window, region);
    cairo_region_destroy(region);
    cairo_surface_destroy(mask);
}

gboolean Tooltip::OnDraw(GtkWidget* widget, cairo_t* cr, gpointer self) {
    auto* tooltip = static_cast<Tooltip*>(self);
    const int width = gtk_widget_get_allocated_width(widget);
    const int height = gtk_widget_get_allocated_height(widget);
    cairo_set_source_rgb(cr, 0.46, 0.46, 0.46);  // the border, where the shape cuts
    cairo_paint(cr);
    tooltip->Outline(cr, width, height);
    cairo_set_source_rgb(cr, 1.0, 1.0, 0.882);  // the classic pale tooltip yellow
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0.46, 0.46, 0.46);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    return FALSE;  // the labels paint themselves on top
}

gboolean Tooltip::OnOwnerConfigure(GtkWidget*, GdkEvent*, gpointer self) {
    auto* tooltip = static_cast<Tooltip*>(self);
    if (tooltip->m_window && gtk_widget_get_visible(tooltip->m_window)) tooltip->Place();
    return FALSE;
}

void Tooltip::OnOwnerDestroy(GtkWidget*, gpointer self) {
    auto* tooltip = static_cast<Tooltip*>(self);
    tooltip->m_configure_handler = tooltip->m_destroy_handler = 0;
    tooltip->m_owner = nullptr;
    tooltip->Forget();
}

void Tooltip::OnClose(GtkButton*, gpointer self) { static_cast<Tooltip*>(self)->Hide(); }

void Tooltip::Forget() {
    if (m_owner) {
        if (m_configure_handler) g_signal_handler_disconnect(m_owner, m_configure_handler);
        if (m_destroy_handler) g_signal_handler_disconnect(m_owner, m_destroy_handler);
    }
    m_configure_handler = m_destroy_handler = 0;
    m_owner = nullptr;
    m_owner_handle = nullptr;
    if (m_window) gtk_widget_destroy(m_window);
    m_window = m_body = m_heading = m_icon = m_title = m_text = nullptr;
}

Tooltip& ProcessTooltip() {
    static Tooltip tooltip;
    return tooltip;
}

}  // namespace

void ShowGtkTooltip(const NbTooltip& tooltip) {
    if (gdk_display_get_default()) ProcessTooltip().Show(tooltip);
}

void HideGtkTooltip() { ProcessTooltip().Hide(); }

}  // namespace nb::shell
