#include "shell/host/script_object/script_members.h"

#include <array>

#include "platform/text/ascii_case.h"
#include "shell/host/script_object/browser_customizer.h"

namespace nb::shell {

// A friend of the script object, so the table can name its private handlers.
struct ScriptMemberTable {
    using C = CBrowserCustomizer;
    static constexpr MemberKind kMethod = MemberKind::kMethod;
    static constexpr MemberKind kAnyRequest = MemberKind::kMethodAnyRequest;
    static constexpr MemberKind kProperty = MemberKind::kProperty;

    static constexpr std::array kMembers = {
        ScriptMember{u"Minimize", kMinimize, kMethod, &C::CallWindowState},
        ScriptMember{u"Maximize", kMaximize, kMethod, &C::CallWindowState},
        ScriptMember{u"Restore", kRestore, kMethod, &C::CallWindowState},
        ScriptMember{u"Close", kClose, kMethod, &C::CallClose},
        ScriptMember{u"Exit", kExit, kMethod, &C::CallExit},
        ScriptMember{u"Hide", kHide, kMethod, &C::CallHide},
        ScriptMember{u"Show", kShow, kMethod, &C::CallShow},
        ScriptMember{u"Center", kCenter, kMethod, &C::CallCenter},
        ScriptMember{u"GoToSystray", kGoToSystray, kMethod, &C::CallTray},
        ScriptMember{u"ComeFromSystray", kComeFromSystray, kMethod, &C::CallTray},
        ScriptMember{u"ShowSystrayBalloon", kShowSystrayBalloon, kMethod, &C::CallTray},
        ScriptMember{u"HideSystrayBalloon", kHideSystrayBalloon, kMethod, &C::CallTray},
        ScriptMember{u"SetContextMenu", kSetContextMenu, kMethod, &C::CallSetContextMenu},
        ScriptMember{u"UnsetContextMenu", kUnsetContextMenu, kAnyRequest, &C::CallUnsetContextMenu},
        ScriptMember{u"SetSystrayMenu", kSetSystrayMenu, kMethod, &C::CallSetSystrayMenu},
        ScriptMember{u"UnsetSystrayMenu", kUnsetSystrayMenu, kAnyRequest, &C::CallUnsetSystrayMenu},
        ScriptMember{u"SetCustomMenu", kSetCustomMenu, kMethod, &C::CallSetCustomMenu},
        ScriptMember{u"UnsetCustomMenu", kUnsetCustomMenu, kAnyRequest, &C::CallUnsetCustomMenu},
        ScriptMember{u"ShowCustomMenu", kShowCustomMenu, kMethod, &C::CallShowCustomMenu},
        ScriptMember{u"ModifyMenuItem", kModifyMenuItem, kMethod, &C::CallModifyMenuItem},
        ScriptMember{u"EnableDrop", kEnableDrop, kMethod, &C::CallEnableDrop},
        ScriptMember{u"DisableDrop", kDisableDrop, kAnyRequest, &C::CallDisableDrop},
        ScriptMember{u"Execute", kExecute, kMethod, &C::CallExecute},
        ScriptMember{u"TerminateThread", kTerminateThread, kMethod, &C::CallTerminateThread},
        ScriptMember{u"LoadSettings", kLoadSettings, kMethod, &C::CallSettingsFile},
        ScriptMember{u"SaveSettings", kSaveSettings, kMethod, &C::CallSettingsFile},
        ScriptMember{u"ShowModalDialog", kShowModalDialog, kAnyRequest, &C::CallShowModalDialog},
        ScriptMember{u"ShowModelessDialog", kShowModelessDialog, kAnyRequest,
                     &C::CallShowModelessDialog},
        ScriptMember{u"LaunchBrowser", kLaunchBrowser, kMethod, &C::CallLaunchBrowser},
        ScriptMember{u"NavigateTo", kNavigateTo, kMethod, &C::CallNavigateTo},
        ScriptMember{u"DisableShutdown", kDisableShutdown, kMethod, &C::CallTray},
        ScriptMember{u"EnableShutdown", kEnableShutdown, kMethod, &C::CallTray},
        ScriptMember{u"ShowSplashScreen", kShowSplashScreen, kMethod, &C::CallNothing},
        ScriptMember{u"HideSplashScreen", kHideSplashScreen, kMethod, &C::CallNothing},

        ScriptMember{u"win_ApplicationName", kApplicationName, kProperty, &C::AccessSetting},
        ScriptMember{u"win_StartupURL", kStartupUrl, kProperty, &C::AccessSetting},
        ScriptMember{u"win_Language", kLanguage, kProperty, &C::AccessSetting},
        ScriptMember{u"win_Width", kWidth, kProperty, &C::AccessSetting},
        ScriptMember{u"win_Height", kHeight, kProperty, &C::AccessSetting},
        ScriptMember{u"win_Top", kTop, kProperty, &C::AccessSetting},
        ScriptMember{u"win_Left", kLeft, kProperty, &C::AccessSetting},
        ScriptMember{u"win_MinimumWidth", kMinimumWidth, kProperty, &C::AccessSetting},
        ScriptMember{u"win_MinimumHeight", kMinimumHeight, kProperty, &C::AccessSetting},
        ScriptMember{u"win_MaximumWidth", kMaximumWidth, kProperty, &C::AccessSetting},
        ScriptMember{u"win_MaximumHeight", kMaximumHeight, kProperty, &C::AccessSetting},
        ScriptMember{u"win_MinimizeButton", kMinimizeButton, kProperty, &C::AccessSetting},
        ScriptMember{u"win_MaximizeButton", kMaximizeButton, kProperty, &C::AccessSetting},
        ScriptMember{u"win_CloseButton", kCloseButton, kProperty, &C::AccessSetting},
        ScriptMember{u"win_TitleBar", kTitleBar, kProperty, &C::AccessSetting},
        ScriptMember{u"win_TopMost", kTopMost, kProperty, &C::AccessSetting},
        ScriptMember{u"win_State", kState, kProperty, &C::AccessSetting},
        ScriptMember{u"win_Resizable", kResizable, kProperty, &C::AccessSetting},
        ScriptMember{u"win_ScrollBars", kScrollBars, kProperty, &C::AccessSetting},
        ScriptMember{u"win_TextSelection", kTextSelection, kProperty, &C::AccessSetting},
        ScriptMember{u"win_MinimizeToSystray", kMinimizeToSystray, kProperty, &C::AccessSetting},
        ScriptMember{u"win_CloseToSystray", kCloseToSystray, kProperty, &C::AccessSetting},
        ScriptMember{u"win_Silent", kSilent, kProperty, &C::AccessSetting},
        ScriptMember{u"win_DpiAware", kDpiAware, kProperty, &C::AccessSetting},
        ScriptMember{u"win_Alpha", kAlpha, kProperty, &C::AccessSetting},
        ScriptMember{u"win_Transparency", kTransparency, kProperty, &C::AccessSetting},
        ScriptMember{u"win_ColorKey", kColorKey, kProperty, &C::AccessSetting},
        ScriptMember{u"dialogArguments", kDialogArguments, kProperty, &C::AccessSetting},
        ScriptMember{u"returnValue", kReturnValue, kProperty, &C::AccessSetting},
        ScriptMember{u"cookie", kCookie, kProperty, &C::AccessSetting},
        ScriptMember{u"win_Data", kData, kProperty, &C::AccessSetting},

        ScriptMember{u"info_IeVersion", kIeVersion, kProperty, &C::AccessInformation},
        ScriptMember{u"info_IeVersionMajor", kIeVersionMajor, kProperty, &C::AccessInformation},
        ScriptMember{u"info_IeVersionMinor", kIeVersionMinor, kProperty, &C::AccessInformation},
        ScriptMember{u"info_ScreenWidth", kScreenWidth, kProperty, &C::AccessInformation},
        ScriptMember{u"info_ScreenHeight", kScreenHeight, kProperty, &C::AccessInformation},
        ScriptMember{u"info_WorkAreaWidth", kWorkAreaWidth, kProperty, &C::AccessInformation},
        ScriptMember{u"info_WorkAreaHeight", kWorkAreaHeight, kProperty, &C::AccessInformation},
        ScriptMember{u"info_WindowsDpiX", kWindowsDpiX, kProperty, &C::AccessInformation},
        ScriptMember{u"info_WindowsDpiY", kWindowsDpiY, kProperty, &C::AccessInformation},
        ScriptMember{u"info_ApplicationDpiX", kApplicationDpiX, kProperty, &C::AccessInformation},
        ScriptMember{u"info_ApplicationDpiY", kApplicationDpiY, kProperty, &C::AccessInformation},
    };

    // No two members share a name (in any letter case) or a DISPID.
    static constexpr bool AllDistinct() {
        for (std::size_t i = 0; i < kMembers.size(); ++i)
            for (std::size_t j = i + 1; j < kMembers.size(); ++j)
                if (kMembers[i].dispid == kMembers[j].dispid ||
                    EqualsIgnoringAsciiCase(kMembers[i].name, kMembers[j].name))
                    return false;
        return true;
    }
};
static_assert(ScriptMemberTable::AllDistinct(), "two script members share a name or a DISPID");

const ScriptMember* FindMember(std::u16string_view name) {
    for (const ScriptMember& member : ScriptMemberTable::kMembers)
        if (EqualsIgnoringAsciiCase(name, member.name)) return &member;
    return nullptr;
}

const ScriptMember* FindMember(DISPID dispid) {
    for (const ScriptMember& member : ScriptMemberTable::kMembers)
        if (member.dispid == dispid) return &member;
    return nullptr;
}

}  // namespace nb::shell
