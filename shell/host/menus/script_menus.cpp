#include "shell/host/menus/script_menus.h"

#include <memory>

#include "common/error_report.h"
#include "common/script_array.h"
#include "common/variant_text.h"
#include "platform/glib/owned.h"
#include "platform/text/case_fold.h"
#include "platform/text/code_pages.h"
#include "platform/text/decimal_prefix.h"
#include "shell/host/menus/menu_keys.h"
#include "shell/host/script_object/browser_customizer.h"
#include "shell/host/window/host_window.h"
#include "shell/host/window/web_engine.h"

namespace nb::shell {
namespace {

constexpr int kBaseStep = 1000;
constexpr int kExitCommand = 1;
constexpr char kItemKey[] = "nb-menu-item";
constexpr std::size_t kPopupNameLimit = 260;
constexpr int kIconSize = 16;
constexpr int kIconCellWidth = 19;
constexpr LPCWSTR kReportSource = u"Invoke";
constexpr LPCWSTR kBuildFailed = u"Catastrophic: _BuildPopupMenu() failed";
constexpr LPCWSTR kNoSubmenu = u"Catastrophic: Invalid submenu position; Not found";

// State flags of an item, shared with ModifyMenuItem.
constexpr std::int32_t kStateDefault = 1;
constexpr std::int32_t kStateGreyed = 2;
constexpr std::int32_t kStateChecked = 4;
constexpr std::int32_t kStateRadio = 8;
constexpr std::int32_t kStateIcon = 16;

}  // namespace

// What an item remembers, attached to its widget.
struct MenuItemData {
    int command = 0;
    bool popup = false;
    std::u16string text;  // label, and a tab and the shortcut shown
    std::int32_t flags = 0;
    glib::Object<GdkPixbuf> icon;  // 16x16 with alpha
    GtkWidget* icon_cell = nullptr;
};

namespace {

using ItemData = MenuItemData;

ItemData* DataOf(GtkWidget* item) {
    return static_cast<ItemData*>(g_object_get_data(G_OBJECT(item), kItemKey));
}

int BaseOf(MenuKind kind) { return static_cast<int>(kind) * kBaseStep; }

WORD ReportCodeOf(MenuKind kind) { return static_cast<WORD>(1099 + static_cast<int>(kind)); }

HRESULT Mismatch(UINT* argument_error, UINT position) {
    if (argument_error) *argument_error = position;
    return DISP_E_TYPEMISMATCH;
}

std::u16string TextOf(const VARIANT& value) { return std::u16string(NbBstrView(value.bstrVal)); }

// Labels and shortcuts of other types are read as their text.
bool ReadText(const VARIANT& value, std::u16string* text) {
    if (value.vt == VT_BSTR) {
        *text = TextOf(value);
        return true;
    }
    if (value.vt == VT_EMPTY || value.vt == VT_NULL) {
        text->clear();
        return true;
    }
    Variant converted;
    if (FAILED(VariantChangeType(&converted, &value, 0, VT_BSTR))) return false;
    *text = TextOf(converted);
    return true;
}

bool ReadNumber(const VARIANT& value, std::int64_t* number) {
    Variant converted;
    if (FAILED(VariantChangeType(&converted, &value, 0, VT_I4))) return false;
    *number = converted.lVal;
    return true;
}

// A decimal number at the start of text, as the C library reads one;
// anything unreadable is 0, anything past every position the largest.
std::int64_t DecimalPrefix(std::u16string_view text) {
    return ClampedDecimal<std::int64_t>(FindDecimalPrefix(text, Blanks::kCLocale));
}

std::int64_t SubmenuPosition(const VARIANT& value) {
    switch (value.vt) {
        case VT_I4:
            return value.lVal;
        case VT_INT:
            return value.intVal;
        case VT_UINT:
            return value.uintVal;
        case VT_BSTR:
            return DecimalPrefix(TextOf(value));
        default:
            return 0;
    }
}

glib::Object<GdkPixbuf> LoadIcon(const std::string& path) {
    const auto loaded = glib::Take(
        gdk_pixbuf_new_from_file_at_scale(path.c_str(), kIconSize, kIconSize, FALSE, nullptr));
    if (!loaded) return nullptr;
    return glib::Take(gdk_pixbuf_add_alpha(loaded.get(), FALSE, 0, 0, 0));
}

// Draws the item's icon at the cell's top-left, recoloured for the item's
// greyed and selected looks.
gboolean DrawIcon(GtkWidget*, cairo_t* cr, gpointer item_widget) {
    const ItemData* data = DataOf(GTK_WIDGET(item_widget));
    if (!data || !data->icon) return FALSE;
    const GtkStateFlags state = gtk_widget_get_state_flags(GTK_WIDGET(item_widget));
    unsigned look = 0;
    if (!gtk_widget_is_sensitive(GTK_WIDGET(item_widget)))
        look |= static_cast<unsigned>(IconLook::kGreyed);
    if (state & GTK_STATE_FLAG_PRELIGHT) look |= static_cast<unsigned>(IconLook::kSelected);
    const auto shown = glib::Take(gdk_pixbuf_copy(data->icon.get()));
    if (!shown) return FALSE;
    RecolourIcon(gdk_pixbuf_get_pixels(shown.get()), gdk_pixbuf_get_width(shown.get()),
                 gdk_pixbuf_get_height(shown.get()), gdk_pixbuf_get_rowstride(shown.get()),
                 static_cast<IconLook>(look));
    gdk_cairo_set_source_pixbuf(cr, shown.get(), 0, 0);
    cairo_paint(cr);
    return TRUE;
}

void RedrawIcon(GtkMenuItem* item, gpointer) {
    if (const ItemData* data = DataOf(GTK_WIDGET(item)); data && data->icon_cell)
        gtk_widget_queue_draw(data->icon_cell);
}

// The item's face: icon cell, label with its mnemonic (bold for the
// default item) and the shortcut text at the right.
void FillItem(GtkWidget* item, ItemData* data) {
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    if (data->icon) {
        data->icon_cell = gtk_drawing_area_new();
        gtk_widget_set_size_request(data->icon_cell, kIconCellWidth, kIconSize);
        gtk_widget_set_valign(data->icon_cell, GTK_ALIGN_CENTER);
        g_signal_connect(data->icon_cell, "draw", G_CALLBACK(DrawIcon), item);
        gtk_box_pack_start(GTK_BOX(box), data->icon_cell, FALSE, FALSE, 0);
    }
    const ItemTextParts parts = SplitItemText(data->text);
    GtkWidget* label = gtk_label_new(nullptr);
    gtk_label_set_markup_with_mnemonic(
        GTK_LABEL(label),
        MnemonicMarkup(parts.label, (data->flags & kStateDefault) ? Weight::kBold : Weight::kNormal)
            .c_str());
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    gtk_label_set_mnemonic_widget(GTK_LABEL(label), item);
    gtk_box_pack_start(GTK_BOX(box), label, TRUE, TRUE, 0);
    if (!parts.shortcut.empty()) {
        GtkWidget* keys = gtk_label_new(ToUtf8(parts.shortcut).c_str());
        gtk_style_context_add_class(gtk_widget_get_style_context(keys), "accelerator");
        gtk_box_pack_end(GTK_BOX(box), keys, FALSE, FALSE, 0);
    }
    gtk_container_add(GTK_CONTAINER(item), box);
    gtk_widget_show_all(box);
}

void AttachData(GtkWidget* item, ItemData* data) {
    g_object_set_data_full(G_OBJECT(item), kItemKey, data,
                           [](gpointer p) { delete static_cast<ItemData*>(p); });
}

GtkWidget* FindPopup(GtkWidget* menu, std::u16string_view name) {
    if (name.size() > kPopupNameLimit) name = name.substr(0, kPopupNameLimit);
    const glib::List children(gtk_container_get_children(GTK_CONTAINER(menu)));
    GtkWidget* found = nullptr;
    for (GList* child = children.get(); child && !found; child = child->next) {
        const ItemData* data = DataOf(GTK_WIDGET(child->data));
        if (!data || !data->popup) continue;
        std::u16string_view text = data->text;
        if (text.size() > kPopupNameLimit) text = text.substr(0, kPopupNameLimit);
        if (EqualIgnoringCase(text, name))
            found = gtk_menu_item_get_submenu(GTK_MENU_ITEM(child->data));
    }
    return found;
}

// Depth-first search for the text item with command.
GtkWidget* FindItem(GtkWidget* menu, int command) {
    const glib::List children(gtk_container_get_children(GTK_CONTAINER(menu)));
    GtkWidget* found = nullptr;
    for (GList* child = children.get(); child && !found; child = child->next) {
        GtkWidget* item = GTK_WIDGET(child->data);
        const ItemData* data = DataOf(item);
        if (!data) continue;
        if (data->popup) {
            if (GtkWidget* submenu = gtk_menu_item_get_submenu(GTK_MENU_ITEM(item)))
                found = FindItem(submenu, command);
        } else if (data->command == command) {
            found = item;
        }
    }
    return found;
}

void AppendSeparator(GtkWidget* menu) {
    GtkWidget* separator = gtk_separator_menu_item_new();
    gtk_widget_show(separator);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), separator);
}

GtkWidget* NewMenu() {
    GtkWidget* menu = gtk_menu_new();
    g_object_ref_sink(menu);
    return menu;
}

}  // namespace

ScriptMenus::ScriptMenus(CBrowserCustomizer& owner) : m_owner(owner) {}

ScriptMenus::~ScriptMenus() { Teardown(); }

bool ScriptMenus::Has(MenuKind kind) const { return Of(kind).menu != nullptr; }

void ScriptMenus::EnsureSystrayMenu() {
    Kind& tray = Of(MenuKind::kSystray);
    if (tray.menu) return;
    tray.menu.reset(NewMenu());
    AppendExitItem(tray.menu.get());
    tray.records.assign(1, AcceleratorRecord{});
    tray.item_count = 1;
}

void ScriptMenus::PopupAtPointer(MenuKind kind, const GdkEvent* trigger) {
    GtkWidget* menu = Of(kind).menu.get();
    if (!menu) return;
    Popup(menu, nullptr, trigger);
}

void ScriptMenus::Popup(GtkWidget* menu, const GdkRectangle* at, const GdkEvent* trigger) {
    HostWindow* window = m_owner.Window();
    GtkWindow* toplevel = window ? window->Window() : nullptr;
    if (toplevel && gtk_widget_get_visible(GTK_WIDGET(toplevel))) gtk_window_present(toplevel);
    // The engine reports a right click after the event has been handled, so
    // the menu takes its grab from the click it was given: without it the
    // grab can fail and the menu gets no keys.
    if (trigger && !at) {
        gtk_menu_popup_at_pointer(GTK_MENU(menu), trigger);
        return;
    }
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return;
    GdkWindow* root = gdk_screen_get_root_window(gdk_display_get_default_screen(display));
    GdkRectangle rect{0, 0, 1, 1};
    // At the pointer the menu opens just beside it, so no item is under the
    // pointer before it moves.
    GdkGravity anchor = GDK_GRAVITY_SOUTH_EAST;
    if (at) {
        rect = *at;
        anchor = GDK_GRAVITY_NORTH_WEST;
    } else if (GdkDevice* pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(display))) {
        gdk_window_get_device_position(root, pointer, &rect.x, &rect.y, nullptr);
    }
    // The root window anchors the menu, so it also opens for a hidden
    // window (from the notification area).
    gtk_menu_popup_at_rect(GTK_MENU(menu), root, &rect, anchor, GDK_GRAVITY_NORTH_WEST, nullptr);
}

HRESULT ScriptMenus::Set(MenuKind kind, DISPPARAMS* params, EXCEPINFO* exception,
                         UINT* argument_error) {
    if (!params || params->cArgs != 2) return DISP_E_BADPARAMCOUNT;
    const VARIANT& items = params->rgvarg[1];
    const VARIANT& callback = params->rgvarg[0];
    if (items.vt != VT_DISPATCH || !items.pdispVal) return Mismatch(argument_error, 1);
    if (callback.vt != VT_BSTR) return Mismatch(argument_error, 0);
    Destroy(kind);
    Kind& slot = Of(kind);
    if (FAILED(Build(items, BaseOf(kind), &slot.menu, &slot.records, &slot.item_count)))
        return NbFillExceptionInfo(exception, kReportSource, ReportCodeOf(kind), kBuildFailed);
    if (slot.menu && kind == MenuKind::kSystray) {
        AppendSeparator(slot.menu.get());
        AppendExitItem(slot.menu.get());
    }
    slot.callback = TextOf(callback);
    PostRebuild();
    return S_OK;
}

void ScriptMenus::Unset(MenuKind kind) { Destroy(kind); }

void ScriptMenus::Destroy(MenuKind kind) {
    Kind& slot = Of(kind);
    // Destroying the menu destroys its items, their submenus and with them
    // the icon data attached to each item.
    slot.menu.reset();
    slot.callback.clear();
    slot.records.clear();
    slot.item_count = 0;
}

void ScriptMenus::Clear() {
    for (MenuKind kind : {MenuKind::kContext, MenuKind::kSystray, MenuKind::kCustom}) Destroy(kind);
}

void ScriptMenus::Teardown() {
    Clear();
    m_accelerators.clear();
    if (m_message_window) DestroyWindow(m_message_window);
    m_message_window = nullptr;
}

HRESULT ScriptMenus::Build(const VARIANT& items, int base, OwnedMenu* menu,
                           std::vector<AcceleratorRecord>* records, int* item_count) {
    LONG length = 0;
    if (FAILED(NB_ARRAY_GETLENGTH(&items, &length))) return E_FAIL;
    if (length <= 0) return S_OK;
    OwnedMenu built(NewMenu());
    std::vector<AcceleratorRecord> built_records;
    built_records.reserve(static_cast<std::size_t>(length) + 1);
    for (LONG i = 0; i < length; ++i) {
        Variant item;
        LONG fields = 0;
        bool read = SUCCEEDED(NB_ARRAY_GETELEMENT(&items, i, &item)) &&
                    SUCCEEDED(NB_ARRAY_GETLENGTH(&item, &fields)) && fields >= 3;
        Variant element[5];
        for (LONG f = 0; read && f < std::min<LONG>(fields, 5); ++f)
            read = SUCCEEDED(NB_ARRAY_GETELEMENT(&item, f, &element[f]));
        std::u16string label;
        std::u16string shortcut_text;
        std::int64_t number = 0;
        read = read && ReadText(element[0], &label) && ReadText(element[1], &shortcut_text) &&
               ReadNumber(element[2], &number);
        if (!read) return E_FAIL;
        const std::int32_t flags = fields >= 4 && element[3].vt == VT_I4 ? element[3].lVal : 0;
        const bool has_icon_path = fields >= 5 && element[4].vt == VT_BSTR;
        const std::u16string icon_path = has_icon_path ? TextOf(element[4]) : std::u16string();
        const int command = MenuCommand(base, number);
        Shortcut shortcut;
        if (!shortcut_text.empty())
            shortcut = ParseShortcut(shortcut_text, static_cast<std::uint16_t>(command));
        built_records.push_back(shortcut.record);
        if (FAILED(AddEntry(built.get(), MenuItemText(label, shortcut), command, flags,
                            has_icon_path ? &icon_path : nullptr)))
            return E_FAIL;
    }
    *menu = std::move(built);
    *records = std::move(built_records);
    *item_count = static_cast<int>(length);
    return S_OK;
}

HRESULT ScriptMenus::AddEntry(GtkWidget* menu, std::u16string_view text, int command,
                              std::int32_t flags, const std::u16string* icon_path) {
    // Only the label names popups: a ":" typed as a shortcut key stays in
    // the shortcut text.
    const std::size_t colon = SplitItemText(text).label.find(u':');
    if (colon != std::u16string_view::npos) {
        const std::u16string_view name = text.substr(0, colon);
        const std::u16string_view rest = text.substr(colon + 1);
        if (GtkWidget* popup = FindPopup(menu, name))
            return AddEntry(popup, rest, command, flags, icon_path);
        GtkWidget* submenu = gtk_menu_new();
        if (FAILED(AddEntry(submenu, rest, command, flags, icon_path))) {
            gtk_widget_destroy(submenu);
            return E_FAIL;
        }
        auto data = std::make_unique<ItemData>();
        data->popup = true;
        data->text = std::u16string(name);
        GtkWidget* item = gtk_menu_item_new();
        FillItem(item, data.get());
        AttachData(item, data.release());
        gtk_menu_item_set_submenu(GTK_MENU_ITEM(item), submenu);
        gtk_widget_show(item);
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
        return S_OK;
    }
    if (command == 0) {
        AppendSeparator(menu);
        return S_OK;
    }
    auto data = std::make_unique<ItemData>();
    data->command = command;
    data->text = std::u16string(text);
    data->flags = flags;
    // An icon that does not load leaves the item without one.
    if ((flags & kStateIcon) && icon_path)
        data->icon =
            LoadIcon(IconFilePath(*icon_path, ToUtf8(m_owner.Engine().ProgramDirectory())));
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), NewItem(std::move(data)));
    return S_OK;
}

GtkWidget* ScriptMenus::NewItem(std::unique_ptr<MenuItemData> owned) {
    ItemData* data = owned.release();
    GtkWidget* item = nullptr;
    if (data->flags & (kStateChecked | kStateRadio)) {
        item = gtk_check_menu_item_new();
        gtk_check_menu_item_set_draw_as_radio(GTK_CHECK_MENU_ITEM(item),
                                              (data->flags & kStateRadio) != 0);
        gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), TRUE);
    } else {
        item = gtk_menu_item_new();
    }
    data->icon_cell = nullptr;
    FillItem(item, data);
    AttachData(item, data);
    gtk_widget_set_sensitive(item, (data->flags & kStateGreyed) == 0);
    g_signal_connect(item, "activate", G_CALLBACK(OnActivate), this);
    g_signal_connect(item, "select", G_CALLBACK(RedrawIcon), nullptr);
    g_signal_connect(item, "deselect", G_CALLBACK(RedrawIcon), nullptr);
    gtk_widget_show(item);
    return item;
}

void ScriptMenus::AppendExitItem(GtkWidget* menu) {
    auto data = std::make_unique<ItemData>();
    data->command = kExitCommand;
    data->text = u"E&xit";
    data->flags = kStateDefault;
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), NewItem(std::move(data)));
}

void ScriptMenus::OnActivate(GtkMenuItem* item, gpointer self) {
    const ItemData* data = DataOf(GTK_WIDGET(item));
    if (!data) return;
    // Check marks change only when the page says so.
    if (GTK_IS_CHECK_MENU_ITEM(item))
        gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), TRUE);
    static_cast<ScriptMenus*>(self)->DispatchCommand(data->command);
}

void ScriptMenus::DispatchCommand(int command) {
    // The command runs from the loop once the menu or key handler has
    // returned, as a posted command would: an exit destroys the window.
    struct Pending {
        CBrowserCustomizer* owner;
        int command;
    };
    m_owner.AddRef();
    g_idle_add(
        [](gpointer p) -> gboolean {
            std::unique_ptr<Pending> pending(static_cast<Pending*>(p));
            pending->owner->OnMenuCommand(pending->command);
            pending->owner->Release();
            return G_SOURCE_REMOVE;
        },
        new Pending{&m_owner, command});
}

std::u16string ScriptMenus::CallbackFor(int command) const {
    for (MenuKind kind : {MenuKind::kContext, MenuKind::kSystray, MenuKind::kCustom}) {
        const int base = BaseOf(kind);
        if (command > base && command < base + kBaseStep) return Of(kind).callback;
    }
    return {};
}

int ScriptMenus::MatchAccelerator(unsigned keyval, unsigned modifiers) const {
    const std::uint16_t key = VirtualKeyFromKeyval(keyval);
    if (!key) return 0;
    const std::uint8_t held = ModifierFlags(modifiers);
    constexpr std::uint8_t kModifierFlags = kAccelControl | kAccelAlt | kAccelShift;
    for (const AcceleratorRecord& record : m_accelerators)
        if (record.key == key && (record.flags & kModifierFlags) == held) return record.command;
    return 0;
}

bool ScriptMenus::TranslateAccelerator(unsigned keyval, unsigned modifiers) {
    const int command = MatchAccelerator(keyval, modifiers);
    if (!command) return false;
    DispatchCommand(command);
    return true;
}

void ScriptMenus::RebuildAccelerators() {
    m_accelerators =
        CollectAccelerators(Of(MenuKind::kContext).records, Of(MenuKind::kSystray).records,
                            Of(MenuKind::kCustom).records);
}

void ScriptMenus::PostRebuild() {
    if (!m_message_window) m_message_window = NbCreateMessageWindow(&WindowProcedure, this);
    if (m_message_window) PostMessageW(m_message_window, WM_REBUILD_ACCELERATORS, 0, 0);
}

LRESULT ScriptMenus::WindowProcedure(HWND window, UINT message, WPARAM, LPARAM) {
    if (message == WM_REBUILD_ACCELERATORS)
        if (auto* menus = static_cast<ScriptMenus*>(NbGetWindowData(window)))
            menus->RebuildAccelerators();
    return 0;
}

HRESULT ScriptMenus::ShowCustomMenu(DISPPARAMS* params, EXCEPINFO* exception,
                                    UINT* argument_error) {
    const UINT count = params ? params->cArgs : 0;
    if (count > 3) return DISP_E_BADPARAMCOUNT;
    const VARIANT* submenu = count == 1 || count == 3 ? &params->rgvarg[count - 1] : nullptr;
    std::optional<GdkRectangle> at;
    if (count >= 2) {
        if (params->rgvarg[1].vt != VT_I4) return Mismatch(argument_error, 1);
        if (params->rgvarg[0].vt != VT_I4) return Mismatch(argument_error, 0);
        at = GdkRectangle{params->rgvarg[1].lVal, params->rgvarg[0].lVal, 1, 1};
    }
    GtkWidget* menu = Of(MenuKind::kCustom).menu.get();
    if (!menu) return S_OK;
    if (submenu) {
        const std::int64_t position = SubmenuPosition(*submenu);
        const glib::List children(gtk_container_get_children(GTK_CONTAINER(menu)));
        GList* child =
            position >= 0 ? g_list_nth(children.get(), static_cast<guint>(position)) : nullptr;
        GtkWidget* found = child && GTK_IS_MENU_ITEM(child->data)
                               ? gtk_menu_item_get_submenu(GTK_MENU_ITEM(child->data))
                               : nullptr;
        if (!found)
            return NbFillExceptionInfo(exception, kReportSource, ReportCodeOf(MenuKind::kCustom),
                                       kNoSubmenu);
        menu = found;
    }
    if (at) {
        // Page coordinates: from the top-left of the window's client area.
        HostWindow* window = m_owner.Window();
        GdkWindow* client = window ? gtk_widget_get_window(GTK_WIDGET(window->View())) : nullptr;
        int origin_x = 0;
        int origin_y = 0;
        if (client) gdk_window_get_origin(client, &origin_x, &origin_y);
        at->x += origin_x;
        at->y += origin_y;
    }
    Popup(menu, at ? &*at : nullptr, nullptr);
    return S_OK;
}

HRESULT ScriptMenus::ModifyMenuItem(DISPPARAMS* params, UINT* argument_error) {
    const UINT count = params ? params->cArgs : 0;
    if (count != 3 && count != 4) return DISP_E_BADPARAMCOUNT;
    const VARIANT* arguments = params->rgvarg;
    for (UINT position = count; position-- > count - 3;)
        if (arguments[position].vt != VT_I4) return Mismatch(argument_error, position);
    if (count == 4 && arguments[0].vt != VT_BSTR) return Mismatch(argument_error, 0);
    const LONG kind_number = arguments[count - 1].lVal;
    if (kind_number < 1 || kind_number > 3) return Mismatch(argument_error, count - 1);
    const auto kind = static_cast<MenuKind>(kind_number);
    const std::int32_t flags = arguments[count - 3].lVal;
    GtkWidget* menu = Of(kind).menu.get();
    if (!menu) return S_OK;
    const std::int64_t command =
        static_cast<std::int64_t>(BaseOf(kind)) + arguments[count - 2].lVal;
    GtkWidget* old_item = FindItem(menu, static_cast<int>(command));
    if (!old_item) return S_OK;
    const ItemData* old_data = DataOf(old_item);
    auto data = std::make_unique<ItemData>();
    data->command = old_data->command;
    data->text = old_data->text;
    data->flags = flags;
    if ((flags & kStateIcon) && count == 4)
        data->icon = LoadIcon(
            IconFilePath(TextOf(arguments[0]), ToUtf8(m_owner.Engine().ProgramDirectory())));
    // An item's kind (plain, check, radio) is fixed in GTK: a fresh item
    // takes the old one's place.
    GtkWidget* parent = gtk_widget_get_parent(old_item);
    const gint position =
        g_list_index(glib::List(gtk_container_get_children(GTK_CONTAINER(parent))).get(), old_item);
    gtk_widget_destroy(old_item);
    gtk_menu_shell_insert(GTK_MENU_SHELL(parent), NewItem(std::move(data)), position);
    return S_OK;
}

}  // namespace nb::shell
