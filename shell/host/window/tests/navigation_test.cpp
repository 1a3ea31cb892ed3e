#include "shell/host/window/navigation.h"

#include <gtest/gtest.h>

#include "shell/host/script_object/browser_customizer.h"

namespace nb::shell {
namespace {

TEST(Navigation, LocalUrlsBecomeAbsolute) {
    const struct {
        const char16_t* url;
        const char16_t* expected;
    } cases[] = {
        {u"x-mrs://ui/main.html", u"x-mrs:///opt/app/!/ui/main.html"},
        {u"X-MRS:ui/main.html", u"X-MRS:///opt/app/!/ui/main.html"},
        {u"x-mrs:///srv/other/!/ui/a.html", u"x-mrs:///srv/other/!/ui/a.html"},
        {u"file:page.html", u"file:///opt/app/page.html"},
        {u"file://page.html", u"file:///opt/app/page.html"},
        {u"file:///etc/hostname", u"file:///etc/hostname"},
        {u"res:thing", u"res:///opt/app/thing"},
        {u"http://example.org/x", u"http://example.org/x"},
        {u"about:blank", u"about:blank"},
    };
    for (const auto& c : cases) EXPECT_EQ(MakeAbsoluteUrl(c.url, u"/opt/app"), c.expected);
}

TEST(MemberNames, LookUpIgnoresCaseAndKnowsMethods) {
    const struct {
        const char16_t* name;
        DISPID dispid;
        bool is_method;
    } cases[] = {
        {u"Minimize", 500, true},
        {u"execute", 522, true},
        {u"TerminateThread", 523, true},
        {u"HideSplashScreen", 533, true},
        {u"win_ApplicationName", 600, false},
        {u"WIN_DPIAWARE", 623, false},
        {u"win_Alpha", 624, false},
        {u"win_Data", 630, false},
        {u"cookie", 629, false},
        {u"info_IeVersion", 700, false},
        {u"info_ApplicationDpiY", 710, false},
    };
    for (const auto& c : cases) {
        DISPID dispid = 0;
        bool is_method = false;
        ASSERT_EQ(LookUpMemberName(c.name, &dispid, &is_method), S_OK);
        EXPECT_EQ(dispid, c.dispid);
        EXPECT_EQ(is_method, c.is_method);
    }
    DISPID dispid = 0;
    bool is_method = false;
    EXPECT_EQ(LookUpMemberName(u"Run", &dispid, &is_method), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(LookUpMemberName(u"web_UserAgent", &dispid, &is_method), DISP_E_UNKNOWNNAME);
}

}  // namespace
}  // namespace nb::shell
