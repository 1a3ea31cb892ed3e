#include "shell/host/script_object/browser_customizer.h"

#include <array>
#include <cstdlib>
#include <cstring>

#include "common/variant_text.h"
#include "platform/automation/com.h"
#include "platform/text/ascii_case.h"
#include "platform/text/code_pages.h"
#include "shell/host/launch/launch_browser.h"
#include "shell/host/presenters/gtk_presenters.h"
#include "shell/host/program/class_table.h"
#include "shell/host/window/host_window.h"
#include "shell/host/window/navigation.h"
#include "shell/host/window/web_engine.h"
#include "shell/settings/settings_store.h"

namespace nb::shell {
namespace {

HRESULT Text(std::u16string_view text, VARIANT* result) {
    result->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!result->bstrVal) return E_OUTOFMEMORY;
    result->vt = VT_BSTR;
    return S_OK;
}

void Unsigned(std::uint32_t value, VARIANT* result) {
    result->vt = VT_UINT;
    result->uintVal = value;
}

void Switch(std::uint32_t value, VARIANT* result) {
    result->vt = VT_BOOL;
    result->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

// Text properties take text; other values are converted when they can be.
HRESULT TextArgument(const VARIANT& value, std::u16string* out) {
    if (value.vt == VT_BSTR) {
        *out = std::u16string(NbBstrView(value.bstrVal));
        return S_OK;
    }
    Variant text;
    if (FAILED(VariantChangeType(&text, &value, 0, VT_BSTR))) return DISP_E_TYPEMISMATCH;
    *out = std::u16string(NbBstrView(text.bstrVal));
    return S_OK;
}

// The HttpOnly attribute cannot be stored from script: it is cut off with
// the separators before it.
std::u16string WithoutHttpOnly(std::u16string cookie) {
    constexpr std::u16string_view kHttpOnly = u"HttpOnly";
    if (cookie.size() >= kHttpOnly.size() &&
        EqualsIgnoringAsciiCase(
            std::u16string_view(cookie).substr(cookie.size() - kHttpOnly.size()), kHttpOnly)) {
        cookie.resize(cookie.size() - kHttpOnly.size());
        while (!cookie.empty() && (cookie.back() == u' ' || cookie.back() == u';'))
            cookie.pop_back();
    }
    return cookie;
}

}  // namespace

HRESULT LookUpMemberName(std::u16string_view name, DISPID* dispid, bool* is_method) {
    const ScriptMember* member = FindMember(name);
    if (!member) return DISP_E_UNKNOWNNAME;
    *dispid = member->dispid;
    *is_method = member->kind != MemberKind::kProperty;
    return S_OK;
}

CBrowserCustomizer::CBrowserCustomizer(WebEngine& engine) : m_engine(engine) {}

CBrowserCustomizer::~CBrowserCustomizer() {
    m_bridge.reset();
    CoTaskMemFree(m_info.browser_version);
}

HRESULT CBrowserCustomizer::CreateInstance(WebEngine& engine, CBrowserCustomizer** object) {
    if (!object) return E_POINTER;
    *object = new CBrowserCustomizer(engine);
    return S_OK;
}

HRESULT CBrowserCustomizer::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IBrowserCustomizer) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CBrowserCustomizer::AddRef() { return ++m_references; }

ULONG CBrowserCustomizer::Release() {
    const ULONG left = --m_references;
    if (left == 0) delete this;
    return left;
}

HRESULT CBrowserCustomizer::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT CBrowserCustomizer::GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }

HRESULT CBrowserCustomizer::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* dispids) {
    if (!names || !dispids) return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
        bool is_method = false;
        if (FAILED(LookUpMemberName(names[i] ? std::u16string_view(names[i]) : u"", &dispids[i],
                                    &is_method))) {
            dispids[i] = -1;
            hr = DISP_E_UNKNOWNNAME;
        }
    }
    return hr;
}

HRESULT CBrowserCustomizer::LookUpMember(std::u16string_view name, DISPID* dispid,
                                         bool* is_method) {
    return LookUpMemberName(name, dispid, is_method);
}

HRESULT CBrowserCustomizer::CallFunction(LPCWSTR name, DISPPARAMS* arguments, VARIANT* result) {
    if (!m_window || !name) return E_FAIL;
    return m_engine.Channel().CallPage(m_window->PageId(), name, arguments, result);
}

HRESULT CBrowserCustomizer::Invoke(DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argument_error) {
    const UINT count = params ? params->cArgs : 0;
    if ((flags & DISPATCH_PROPERTYGET) && !(flags & DISPATCH_METHOD)) {
        if (count) return DISP_E_BADPARAMCOUNT;
        if (!result) return DISP_E_MEMBERNOTFOUND;
    }
    if ((flags & DISPATCH_PROPERTYPUT) && count != 1) return DISP_E_BADPARAMCOUNT;
    if (result) VariantClear(result);
    const ScriptMember* member = FindMember(dispid);
    if (!member) return DISP_E_MEMBERNOTFOUND;
    if (member->kind == MemberKind::kProperty) {
        if (!(flags & DISPATCH_PROPERTYPUT) && !result) return DISP_E_MEMBERNOTFOUND;
    } else if (!(flags & DISPATCH_METHOD) && member->kind != MemberKind::kMethodAnyRequest) {
        return DISP_E_MEMBERNOTFOUND;
    }
    return (this->*member->handler)({dispid, flags, params, result, exception, argument_error});
}

HRESULT CBrowserCustomizer::AccessSetting(const MemberCall& call) {
    if (call.flags & DISPATCH_PROPERTYPUT) return PutProperty(call.dispid, call.params->rgvarg[0]);
    return GetProperty(call.dispid, call.result);
}

HRESULT CBrowserCustomizer::AccessInformation(const MemberCall& call) {
    // info_* are read-only: a put is accepted and ignored.
    if (call.flags & DISPATCH_PROPERTYPUT) return S_OK;
    const SystemInformation& i = m_info;
    DWORD value = 0;
    switch (call.dispid) {
        case kIeVersion:
            if (!i.browser_version) return E_OUTOFMEMORY;
            return Text(i.browser_version, call.result);
        case kIeVersionMajor:
            value = i.browser_major;
            break;
        case kIeVersionMinor:
            value = i.browser_minor;
            break;
        case kScreenWidth:
            value = i.screen_width;
            break;
        case kScreenHeight:
            value = i.screen_height;
            break;
        case kWorkAreaWidth:
            value = i.work_area_width;
            break;
        case kWorkAreaHeight:
            value = i.work_area_height;
            break;
        case kWindowsDpiX:
            value = i.system_dpi_x;
            break;
        case kWindowsDpiY:
            value = i.system_dpi_y;
            break;
        case kApplicationDpiX:
            value = i.application_dpi_x;
            break;
        case kApplicationDpiY:
            value = i.application_dpi_y;
            break;
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
    Unsigned(value, call.result);
    return S_OK;
}

HRESULT CBrowserCustomizer::GetProperty(DISPID dispid, VARIANT* result) {
    const WindowSettings& s = m_settings;
    switch (dispid) {
        case kApplicationName:
            return Text(s.application_name, result);
        case kStartupUrl:
            return Text(s.startup_url, result);
        case kLanguage:
            return Text(s.language, result);
        case kWidth:
            Unsigned(s.width, result);
            return S_OK;
        case kHeight:
            Unsigned(s.height, result);
            return S_OK;
        case kTop:
            Unsigned(s.top, result);
            return S_OK;
        case kLeft:
            Unsigned(s.left, result);
            return S_OK;
        case kMinimumWidth:
            Unsigned(s.minimum_width, result);
            return S_OK;
        case kMinimumHeight:
            Unsigned(s.minimum_height, result);
            return S_OK;
        case kMaximumWidth:
            Unsigned(s.maximum_width, result);
            return S_OK;
        case kMaximumHeight:
            Unsigned(s.maximum_height, result);
            return S_OK;
        case kMinimizeButton:
            Switch(s.minimize_button, result);
            return S_OK;
        case kMaximizeButton:
            Switch(s.maximize_button, result);
            return S_OK;
        case kCloseButton:
            Switch(s.close_button, result);
            return S_OK;
        case kTitleBar:
            Switch(s.title_bar, result);
            return S_OK;
        case kTopMost:
            Switch(s.top_most, result);
            return S_OK;
        case kState:
            return Text(StateReading(s.state), result);
        case kResizable:
            Switch(s.resizable, result);
            return S_OK;
        case kScrollBars:
            Switch(s.scroll_bars, result);
            return S_OK;
        case kTextSelection:
            Switch(s.text_selection, result);
            return S_OK;
        case kMinimizeToSystray:
            Switch(s.minimize_to_systray, result);
            return S_OK;
        case kCloseToSystray:
            Switch(s.close_to_systray, result);
            return S_OK;
        case kSilent:
            Switch(s.silent, result);
            return S_OK;
        case kDpiAware:
            Switch(s.dpi_aware, result);
            return S_OK;
        case kAlpha:
            Unsigned(s.alpha, result);
            return S_OK;
        case kTransparency:
            Switch(s.transparency, result);
            return S_OK;
        case kColorKey:
            return Text(s.color_key, result);
        case kDialogArguments:
        case kReturnValue:
            return GetDialogProperty(dispid, result);
        case kCookie: {
            const std::optional<std::u16string> cookies =
                server::CookieStore::Shared().Get(server::CookieUrl());
            return Text(cookies.value_or(u""), result);
        }
        case kData:
            return VariantCopy(result, &m_data);
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT CBrowserCustomizer::PutProperty(DISPID dispid, const VARIANT& value) {
    WindowSettings& s = m_settings;
    HostWindow* window = m_window.get();
    const auto store_switch = [&](std::uint32_t& field) {
        const std::uint32_t next = SwitchArgument(value) ? 1 : 0;
        const bool changed = field != next;
        field = next;
        return changed;
    };
    switch (dispid) {
        case kApplicationName:
            return TextArgument(value, &s.application_name);
        case kStartupUrl:
            return TextArgument(value, &s.startup_url);
        case kLanguage: {
            const HRESULT hr = TextArgument(value, &s.language);
            if (FAILED(hr)) return hr;
            setenv("NIMBRA_LANGUAGE", ToUtf8(s.language).c_str(), 1);
            if (auto store = OpenSettingsFile(s.settings_file))
                store->WriteText(u"win_Language", s.language);
            return S_OK;
        }
        case kWidth:
        case kHeight: {
            std::uint32_t& field = dispid == kWidth ? s.width : s.height;
            const std::uint32_t next =
                dispid == kWidth
                    ? ClampSize(NumberArgument(value), s.minimum_width, s.maximum_width)
                    : ClampSize(NumberArgument(value), s.minimum_height, s.maximum_height);
            if (next == field) return S_OK;
            field = next;
            if (window) window->PlaceWindow();
            return S_OK;
        }
        case kTop:
        case kLeft: {
            const bool is_top = dispid == kTop;
            std::uint32_t& field = is_top ? s.top : s.left;
            const ScreenSize work = HostWindow::WorkArea();
            const std::int64_t next =
                CenteredPosition(NumberArgument(value), is_top ? work.height : work.width,
                                 is_top ? m_metrics.frame_height : m_metrics.frame_width,
                                 is_top ? s.height : s.width);
            if (static_cast<std::uint32_t>(next) == field) return S_OK;
            field = static_cast<std::uint32_t>(next);
            if (window) window->PlaceWindow();
            return S_OK;
        }
        case kMinimumWidth:
            s.minimum_width = NumberArgument(value);
            return S_OK;
        case kMinimumHeight:
            s.minimum_height = NumberArgument(value);
            return S_OK;
        case kMaximumWidth:
            s.maximum_width = NumberArgument(value);
            return S_OK;
        case kMaximumHeight:
            s.maximum_height = NumberArgument(value);
            return S_OK;
        case kMinimizeButton:
        case kMaximizeButton:
        case kCloseButton:
        case kResizable: {
            std::uint32_t& field = dispid == kMinimizeButton   ? s.minimize_button
                                   : dispid == kMaximizeButton ? s.maximize_button
                                   : dispid == kCloseButton    ? s.close_button
                                                               : s.resizable;
            if (store_switch(field) && window) window->ApplySettings(Placing::kKeep);
            return S_OK;
        }
        case kTitleBar:
        case kTopMost:
            if (store_switch(dispid == kTitleBar ? s.title_bar : s.top_most) && window)
                window->ApplySettings(Placing::kPlace);
            return S_OK;
        case kState: {
            std::u16string name;
            if (FAILED(TextArgument(value, &name))) return DISP_E_TYPEMISMATCH;
            const std::optional<WindowState> state = StateFromName(name);
            if (state && *state != s.state) {
                s.state = *state;
                if (window) window->ApplySettings(Placing::kPlace);
            }
            return S_OK;
        }
        case kScrollBars:
            if (store_switch(s.scroll_bars) && window) window->ApplyPageStyle();
            return S_OK;
        case kTextSelection:
            if (store_switch(s.text_selection) && window) window->ApplyPageStyle();
            return S_OK;
        case kMinimizeToSystray:
            store_switch(s.minimize_to_systray);
            return S_OK;
        case kCloseToSystray:
            store_switch(s.close_to_systray);
            return S_OK;
        case kSilent:
            store_switch(s.silent);
            return S_OK;
        case kDpiAware:
            store_switch(s.dpi_aware);
            return S_OK;
        case kAlpha: {
            const std::uint32_t next = std::min<std::uint32_t>(NumberArgument(value), 100);
            const bool changed = next != s.alpha;
            s.alpha = next;
            if (changed && window) window->ApplySettings(Placing::kKeep);
            return S_OK;
        }
        case kTransparency:
            if (store_switch(s.transparency) && window) window->ApplySettings(Placing::kKeep);
            return S_OK;
        case kColorKey: {
            std::u16string key;
            const HRESULT hr = TextArgument(value, &key);
            if (FAILED(hr)) return hr;
            const bool changed = key != s.color_key;
            s.color_key = std::move(key);
            if (changed && window) window->ApplySettings(Placing::kKeep);
            return S_OK;
        }
        case kDialogArguments:
        case kReturnValue:
            return PutDialogProperty(dispid, value);
        case kCookie: {
            std::u16string cookie;
            const HRESULT hr = TextArgument(value, &cookie);
            if (FAILED(hr)) return hr;
            return server::CookieStore::Shared().Set(server::CookieUrl(), WithoutHttpOnly(cookie))
                       ? S_OK
                       : E_FAIL;
        }
        case kData: {
            const VARIANT* source = &value;
            if (source->vt == (VT_BYREF | VT_VARIANT) && source->pvarVal) source = source->pvarVal;
            return VariantCopy(&m_data, source);
        }
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT CBrowserCustomizer::CallExecute(const MemberCall& c) {
    if (!m_bridge) return E_FAIL;
    return m_bridge->Execute(c.params, c.flags, c.result, c.exception, c.argument_error);
}

HRESULT CBrowserCustomizer::CallTerminateThread(const MemberCall& c) {
    if (!m_bridge) return E_FAIL;
    return m_bridge->TerminateThread(c.params, c.flags);
}

// LoadSettings and SaveSettings.
HRESULT CBrowserCustomizer::CallSettingsFile(const MemberCall& c) {
    const UINT count = c.params ? c.params->cArgs : 0;
    if (count > 1) return DISP_E_BADPARAMCOUNT;
    std::u16string path;
    if (count == 1) {
        if (c.params->rgvarg[0].vt != VT_BSTR) {
            if (c.argument_error) *c.argument_error = 0;
            return DISP_E_TYPEMISMATCH;
        }
        path = std::u16string(NbBstrView(c.params->rgvarg[0].bstrVal));
    }
    bool ok = false;
    if (c.dispid == kLoadSettings) {
        ok = SUCCEEDED(LoadSettingsFrom(path.empty() ? m_engine.DefaultSettingsPath() : path));
        if (ok && m_window) m_window->ApplySettings(Placing::kPlace);
    } else {
        ok = SaveSettingsTo(path.empty() ? m_settings.settings_file : path);
    }
    if (c.result) Switch(ok ? 1 : 0, c.result);
    return S_OK;
}

HRESULT CBrowserCustomizer::CallNavigateTo(const MemberCall& c) {
    const UINT count = c.params ? c.params->cArgs : 0;
    if (count != 1) return DISP_E_BADPARAMCOUNT;
    if (c.params->rgvarg[0].vt != VT_BSTR) {
        if (c.argument_error) *c.argument_error = 0;
        return DISP_E_TYPEMISMATCH;
    }
    NavigateTo(NbBstrView(c.params->rgvarg[0].bstrVal));
    return S_OK;
}

HRESULT CBrowserCustomizer::CallClose(const MemberCall&) {
    if (m_window) m_window->PostClose();
    return S_OK;
}

HRESULT CBrowserCustomizer::CallExit(const MemberCall&) {
    Exit();
    return S_OK;
}

// The notification-area and shutdown methods.
HRESULT CBrowserCustomizer::CallTray(const MemberCall& c) {
    return InvokeTrayMethod(c.dispid, c.params, c.argument_error);
}

// Minimize, Maximize and Restore.
HRESULT CBrowserCustomizer::CallWindowState(const MemberCall& c) {
    // A main window that minimizes to the notification area goes there.
    if (c.dispid == kMinimize && m_type == WindowType::kMain && m_settings.minimize_to_systray) {
        m_settings.state = WindowState::kMinimized;
        GoToSystray();
        return S_OK;
    }
    m_settings.state = c.dispid == kMinimize   ? WindowState::kMinimized
                       : c.dispid == kMaximize ? WindowState::kMaximized
                                               : WindowState::kNormal;
    if (m_window) m_window->ShowByState();
    return S_OK;
}

HRESULT CBrowserCustomizer::CallHide(const MemberCall&) {
    if (m_window) m_window->Hide();
    return S_OK;
}

HRESULT CBrowserCustomizer::CallShow(const MemberCall&) {
    if (m_settings.state != WindowState::kMaximized && m_settings.state != WindowState::kFullscreen)
        m_settings.state = WindowState::kNormal;
    if (m_window) m_window->ShowByState();
    return S_OK;
}

HRESULT CBrowserCustomizer::CallCenter(const MemberCall&) {
    if (m_window) m_window->Center();
    return S_OK;
}

HRESULT CBrowserCustomizer::CallSetContextMenu(const MemberCall& c) {
    return m_menus.Set(MenuKind::kContext, c.params, c.exception, c.argument_error);
}

HRESULT CBrowserCustomizer::CallSetSystrayMenu(const MemberCall& c) {
    return m_menus.Set(MenuKind::kSystray, c.params, c.exception, c.argument_error);
}

HRESULT CBrowserCustomizer::CallSetCustomMenu(const MemberCall& c) {
    return m_menus.Set(MenuKind::kCustom, c.params, c.exception, c.argument_error);
}

HRESULT CBrowserCustomizer::CallUnsetContextMenu(const MemberCall&) {
    m_menus.Unset(MenuKind::kContext);
    return S_OK;
}

HRESULT CBrowserCustomizer::CallUnsetSystrayMenu(const MemberCall&) {
    m_menus.Unset(MenuKind::kSystray);
    return S_OK;
}

HRESULT CBrowserCustomizer::CallUnsetCustomMenu(const MemberCall&) {
    m_menus.Unset(MenuKind::kCustom);
    return S_OK;
}

HRESULT CBrowserCustomizer::CallShowCustomMenu(const MemberCall& c) {
    return m_menus.ShowCustomMenu(c.params, c.exception, c.argument_error);
}

HRESULT CBrowserCustomizer::CallModifyMenuItem(const MemberCall& c) {
    return m_menus.ModifyMenuItem(c.params, c.argument_error);
}

HRESULT CBrowserCustomizer::CallEnableDrop(const MemberCall& c) {
    return m_drop.Enable(c.params, c.argument_error);
}

HRESULT CBrowserCustomizer::CallDisableDrop(const MemberCall& c) {
    return m_drop.Disable(c.params, c.flags);
}

HRESULT CBrowserCustomizer::CallLaunchBrowser(const MemberCall& c) {
    return LaunchBrowserMethod(c.params, c.argument_error);
}

HRESULT CBrowserCustomizer::CallShowModalDialog(const MemberCall& c) {
    return ShowDialog(WindowType::kModalDialog, c.params, c.result, c.exception, c.argument_error);
}

HRESULT CBrowserCustomizer::CallShowModelessDialog(const MemberCall& c) {
    return ShowDialog(WindowType::kModelessDialog, c.params, c.result, c.exception,
                      c.argument_error);
}

// ShowSplashScreen and HideSplashScreen: the shell has no splash screen.
HRESULT CBrowserCustomizer::CallNothing(const MemberCall&) { return S_OK; }

void CBrowserCustomizer::PopulateInfo() {
    const EngineVersion version = WebEngine::Version();
    const std::u16string text = ToUtf16(version.text);
    m_info.browser_version =
        static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(char16_t)));
    if (m_info.browser_version)
        std::memcpy(m_info.browser_version, text.c_str(), (text.size() + 1) * sizeof(char16_t));
    m_info.browser_major = version.major;
    m_info.browser_minor = version.minor;
    const ScreenSize screen = HostWindow::Screen();
    const ScreenSize work = HostWindow::WorkArea();
    m_info.screen_width = static_cast<DWORD>(screen.width);
    m_info.screen_height = static_cast<DWORD>(screen.height);
    m_info.work_area_width = static_cast<DWORD>(work.width);
    m_info.work_area_height = static_cast<DWORD>(work.height);
    const std::uint32_t dpi = HostWindow::ScreenDpi();
    m_info.system_dpi_x = m_info.system_dpi_y = dpi;
    m_info.application_dpi_x = m_info.application_dpi_y = 96;
}

HRESULT CBrowserCustomizer::LoadSettingsFrom(const std::u16string& path) {
    std::unique_ptr<SettingsStore> store = OpenSettingsFile(path);
    if (!store) return E_FAIL;
    m_settings = LoadSettings(*store, m_type, HostWindow::Screen());
    ApplyDialogLink();
    m_drop.OnSettingsLoaded();
    m_menus.Clear();
    m_settings.settings_file = path;
    if (m_window) m_window->ComputeMetrics();
    return S_OK;
}

bool CBrowserCustomizer::SaveSettingsTo(const std::u16string& path) {
    std::unique_ptr<SettingsStore> store = OpenSettingsFile(path);
    return store && SaveSettings(m_settings, *store);
}

HRESULT CBrowserCustomizer::Run() {
    PopulateInfo();
    if (FAILED(LoadSettingsFrom(m_engine.DefaultSettingsPath()))) {
        m_engine.ShowMessage(nullptr, "Cannot _LoadSettings()", "Fatal Error");
        return E_FAIL;
    }
    setenv("NIMBRA_LANGUAGE", ToUtf8(m_settings.language).c_str(), 1);
    setenv("MSIE_VERSION",
           m_info.browser_version ? ToUtf8(m_info.browser_version).c_str() : "Unknown", 1);
    setenv("MSIE_VERSION_MAJOR", std::to_string(m_info.browser_major).c_str(), 1);
    setenv("MSIE_VERSION_MINOR", std::to_string(m_info.browser_minor).c_str(), 1);
    // win_DpiAware takes the real DPI only with an engine that scales pages.
    if (m_settings.dpi_aware && m_info.browser_major >= 2) {
        m_info.application_dpi_x = m_info.system_dpi_x;
        m_info.application_dpi_y = m_info.system_dpi_y;
        m_scale_x = static_cast<float>(m_info.system_dpi_x) / 96.0f;
        m_scale_y = static_cast<float>(m_info.system_dpi_y) / 96.0f;
    }
    m_window = HostWindow::Create(*this, m_engine, static_cast<WebKitWebView*>(m_related_view));
    if (!m_window) {
        m_engine.ShowMessage(nullptr, "CoCreateInstance(CLSID_WebBrowser) failed.",
                             "BrowserCustomizer/Run");
        return E_FAIL;
    }
    m_drop.Attach(m_window->View());
    m_window->ComputeMetrics();
    const ScreenSize work = HostWindow::WorkArea();
    m_settings.top = static_cast<std::uint32_t>(
        CenteredPosition(m_settings.top, work.height, m_metrics.frame_height, m_settings.height));
    m_settings.left = static_cast<std::uint32_t>(
        CenteredPosition(m_settings.left, work.width, m_metrics.frame_width, m_settings.width));
    m_bridge = bridge::ExtensionBridge::Create({nullptr, this, &m_info, nullptr});
    if (!m_bridge) {
        m_engine.ShowMessage(nullptr, "Cannot AtlAdvise()", "Fatal Error");
        return E_FAIL;
    }
    // The library's dialogs and tooltips name their owner by the bridge's handle.
    AttachOwnerWindow(m_bridge->Window(), m_window->Window());
    m_engine.Channel().Attach(m_window->PageId(), this);
    m_window->ApplySettings(Placing::kPlace);
    if (m_type != WindowType::kNewWindow) NavigateTo(m_settings.startup_url);
    AttachToOpener();
    m_window->ShowByState();
    return S_OK;
}

void CBrowserCustomizer::NavigateTo(std::u16string_view url) {
    if (m_window) m_window->Navigate(ToUtf8(MakeAbsoluteUrl(url, m_engine.ProgramDirectory())));
}

void CBrowserCustomizer::OnCloseRequest() {
    if (!m_window) return;
    if (m_type == WindowType::kMain && m_settings.close_to_systray) {
        GoToSystray();
        return;
    }
    if (!m_settings.close_button) return;
    Variant argument;
    argument.vt = VT_INT;
    argument.intVal = 0;
    DISPPARAMS params{&argument, nullptr, 1, 0};
    Variant answer;
    if (SUCCEEDED(CallFunction(u"onclose", &params, &answer))) return;
    Exit();
}

void CBrowserCustomizer::Exit() {
    if (!m_window) return;
    ReturnToOpener();
    m_window->Hide();
    if (m_bridge) m_bridge->Shutdown();
    m_window->Destroy();
}

void CBrowserCustomizer::OnWindowDestroyed() {
    m_drop.Detach();
    m_menus.Teardown();
    if (m_window) m_engine.Channel().Detach(m_window->PageId());
    // The window's end takes its icon out of the area and lifts its block.
    if (m_tray) m_tray->Remove();
    m_shutdown.Release();
    m_bridge.reset();
    EndDialogLink();
    m_engine.OnWindowClosed(this);
}

}  // namespace nb::shell
