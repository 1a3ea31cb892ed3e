// CBrowserCustomizer's notification-area and shutdown members: GoToSystray,
// ComeFromSystray, the balloon and the shutdown block.
#include "shell/host/script_object/browser_customizer.h"
#include "shell/host/tray/tray_arguments.h"
#include "shell/host/window/host_window.h"
#include "shell/host/window/web_engine.h"

namespace nb::shell {

void CBrowserCustomizer::GoToSystray() {
    if (m_type != WindowType::kMain || !m_window) return;
    m_window->Hide();
    if (!m_tray) {
        m_tray = std::make_unique<NotificationArea>(
            IconFileBeside(m_engine.ProgramPath()),
            TrayIconEvents{[this] { ComeFromSystray(); },
                           [this] {
                               if (m_menus.Has(MenuKind::kSystray))
                                   m_menus.PopupAtPointer(MenuKind::kSystray);
                           }});
    }
    if (!m_tray->Add(m_settings.application_name)) return;  // already there: one icon
    m_menus.EnsureSystrayMenu();
}

void CBrowserCustomizer::ComeFromSystray() {
    if (m_type != WindowType::kMain || !m_window) return;
    // Shown maximized or normal; the recorded state stays as it is (a window
    // that minimized into the area still reads "minimized").
    GtkWindow* window = m_window->Window();
    gtk_widget_show(GTK_WIDGET(window));
    gtk_window_deiconify(window);
    if (m_settings.state == WindowState::kMaximized)
        gtk_window_maximize(window);
    else
        gtk_window_unmaximize(window);
    gtk_window_present(window);
    if (m_tray) m_tray->Remove();
}

HRESULT CBrowserCustomizer::InvokeTrayMethod(DISPID dispid, DISPPARAMS* params,
                                             UINT* argument_error) {
    switch (dispid) {
        case kGoToSystray:
            GoToSystray();
            return S_OK;
        case kComeFromSystray:
            ComeFromSystray();
            return S_OK;
        case kShowSystrayBalloon: {
            BalloonRequest request;
            const HRESULT hr = ReadBalloonArguments(params, &request, argument_error);
            if (FAILED(hr)) return hr;
            // A balloon modifies the icon: without the icon in the area
            // there is nothing to show it on, and the call still succeeds.
            if (m_tray) m_tray->ShowBalloon(request, m_settings.application_name);
            return S_OK;
        }
        case kHideSystrayBalloon:
            if (m_tray) m_tray->HideBalloon();
            return S_OK;
        case kDisableShutdown: {
            std::u16string reason;
            const HRESULT hr = ReadShutdownReason(params, &reason, argument_error);
            if (FAILED(hr)) return hr;
            // Without logind the reason is still recorded and the call
            // succeeds (ShutdownBlock::Block).
            m_shutdown.Block(m_settings.application_name, reason);
            return S_OK;
        }
        case kEnableShutdown:
            m_shutdown.Release();
            return S_OK;
        default:
            return E_NOTIMPL;
    }
}

}  // namespace nb::shell
