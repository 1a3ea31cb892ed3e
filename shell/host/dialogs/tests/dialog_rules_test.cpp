#include "shell/host/dialogs/dialog_rules.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace nb::shell {
namespace {

constexpr char16_t kProgramDirectory[] = u"/abs/app";

TEST(DialogUrl, Resolution) {
    const struct {
        const char16_t* url;
        const char16_t* location;
        std::optional<std::u16string> expected;
    } cases[] = {
        // "//" right after the first ':' is used as it is, whatever the location.
        {u"x-mrs://ui/d.html", u"", u"x-mrs://ui/d.html"},
        {u"http://host/d.html", u"x-mrs:///abs/app/!/ui/main.html", u"http://host/d.html"},
        // Otherwise the location needs a scheme.
        {u"d.html", u"", std::nullopt},
        {u"d.html", u"no-scheme/main.html", std::nullopt},
        {u"/d.html", u"", std::nullopt},
        // A rooted url takes the location's scheme and ":/".
        {u"/ui/d.html", u"x-mrs:///abs/app/!/ui/main.html", u"x-mrs://ui/d.html"},
        {u"/ui/d.html", u"X-MRS:///abs/app/!/ui/main.html", u"X-MRS://ui/d.html"},
        {u"/d.html", u"http://host/a/b.html", u"http://host/d.html"},
        {u"/x.html", u"file:///abs/app/page.html", u"file:///x.html"},
        {u"/x.html", u"http://host", u"http://host/x.html"},
        // The drive form of the other platform.
        {u"sub/page.html", u"x-mrs://C:/app/!/ui/main.html", u"x-mrs://C:/app/!/ui/sub/page.html"},
        {u"../page.html", u"x-mrs://C:/app/!/ui/main.html", u"x-mrs://C:/app/!/page.html"},
        {u"../../page.html", u"x-mrs://C:/app/!/ui/main.html", u"x-mrs://C:/app/page.html"},
        {u"x.html", u"x-mrs://C:\\app\\!\\ui\\main.html", u"x-mrs://C:/app/!/ui/x.html"},
        // The short form is made absolute by the navigation rule first.
        {u"sub/page.html", u"x-mrs://ui/main.html", u"x-mrs:///abs/app/!/ui/sub/page.html"},
        {u"../page.html", u"x-mrs://ui/main.html", u"x-mrs:///abs/app/!/page.html"},
        {u"sub/page.html", u"x-mrs:///abs/app/!/ui/main.html",
         u"x-mrs:///abs/app/!/ui/sub/page.html"},
        {u"d.html", u"X-MRS:ui/main.html", u"X-MRS:///abs/app/!/ui/d.html"},
        {u"d.html", u"file:///abs/app/page.html", u"file:///abs/app/d.html"},
        // A parent step needs three more characters after it.
        {u"../ab", u"x-mrs:///abs/app/!/ui/main.html", u"x-mrs:///abs/app/!/ui/../ab"},
        {u"../abc", u"x-mrs:///abs/app/!/ui/main.html", u"x-mrs:///abs/app/!/abc"},
        // Only leading steps count, and no step climbs above "scheme://".
        {u"a/../b.html", u"x-mrs:///abs/app/!/ui/main.html", u"x-mrs:///abs/app/!/ui/a/../b.html"},
        {u"../../../../../x.html", u"x-mrs:///abs/app/!/ui/main.html", u"x-mrs://x.html"},
        // A '/' of the query or fragment is no folder.
        {u"d.html", u"x-mrs:///abs/app/!/ui/served.php?a=1/2#x/y", u"x-mrs:///abs/app/!/ui/d.html"},
        // A host without a path is its root; a location without a path is no base.
        {u"d.html", u"http://host", u"http://host/d.html"},
        {u"d.html", u"about:blank", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ResolveDialogUrl(c.url, c.location, kProgramDirectory), c.expected)
            << "url " << std::string(c.url, c.url + std::char_traits<char16_t>::length(c.url))
            << " from "
            << std::string(c.location, c.location + std::char_traits<char16_t>::length(c.location));
    }
}

// The record a dialog starts from: what load-settings gives types 2 and 3 on
// a 1280x1024 screen, with a file that made it resizable and borderless.
WindowSettings DialogRecord() {
    WindowSettings s;
    s.maximum_width = 1280;
    s.maximum_height = 1024;
    s.minimize_button = s.maximize_button = 0;
    s.resizable = 1;
    s.scroll_bars = 0;
    s.title_bar = 0;
    s.top = 40;
    s.left = 50;
    s.width = 640;
    s.height = 480;
    return s;
}

TEST(DialogFeatures, DefaultsWithoutFeatures) {
    WindowSettings s = DialogRecord();
    ApplyDialogSettings(u"x-mrs://ui/d.html", nullptr, s);
    EXPECT_EQ(s.startup_url, u"x-mrs://ui/d.html");
    EXPECT_EQ(s.top, 0u);
    EXPECT_EQ(s.left, 0u);
    EXPECT_EQ(s.resizable, 0u);
    EXPECT_EQ(s.scroll_bars, 1u);
    EXPECT_EQ(s.title_bar, 1u);
    EXPECT_EQ(s.minimize_button, 0u);
    EXPECT_EQ(s.close_button, 1u);
    // The file's size stays unless the features say otherwise.
    EXPECT_EQ(s.width, 640u);
    EXPECT_EQ(s.height, 480u);
}

TEST(DialogFeatures, Table) {
    struct Expected {
        std::uint32_t width = 640, height = 480, top = 0, left = 0;
        std::uint32_t resizable = 0, scroll_bars = 1, title_bar = 1;
        WindowState state = WindowState::kNormal;
    };
    const auto with = [](auto change) {
        Expected e;
        change(e);
        return e;
    };
    const struct {
        const char16_t* features;
        Expected expected;
    } cases[] = {
        {u"", {}},
        {u"dialogWidth:100px", with([](Expected& e) { e.width = 250; })},
        {u"dialogwidth:300px;dialogheight:50",
         with([](Expected& e) { e.width = 300, e.height = 100; })},
        {u"DIALOGHEIGHT:200PX", with([](Expected& e) { e.height = 200; })},
        {u"dialogWidth: 400", with([](Expected& e) { e.width = 400; })},
        // Unsigned reading of a negative number; held to the screen.
        {u"dialogWidth:-5px;dialogHeight:-1",
         with([](Expected& e) { e.width = 1280, e.height = 1024; })},
        {u"dialogWidth:99999", with([](Expected& e) { e.width = 1280; })},
        {u"dialogTop:30;dialogLeft:70", with([](Expected& e) { e.top = 30, e.left = 70; })},
        {u"dialogTop:5000;dialogLeft:-3", with([](Expected& e) { e.top = 1024, e.left = 1280; })},
        // Values are exact: a space makes them something else.
        {u"resizable:yes", with([](Expected& e) { e.resizable = 1; })},
        {u"resizable:ON", with([](Expected& e) { e.resizable = 1; })},
        {u"resizable:1", with([](Expected& e) { e.resizable = 1; })},
        {u"resizable: yes", {}},
        {u"resizable:yes ", {}},
        {u"resizable:true", {}},
        {u"scroll:no", with([](Expected& e) { e.scroll_bars = 0; })},
        {u"scroll:off;unadorned:yes",
         with([](Expected& e) { e.scroll_bars = 0, e.title_bar = 0; })},
        {u"scroll:0;unadorned:1", with([](Expected& e) { e.scroll_bars = 0, e.title_bar = 0; })},
        {u"scroll:yes;unadorned:no", {}},
        // Blanks and semicolons before a name are skipped; a blank inside is not.
        {u" ; ;dialogWidth:300;  resizable:on;",
         with([](Expected& e) { e.width = 300, e.resizable = 1; })},
        {u"dialogWidth :300", {}},
        // Names without values and unknown names change nothing, nor stop the rest.
        {u"center;resizable:on", with([](Expected& e) { e.resizable = 1; })},
        {u"center:yes;help:no;status:1;dialogWidth:260", with([](Expected& e) { e.width = 260; })},
        {u"resizable", {}},
        {u"dialogState:Maximized", with([](Expected& e) { e.state = WindowState::kMaximized; })},
        {u"dialogstate:minimized", with([](Expected& e) { e.state = WindowState::kMinimized; })},
        {u"dialogstate:fullscreen", with([](Expected& e) { e.state = WindowState::kFullscreen; })},
        {u"dialogstate:hidden", with([](Expected& e) { e.state = WindowState::kHidden; })},
        {u"dialogstate:normal;dialogstate:bogus", {}},
        {u"dialogstate: hidden", {}},
    };
    for (const auto& c : cases) {
        WindowSettings s = DialogRecord();
        const std::u16string_view features(c.features);
        ApplyDialogSettings(u"d.html", &features, s);
        const std::string name(c.features, c.features + features.size());
        EXPECT_EQ(s.width, c.expected.width) << name;
        EXPECT_EQ(s.height, c.expected.height) << name;
        EXPECT_EQ(s.top, c.expected.top) << name;
        EXPECT_EQ(s.left, c.expected.left) << name;
        EXPECT_EQ(s.resizable, c.expected.resizable) << name;
        EXPECT_EQ(s.scroll_bars, c.expected.scroll_bars) << name;
        EXPECT_EQ(s.title_bar, c.expected.title_bar) << name;
        EXPECT_EQ(s.state, c.expected.state) << name;
    }
}

}  // namespace
}  // namespace nb::shell
