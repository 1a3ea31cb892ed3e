// CBrowserCustomizer: the script object of one shell window, which pages
// see as window.external. It holds the window's settings record and system
// information block, answers the win_*/info_* properties and the methods,
// and owns the window (HostWindow) and the extension bridge. Everything here
// runs on the UI thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "common/worker_protocol.h"
#include "platform/automation/com_ptr.h"
#include "platform/automation/interfaces.h"
#include "shell/bridge/extension_bridge.h"
#include "shell/channel/page_channel.h"
#include "shell/host/dialogs/dialogs.h"
#include "shell/host/drop/file_drop.h"
#include "shell/host/menus/script_menus.h"
#include "shell/host/script_object/script_members.h"
#include "shell/host/tray/notification_area.h"
#include "shell/host/tray/shutdown_block.h"
#include "shell/server/cookie_store.h"
#include "shell/settings/window_settings.h"

namespace nb::shell {

class HostWindow;
class WebEngine;

// The DISPIDs of the members of IBrowserCustomizer that scripts reach by
// name; script_members.cpp gives each its name, kind and handler.
enum MemberId : DISPID {
    kMinimize = 500,
    kMaximize = 501,
    kRestore = 502,
    kClose = 503,
    kExit = 504,
    kHide = 505,
    kShow = 506,
    kCenter = 507,
    kGoToSystray = 508,
    kComeFromSystray = 509,
    kShowSystrayBalloon = 510,
    kHideSystrayBalloon = 511,
    kSetContextMenu = 512,
    kUnsetContextMenu = 513,
    kSetSystrayMenu = 514,
    kUnsetSystrayMenu = 515,
    kSetCustomMenu = 516,
    kUnsetCustomMenu = 517,
    kShowCustomMenu = 518,
    kModifyMenuItem = 519,
    kEnableDrop = 520,
    kDisableDrop = 521,
    kExecute = 522,
    kTerminateThread = 523,
    kLoadSettings = 524,
    kSaveSettings = 525,
    kShowModalDialog = 526,
    kShowModelessDialog = 527,
    kLaunchBrowser = 528,
    kNavigateTo = 529,
    kDisableShutdown = 530,
    kEnableShutdown = 531,
    kShowSplashScreen = 532,
    kHideSplashScreen = 533,
    kApplicationName = 600,
    kStartupUrl = 601,
    kLanguage = 602,
    kWidth = 603,
    kHeight = 604,
    kTop = 605,
    kLeft = 606,
    kMinimumWidth = 607,
    kMinimumHeight = 608,
    kMaximumWidth = 609,
    kMaximumHeight = 610,
    kMinimizeButton = 611,
    kMaximizeButton = 612,
    kCloseButton = 613,
    kTitleBar = 614,
    kTopMost = 615,
    kState = 616,
    kResizable = 617,
    kScrollBars = 618,
    kTextSelection = 619,
    kMinimizeToSystray = 620,
    kCloseToSystray = 621,
    kSilent = 622,
    kDpiAware = 623,
    kAlpha = 624,
    kTransparency = 625,
    kColorKey = 626,
    kDialogArguments = 627,
    kReturnValue = 628,
    kCookie = 629,
    kData = 630,
    kIeVersion = 700,
    kIeVersionMajor = 701,
    kIeVersionMinor = 702,
    kScreenWidth = 703,
    kScreenHeight = 704,
    kWorkAreaWidth = 705,
    kWorkAreaHeight = 706,
    kWindowsDpiX = 707,
    kWindowsDpiY = 708,
    kApplicationDpiX = 709,
    kApplicationDpiY = 710,
};

// DISP_E_UNKNOWNNAME unless name (any letter case) is a member.
HRESULT LookUpMemberName(std::u16string_view name, DISPID* dispid, bool* is_method);

class CBrowserCustomizer final : public IDispatch,
                                 public PageEndpoint,
                                 public bridge::ScriptCallbacks {
   public:
    // Module-local creation: a new object with one reference.
    static HRESULT CreateInstance(WebEngine& engine, CBrowserCustomizer** object);

    // IUnknown, IDispatch
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                          DISPID* dispids) override;
    HRESULT Invoke(DISPID dispid, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* exception, UINT* argument_error) override;

    // PageEndpoint
    HRESULT LookUpMember(std::u16string_view name, DISPID* dispid, bool* is_method) override;
    IDispatch* ExternalObject() override { return this; }

    // ScriptCallbacks: calls a global function of the window's page.
    HRESULT CallFunction(LPCWSTR name, DISPPARAMS* arguments, VARIANT* result) override;

    // The shell's own members.
    void SetWindowType(WindowType type) { m_type = type; }
    WindowType Type() const { return m_type; }
    // Builds the window and loads win_StartupURL (not for new windows).
    // E_FAIL after showing the failing step's message.
    HRESULT Run();
    HostWindow* Window() const { return m_window.get(); }
    // The opening page's view, for a window a page opened (a WebKitWebView).
    void SetRelatedView(void* view) { m_related_view = view; }

    WindowSettings& Settings() { return m_settings; }
    WindowMetrics& Metrics() { return m_metrics; }
    const SystemInformation& Information() const { return m_info; }
    float ScaleX() const { return m_scale_x; }
    float ScaleY() const { return m_scale_y; }
    bridge::ExtensionBridge* Bridge() const { return m_bridge.get(); }
    // The page's context, notification-area and custom menus.
    ScriptMenus& Menus() { return m_menus; }
    WebEngine& Engine() { return m_engine; }
    // A menu command (item or accelerator): 1 exits, an item of a kind calls
    // the kind's callback with the item's number.
    void OnMenuCommand(int command);

    // Navigation with the URL rules (relative local URLs made absolute).
    void NavigateTo(std::u16string_view url);
    // Close handling: tray, then the page's onclose, then teardown.
    void OnCloseRequest();
    // Hides the window, stops the workers and destroys the window.
    void Exit();
    // Called by the window once it is gone.
    void OnWindowDestroyed();
    // Links a dialog (type 2 or 3) with its opener before Run: the opener's
    // argument VARIANT (null if none) and result VARIANT, the dialog URL and
    // features VARIANTs (features null if none), and the flag cleared once
    // the dialog's window is gone. E_POINTER when a required one is null.
    HRESULT InitModalDialog(CBrowserCustomizer* opener, VARIANT* arguments, VARIANT* result,
                            VARIANT* url, VARIANT* features, LONG* alive);
    // The notification area (main window only): hides the window behind the
    // icon, or shows it again and removes the icon.
    void GoToSystray();
    void ComeFromSystray();

   private:
    explicit CBrowserCustomizer(WebEngine& engine);
    ~CBrowserCustomizer();

    friend struct ScriptMemberTable;
    // The members' handlers, one per member or per group of members that
    // share their code (script_members.cpp names which).
    HRESULT AccessSetting(const MemberCall& call);
    HRESULT AccessInformation(const MemberCall& call);
    HRESULT CallExecute(const MemberCall& call);
    HRESULT CallTerminateThread(const MemberCall& call);
    HRESULT CallSettingsFile(const MemberCall& call);
    HRESULT CallNavigateTo(const MemberCall& call);
    HRESULT CallClose(const MemberCall& call);
    HRESULT CallExit(const MemberCall& call);
    HRESULT CallTray(const MemberCall& call);
    HRESULT CallWindowState(const MemberCall& call);
    HRESULT CallHide(const MemberCall& call);
    HRESULT CallShow(const MemberCall& call);
    HRESULT CallCenter(const MemberCall& call);
    HRESULT CallSetContextMenu(const MemberCall& call);
    HRESULT CallSetSystrayMenu(const MemberCall& call);
    HRESULT CallSetCustomMenu(const MemberCall& call);
    HRESULT CallUnsetContextMenu(const MemberCall& call);
    HRESULT CallUnsetSystrayMenu(const MemberCall& call);
    HRESULT CallUnsetCustomMenu(const MemberCall& call);
    HRESULT CallShowCustomMenu(const MemberCall& call);
    HRESULT CallModifyMenuItem(const MemberCall& call);
    HRESULT CallEnableDrop(const MemberCall& call);
    HRESULT CallDisableDrop(const MemberCall& call);
    HRESULT CallLaunchBrowser(const MemberCall& call);
    HRESULT CallShowModalDialog(const MemberCall& call);
    HRESULT CallShowModelessDialog(const MemberCall& call);
    HRESULT CallNothing(const MemberCall& call);

    HRESULT GetProperty(DISPID dispid, VARIANT* result);
    HRESULT PutProperty(DISPID dispid, const VARIANT& value);
    // The notification-area and shutdown methods (tray_methods.cpp).
    HRESULT InvokeTrayMethod(DISPID dispid, DISPPARAMS* params, UINT* argument_error);
    // Dialogs (dialogs.cpp): the two methods, load-settings' dialog step, the
    // opener's disabling and return, and the two dialog properties.
    HRESULT ShowDialog(WindowType type, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                       UINT* argument_error);
    void ApplyDialogLink();
    void AttachToOpener();
    void ReturnToOpener();
    void EndDialogLink();
    HRESULT GetDialogProperty(DISPID dispid, VARIANT* result);
    HRESULT PutDialogProperty(DISPID dispid, const VARIANT& value);
    void PopulateInfo();
    HRESULT LoadSettingsFrom(const std::u16string& path);
    bool SaveSettingsTo(const std::u16string& path);

    std::atomic<ULONG> m_references{1};
    WebEngine& m_engine;
    WindowType m_type = WindowType::kMain;
    WindowSettings m_settings;
    WindowMetrics m_metrics;
    SystemInformation m_info{};
    float m_scale_x = 1.0f;
    float m_scale_y = 1.0f;
    Variant m_data;
    void* m_related_view = nullptr;
    std::unique_ptr<HostWindow> m_window;
    std::unique_ptr<bridge::ExtensionBridge> m_bridge;
    DialogLink m_dialog;
    ScriptMenus m_menus{*this};
    std::unique_ptr<NotificationArea> m_tray;
    ShutdownBlock m_shutdown;
    // The page's drop handlers and the window's drags; gone before the window.
    FileDrop m_drop{static_cast<IDispatch&>(*this), *this};
};

}  // namespace nb::shell
