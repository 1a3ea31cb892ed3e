// ScriptMenus: the three menus a page builds for its window (context,
// notification area, custom) as GTK menus, their callback names and the
// window's accelerator table made from their shortcuts. One per window,
// owned by its CBrowserCustomizer; everything runs on the UI thread.
#pragma once

#include <gtk/gtk.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/variant.h"
#include "platform/messaging/messaging.h"
#include "shell/host/menus/menu_shortcut.h"

namespace nb::shell {

class CBrowserCustomizer;
struct MenuItemData;

enum class MenuKind { kContext = 1, kSystray = 2, kCustom = 3 };

// Posted to the menus' message window: rebuild the accelerator table.
constexpr UINT WM_REBUILD_ACCELERATORS = 0x806D;

class ScriptMenus {
   public:
    explicit ScriptMenus(CBrowserCustomizer& owner);
    ScriptMenus(const ScriptMenus&) = delete;
    ScriptMenus& operator=(const ScriptMenus&) = delete;
    ~ScriptMenus();

    // True when the kind has a menu.
    bool Has(MenuKind kind) const;
    // The default notification-area menu (one "E&xit" item, command 1, the
    // default item) when that kind has no menu yet.
    void EnsureSystrayMenu();
    // Brings the window to the front and pops the kind's menu up at the
    // pointer; nothing when the kind has no menu. trigger: the event that
    // asked for the menu (a right click), when there is one.
    void PopupAtPointer(MenuKind kind, const GdkEvent* trigger = nullptr);

    // The script methods. params as Invoke receives them (last script
    // argument first); DISP_E_* with argument_error set as the dispatch
    // rules say, or the error report in exception.
    HRESULT Set(MenuKind kind, DISPPARAMS* params, EXCEPINFO* exception, UINT* argument_error);
    void Unset(MenuKind kind);
    HRESULT ShowCustomMenu(DISPPARAMS* params, EXCEPINFO* exception, UINT* argument_error);
    HRESULT ModifyMenuItem(DISPPARAMS* params, UINT* argument_error);

    // Command routing target: the callback name of the kind owning command
    // (empty when none is set or command is no kind's item).
    std::u16string CallbackFor(int command) const;
    // The current accelerator table: the records of all kinds with a key,
    // as the last rebuild made it.
    const std::vector<AcceleratorRecord>& Accelerators() const { return m_accelerators; }
    // The command of the accelerator matching a key press (unshifted
    // keyval, GDK modifier state), or 0.
    int MatchAccelerator(unsigned keyval, unsigned modifiers) const;
    // Offers a key press to the accelerator table: true when a record
    // matched and its command was dispatched (the key is consumed).
    bool TranslateAccelerator(unsigned keyval, unsigned modifiers);
    // Rebuilds the table from the three kinds (context, tray, custom).
    void RebuildAccelerators();

    // Settings loaded: every menu and callback name is dropped (the
    // accelerator table stays until the next rebuild).
    void Clear();
    // The window is gone: the menus, the table and the message window go.
    void Teardown();

   private:
    // A GtkMenu of ours (a sunk reference), destroyed with its items when let go.
    struct DestroyMenu {
        void operator()(GtkWidget* menu) const {
            gtk_widget_destroy(menu);
            g_object_unref(menu);
        }
    };
    using OwnedMenu = std::unique_ptr<GtkWidget, DestroyMenu>;

    struct Kind {
        OwnedMenu menu;
        std::u16string callback;
        std::vector<AcceleratorRecord> records;
        int item_count = 0;
    };

    Kind& Of(MenuKind kind) { return m_kinds[static_cast<int>(kind) - 1]; }
    const Kind& Of(MenuKind kind) const { return m_kinds[static_cast<int>(kind) - 1]; }
    void Destroy(MenuKind kind);
    HRESULT Build(const VARIANT& items, int base, OwnedMenu* menu,
                  std::vector<AcceleratorRecord>* records, int* item_count);
    HRESULT AddEntry(GtkWidget* menu, std::u16string_view text, int command, std::int32_t flags,
                     const std::u16string* icon_path);
    void AppendExitItem(GtkWidget* menu);
    // A shown item made from its data: plain, check or radio by the flags.
    GtkWidget* NewItem(std::unique_ptr<MenuItemData> data);
    // Runs the command from the loop, after the menu or key handler.
    void DispatchCommand(int command);
    void Popup(GtkWidget* menu, const GdkRectangle* at, const GdkEvent* trigger);
    void PostRebuild();
    static LRESULT WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    static void OnActivate(GtkMenuItem* item, gpointer self);

    CBrowserCustomizer& m_owner;
    std::array<Kind, 3> m_kinds;
    std::vector<AcceleratorRecord> m_accelerators;
    HWND m_message_window = nullptr;
};

}  // namespace nb::shell
