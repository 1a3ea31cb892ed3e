#include "shell/settings/window_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "platform/automation/com_ptr.h"
#include "shell/settings/settings_store.h"

namespace nb::shell {
namespace {

// An in-memory section, so the record's rules are checked apart from the file.
class MapStore final : public SettingsStore {
   public:
    std::map<std::u16string, std::u16string> keys;
    std::vector<std::u16string> order;
    std::u16string failing_key;

    std::u16string ReadText(std::u16string_view key, std::u16string_view fallback) override {
        const auto found = keys.find(std::u16string(key));
        return found == keys.end() ? std::u16string(fallback) : found->second;
    }
    std::uint32_t ReadNumber(std::u16string_view key, std::uint32_t fallback) override {
        const auto found = keys.find(std::u16string(key));
        return found == keys.end() ? fallback : NumberFromText(found->second);
    }
    bool WriteText(std::u16string_view key, std::u16string_view value) override {
        order.emplace_back(key);
        if (key == failing_key) return false;
        keys[std::u16string(key)] = value;
        return true;
    }
};

constexpr ScreenSize kScreen{1920, 1080};

TEST(WindowSettings, EmptyFileGivesTheDefaults) {
    MapStore store;
    const WindowSettings s = LoadSettings(store, WindowType::kMain, kScreen);
    EXPECT_EQ(s.application_name, u"Untitled Application");
    EXPECT_EQ(s.startup_url, u"about:blank");
    EXPECT_EQ(s.user_agent, u"Nimbra/3.5.0");
    EXPECT_EQ(s.maximum_height, 769u);
    EXPECT_EQ(s.maximum_width, 1024u);
    EXPECT_EQ(s.width, 800u);
    EXPECT_EQ(s.state, WindowState::kNormal);
    EXPECT_EQ(s.color_key, u"000000");
}

TEST(WindowSettings, HiddenWithCapitalLoadsHiddenAndReadsNormal) {
    MapStore store;
    store.keys[u"win_State"] = u"Hidden";
    const WindowSettings s = LoadSettings(store, WindowType::kMain, kScreen);
    EXPECT_EQ(s.state, WindowState::kHidden);
    EXPECT_EQ(StateReading(s.state), u"normal");
    store.keys[u"win_State"] = u"sideways";
    EXPECT_EQ(LoadSettings(store, WindowType::kMain, kScreen).state, WindowState::kNormal);
}

TEST(WindowSettings, LongTextIsCut) {
    MapStore store;
    store.keys[u"win_ApplicationName"] = std::u16string(2000, u'x');
    EXPECT_EQ(LoadSettings(store, WindowType::kMain, kScreen).application_name.size(),
              kMaxSettingText);
}

TEST(WindowSettings, NewWindowOverridesTheFile) {
    MapStore store;
    store.keys[u"win_Width"] = u"300";
    store.keys[u"win_TitleBar"] = u"0";
    store.keys[u"win_Alpha"] = u"40";
    store.keys[u"win_State"] = u"maximized";
    const WindowSettings s = LoadSettings(store, WindowType::kNewWindow, kScreen);
    EXPECT_EQ(s.width, 1920u - 150);
    EXPECT_EQ(s.height, 1080u - 150);
    EXPECT_EQ(s.title_bar, 1u);
    EXPECT_EQ(s.alpha, 0u);
    EXPECT_EQ(s.state, WindowState::kNormal);
    EXPECT_EQ(s.maximum_width, 1920u);
    const WindowSettings dialog = LoadSettings(store, WindowType::kModalDialog, kScreen);
    EXPECT_EQ(dialog.minimize_button, 0u);
    EXPECT_EQ(dialog.maximize_button, 0u);
    EXPECT_EQ(dialog.close_button, 1u);
}

TEST(WindowSettings, SaveWritesStateAsTextAndNeverTheUserAgent) {
    MapStore store;
    WindowSettings s;
    s.state = WindowState::kFullscreen;
    s.width = 0xFFFFFFFFu;
    ASSERT_TRUE(SaveSettings(s, store));
    EXPECT_EQ(store.keys[u"win_State"], u"fullscreen");
    EXPECT_EQ(store.keys[u"win_Width"], u"-1");  // signed decimal
    EXPECT_EQ(store.keys.count(u"web_UserAgent"), 0u);
    EXPECT_EQ(store.order.front(), u"win_ApplicationName");
    EXPECT_EQ(store.order.back(), u"win_ColorKey");
}

TEST(WindowSettings, SaveFailsOnTheCheckedKeys) {
    for (const char16_t* key :
         {u"win_StartupURL", u"win_MaximumHeight", u"win_State", u"win_ColorKey"}) {
        MapStore store;
        store.failing_key = key;
        EXPECT_FALSE(SaveSettings(WindowSettings{}, store)) << std::u16string(key).size();
    }
    MapStore store;
    store.failing_key = u"win_Width";  // unchecked, as the file's writer always was
    EXPECT_TRUE(SaveSettings(WindowSettings{}, store));
}

// Owned script values for one check.
const VARIANT& Text(const char16_t* text) {
    static std::vector<std::unique_ptr<Variant>> kept;
    kept.push_back(std::make_unique<Variant>());
    kept.back()->vt = VT_BSTR;
    kept.back()->bstrVal = SysAllocString(text);
    return *kept.back();
}

const VARIANT& Integer(VARTYPE type, std::int32_t value) {
    static std::vector<std::unique_ptr<Variant>> kept;
    kept.push_back(std::make_unique<Variant>());
    kept.back()->vt = type;
    kept.back()->lVal = value;
    return *kept.back();
}

TEST(WindowSettings, SwitchCoercion) {
    Variant yes;
    yes.vt = VT_BOOL;
    yes.boolVal = VARIANT_TRUE;
    Variant real;
    real.vt = VT_R8;
    real.dblVal = 1.0;
    EXPECT_TRUE(SwitchArgument(yes));
    EXPECT_TRUE(SwitchArgument(Text(u"true")));
    EXPECT_TRUE(SwitchArgument(Text(u"1")));
    EXPECT_FALSE(SwitchArgument(Text(u"TRUE")));
    EXPECT_FALSE(SwitchArgument(Text(u" 1")));
    EXPECT_TRUE(SwitchArgument(Integer(VT_I4, 1)));
    EXPECT_TRUE(SwitchArgument(Integer(VT_UINT, 1)));
    EXPECT_FALSE(SwitchArgument(Integer(VT_I4, 2)));
    EXPECT_FALSE(SwitchArgument(real));
}

TEST(WindowSettings, NumberCoercion) {
    EXPECT_EQ(NumberArgument(Integer(VT_I4, 640)), 640u);
    EXPECT_EQ(NumberArgument(Integer(VT_INT, -1)), 0xFFFFFFFFu);
    EXPECT_EQ(NumberArgument(Text(u" \t\r\n+512px")), 512u);
    EXPECT_EQ(NumberArgument(Text(u"-3")), 0u - 3u);
    EXPECT_EQ(NumberArgument(Text(u"px")), 0u);
    Variant real;
    real.vt = VT_R8;
    real.dblVal = 640.0;
    EXPECT_EQ(NumberArgument(real), 0u);
}

TEST(WindowSettings, ColorKeyAndAlpha) {
    const struct {
        const char16_t* text;
        std::uint32_t color;
    } cases[] = {{u"#ff8000", 0x80FFu}, {u"FF8000", 0x80FFu}, {u"0000001", 0u},
                 {u"12345", 0u},        {u"#12345", 0u},      {u"zz00ff", 0xFF0000u},
                 {u"##ff8000", 0xF80Fu}};  // one "#" skipped; the second reads as 0
    for (const auto& c : cases) EXPECT_EQ(ColorKeyToColor(c.text), c.color) << c.color;
    EXPECT_EQ(AlphaByte(100), 0);
    EXPECT_EQ(AlphaByte(50), 127);
    EXPECT_EQ(AlphaByte(0), 255);
}

TEST(WindowSettings, CentringAndClamping) {
    // (work 1000 - frame 20 - client 601) / 2 = 189.5 -> 189
    EXPECT_EQ(CenteredPosition(0, 1000, 20, 601), 189);
    // Too big for the work area: rounding toward minus infinity, then pulled up.
    EXPECT_EQ(CenteredPosition(0, 500, 0, 601), -101);
    EXPECT_EQ(CenteredPosition(900, 1000, 0, 600), 400);
    EXPECT_EQ(CenteredPosition(100, 1000, 0, 600), 100);
    EXPECT_EQ(ClampSize(5000, 200, 1024), 1024u);
    EXPECT_EQ(ClampSize(10, 200, 1024), 200u);
}

TEST(WindowSettings, ScreenPixelsStayInRange) {
    // A file's -5 is stored unsigned and still places the window at -5.
    EXPECT_EQ(ScreenPosition(static_cast<std::uint32_t>(-5), 1.0f), -5);
    EXPECT_EQ(ScreenPosition(300, 1.5f), 200);
    EXPECT_EQ(ScreenPosition(0x7FFFFFFF, 0.5f), 32767);
    EXPECT_EQ(ScreenPosition(0x80000000, 1.0f), -32768);
    EXPECT_EQ(ScreenExtent(400, 1.5f), 600);
    EXPECT_EQ(ScreenExtent(0xFFFFFFFF, 2.0f), 32767);
}

TEST(SettingsFile, RoundTripKeepsOtherLines) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / "nb_settings_file_test";
    std::filesystem::create_directories(dir);
    const std::filesystem::path file = dir / "NbBrowser.ini";
    {
        std::ofstream out(file);
        out << "; kept\n[Other]\nkey=1\n[nimbrahapf]\nWIN_WIDTH=640\nwin_Height=abc\n";
    }
    auto store = OpenSettingsFile(file.u16string());
    ASSERT_TRUE(store);
    WindowSettings s = LoadSettings(*store, WindowType::kMain, kScreen);
    EXPECT_EQ(s.width, 640u);
    EXPECT_EQ(s.height, 0u);  // unreadable numbers read as 0
    s.application_name = u"Ringtones";
    ASSERT_TRUE(SaveSettings(s, *store));
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("; kept\n[Other]\nkey=1\n"), std::string::npos);
    auto again = OpenSettingsFile(file.u16string());
    EXPECT_EQ(LoadSettings(*again, WindowType::kMain, kScreen).application_name, u"Ringtones");
    std::filesystem::remove_all(dir);
    EXPECT_EQ(DefaultSettingsFile(u"/opt/app/NbBrowser"), u"/opt/app/NbBrowser.ini");
    EXPECT_EQ(DefaultSettingsFile(u"/opt/a.b/NbBrowser.exe"), u"/opt/a.b/NbBrowser.ini");
}

}  // namespace
}  // namespace nb::shell
