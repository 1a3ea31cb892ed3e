// The desktop-service functions against recording presenters: what each
// asks the presenter, what it answers the page, and its error reports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/error_report.h"
#include "external/frame/tests/shell_double.h"
#include "platform/ui/file_dialog.h"
#include "platform/ui/key_state.h"
#include "platform/ui/message_box.h"
#include "platform/ui/tooltip.h"

namespace nb::external::testing {
namespace {

// What the presenters were asked, and what they answer next.
struct Presented {
    std::vector<NbFileDialogRequest> dialogs;
    std::vector<std::u16string> chosen;
    struct Box {
        HWND owner;
        std::u16string text, caption;
        UINT type;
    };
    std::vector<Box> boxes;
    int button = IDOK;
    std::vector<NbTooltip> tips;
    int hides = 0;
    std::vector<int> keys_down, keys_toggled;
};
Presented g_presented;

std::vector<std::u16string> RecordDialog(const NbFileDialogRequest& request) {
    g_presented.dialogs.push_back(request);
    return g_presented.chosen;
}
int RecordBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    g_presented.boxes.push_back(
        {owner, text ? text : u"<null>", caption ? caption : u"<null>", type});
    return g_presented.button;
}
void RecordTip(const NbTooltip& tip) { g_presented.tips.push_back(tip); }
void RecordHide() { ++g_presented.hides; }
bool Holds(const std::vector<int>& keys, int key) {
    return std::find(keys.begin(), keys.end(), key) != keys.end();
}
NbKeyState AnswerKey(int key) {
    return {Holds(g_presented.keys_down, key), Holds(g_presented.keys_toggled, key)};
}

class DesktopServices : public ::testing::Test {
   protected:
    void SetUp() override {
        g_presented = {};
        NbSetFileDialogPresenter(&RecordDialog);
        NbSetMessageBoxPresenter(&RecordBox);
        NbSetTooltipPresenter({&RecordTip, &RecordHide});
        NbSetKeyStatePresenter(&AnswerKey);
        m_shell.system().application_dpi_x = m_shell.system().application_dpi_y = 96;
    }
    void TearDown() override {
        NbSetFileDialogPresenter(nullptr);
        NbSetMessageBoxPresenter(nullptr);
        NbSetTooltipPresenter({nullptr, nullptr});
        NbSetKeyStatePresenter(nullptr);
    }
    CallOutcome Call(const char* name, std::initializer_list<TestValue> arguments) {
        return m_shell.Call(LoadExport(name), arguments);
    }

    ShellDouble m_shell;
};

TestArray Filter(std::u16string description, std::u16string pattern) {
    return {{std::move(description), std::move(pattern)}};
}
const TestArray kSoundFilters{{Filter(u"Sounds", u"*.wav;*.mp3"), Filter(u"All", u"*")}};

struct ErrorCase {
    const char* function;
    std::vector<TestValue> arguments;
    WORD code;
    std::u16string message;
    std::u16string source;
};
void PrintTo(const ErrorCase& c, std::ostream* os) {
    *os << c.function << " with " << c.arguments.size() << " arguments";
}

class DesktopServiceErrors : public DesktopServices,
                             public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(DesktopServiceErrors, AreReportedBeforeAnythingIsShown) {
    const ErrorCase& c = GetParam();
    const CallOutcome outcome = m_shell.Call(LoadExport(c.function), c.arguments);
    EXPECT_EQ(outcome.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(outcome.code, c.code);
    EXPECT_EQ(outcome.description, c.message);
    EXPECT_EQ(outcome.source, c.source);
    EXPECT_TRUE(g_presented.dialogs.empty());
    EXPECT_TRUE(g_presented.boxes.empty());
    EXPECT_TRUE(g_presented.tips.empty());
}

const std::u16string kCount = NB_MESSAGE_PARAMETERS_COUNT;
const std::u16string kKind = NB_MESSAGE_TYPE_MISMATCH;
const std::u16string kInvalidKey = u"Catastrophic: Invalid GetKeyStatus() parameter";
std::u16string BadFilter(int rule) {
    return u"Catastrophic: Bad filter definition (" + std::u16string(1, u'0' + rule) + u")";
}
const TestValue kText = std::u16string(u"t");
const TestArray kNone{};

INSTANTIATE_TEST_SUITE_P(
    Table, DesktopServiceErrors,
    ::testing::Values(
        ErrorCase{"EX_OpenFileName", {kText}, 2100, kCount, u"External::OpenFileName"},
        ErrorCase{"EX_OpenFileName",
                  {kText, kNone, true, kText, kText},
                  2100,
                  kCount,
                  u"External::OpenFileName"},
        ErrorCase{"EX_OpenFileName", {LONG{1}, kNone}, 2101, kKind, u"External::OpenFileName"},
        ErrorCase{"EX_OpenFileName", {kText, kText}, 2101, kKind, u"External::OpenFileName"},
        ErrorCase{
            "EX_OpenFileName", {kText, kNone, LONG{1}}, 2101, kKind, u"External::OpenFileName"},
        ErrorCase{"EX_OpenFileName",
                  {kText, kNone, true, LONG{1}},
                  2101,
                  kKind,
                  u"External::OpenFileName"},
        ErrorCase{"EX_SaveFileName", {kText, kNone}, 2100, kCount, u"External::SaveFileName"},
        ErrorCase{"EX_SaveFileName",
                  {kText, kNone, kText, kText},
                  2100,
                  kCount,
                  u"External::SaveFileName"},
        ErrorCase{"EX_SaveFileName", {kText, kNone, true}, 2101, kKind, u"External::SaveFileName"},
        // The filter rules, in both dialogs.
        ErrorCase{"EX_OpenFileName",
                  {kText, TestArray{{kText}}},
                  2105,
                  BadFilter(2),
                  u"External::OpenFileName"},
        ErrorCase{"EX_OpenFileName",
                  {kText, TestArray{{TestArray{}}}},
                  2105,
                  BadFilter(4),
                  u"External::OpenFileName"},
        ErrorCase{"EX_OpenFileName",
                  {kText, TestArray{{TestArray{{kText}}}}},
                  2105,
                  BadFilter(5),
                  u"External::OpenFileName"},
        ErrorCase{"EX_SaveFileName",
                  {kText, TestArray{{Filter(u"ok", u"*"), TestArray{{LONG{5}, kText}}}}, kText},
                  2105,
                  BadFilter(4),
                  u"External::SaveFileName"},
        ErrorCase{"EX_SaveFileName",
                  {kText, TestArray{{TestArray{{kText, nullptr}}}}, kText},
                  2105,
                  BadFilter(5),
                  u"External::SaveFileName"},
        ErrorCase{"EX_MsgBox", {kText, kText}, 2100, kCount, u"External::MsgBox"},
        ErrorCase{"EX_MsgBox", {kText, kText, kText}, 2101, kKind, u"External::MsgBox"},
        ErrorCase{"EX_ShowTooltip", {kText, LONG{1}}, 2100, kCount, u"External::ShowTooltip"},
        ErrorCase{"EX_ShowTooltip",
                  {kText, LONG{1}, LONG{1}, LONG{1}, LONG{1}, kText, true, true, true},
                  2100,
                  kCount,
                  u"External::ShowTooltip"},
        ErrorCase{"EX_ShowTooltip", {kText, kText, LONG{1}}, 2101, kKind, u"External::ShowTooltip"},
        ErrorCase{"EX_ShowTooltip",
                  {kText, LONG{1}, LONG{1}, LONG{1}, LONG{1}, kText, LONG{1}},
                  2101,
                  kKind,
                  u"External::ShowTooltip"},
        ErrorCase{"EX_GetKeyStatus", {}, 2100, kCount, u"External::GetKeyStatus"},
        ErrorCase{"EX_GetKeyStatus", {kText}, 2101, kKind, u"External::GetKeyStatus"},
        ErrorCase{"EX_GetKeyStatus", {LONG{4150}}, 3100, kInvalidKey, u"External::GetKeyStatus"},
        ErrorCase{"EX_GetKeyStatus", {LONG{4161}}, 3100, kInvalidKey, u"External::GetKeyStatus"}));

TEST_F(DesktopServices, OpenDialogIsAskedForWhatThePageGaveAndAnswersInItsOrder) {
    g_presented.chosen = {u"/music/b.wav", u"/music/a.mp3", u"/music/c.wav"};
    const CallOutcome outcome =
        Call("EX_OpenFileName", {u"Pick songs", kSoundFilters, true, u"/music"});
    ASSERT_EQ(outcome.hr, S_OK);
    ASSERT_EQ(g_presented.dialogs.size(), 1u);
    const NbFileDialogRequest& asked = g_presented.dialogs[0];
    EXPECT_EQ(asked.kind, NbFileDialogKind::kOpen);
    EXPECT_EQ(asked.owner, m_shell.window());
    EXPECT_EQ(asked.title, u"Pick songs");
    ASSERT_EQ(asked.filters.size(), 2u);
    EXPECT_EQ(asked.filters[0].description, u"Sounds");
    EXPECT_EQ(asked.filters[0].pattern, u"*.wav;*.mp3");
    EXPECT_EQ(asked.filters[1].pattern, u"*");
    EXPECT_EQ(asked.selection, NbFileSelection::kMany);
    EXPECT_EQ(asked.initial_folder, u"/music");
    ASSERT_EQ(outcome.result.type, VT_DISPATCH);
    ASSERT_EQ(outcome.result.elements.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(outcome.result.elements[i].text, g_presented.chosen[i]);
}

TEST_F(DesktopServices, OpenDialogWithoutFiltersOffersAllFilesAndOneChoice) {
    g_presented.chosen = {u"/a", u"/b"};
    const CallOutcome outcome = Call("EX_OpenFileName", {nullptr, kNone});
    ASSERT_EQ(outcome.hr, S_OK);
    const NbFileDialogRequest& asked = g_presented.dialogs.at(0);
    EXPECT_EQ(asked.title, u"");
    ASSERT_EQ(asked.filters.size(), 1u);
    EXPECT_EQ(asked.filters[0].description, u"All Files");
    EXPECT_EQ(asked.filters[0].pattern, u"*");
    EXPECT_EQ(asked.selection, NbFileSelection::kOne);
    EXPECT_EQ(asked.initial_folder, u"");
    ASSERT_EQ(outcome.result.elements.size(), 1u);
    EXPECT_EQ(outcome.result.elements[0].text, u"/a");
}

TEST_F(DesktopServices, CancelledDialogsAnswerNothingWithoutError) {
    const CallOutcome open = Call("EX_OpenFileName", {kText, kSoundFilters, false});
    EXPECT_EQ(open.hr, S_OK);
    EXPECT_EQ(open.result.type, VT_DISPATCH);
    EXPECT_TRUE(open.result.elements.empty());
    const CallOutcome save = Call("EX_SaveFileName", {kText, kSoundFilters, u"tone.wav"});
    EXPECT_EQ(save.hr, S_OK);
    EXPECT_EQ(save.result.type, VT_BSTR);
    EXPECT_EQ(save.result.text, u"");
}

TEST_F(DesktopServices, SaveDialogProposesTheDefaultFileAndAnswersTheChoice) {
    g_presented.chosen = {u"/tones/ring.wav"};
    const CallOutcome outcome = Call("EX_SaveFileName", {u"Save as", kSoundFilters, u"ring.wav"});
    ASSERT_EQ(outcome.hr, S_OK);
    EXPECT_EQ(outcome.result.text, u"/tones/ring.wav");
    const NbFileDialogRequest& asked = g_presented.dialogs.at(0);
    EXPECT_EQ(asked.kind, NbFileDialogKind::kSave);
    EXPECT_EQ(asked.initial_file, u"ring.wav");
    EXPECT_EQ(asked.filters.size(), 2u);
    // A null default file proposes no name.
    ASSERT_EQ(Call("EX_SaveFileName", {kText, kNone, nullptr}).hr, S_OK);
    EXPECT_EQ(g_presented.dialogs.at(1).initial_file, u"");
}

TEST_F(DesktopServices, MessageBoxPassesItsTypeUnchangedAndAnswersTheButton) {
    g_presented.button = IDNO;
    const UINT type = 0x4 | 0x20 | 0x100;  // Yes/No, question icon, second button default
    const CallOutcome outcome =
        Call("EX_MsgBox", {u"Replace the file?", u"Ringtones", static_cast<LONG>(type)});
    ASSERT_EQ(outcome.hr, S_OK);
    EXPECT_EQ(outcome.result.type, VT_I4);
    EXPECT_EQ(outcome.result.number, IDNO);
    ASSERT_EQ(g_presented.boxes.size(), 1u);
    EXPECT_EQ(g_presented.boxes[0].owner, m_shell.window());
    EXPECT_EQ(g_presented.boxes[0].text, u"Replace the file?");
    EXPECT_EQ(g_presented.boxes[0].caption, u"Ringtones");
    EXPECT_EQ(g_presented.boxes[0].type, type);
}

TEST_F(DesktopServices, KeyStatusTellsHeldKeysAndCapsLockSwitchedOn) {
    g_presented.keys_down = {VK_SHIFT, VK_LSHIFT, VK_MENU, VK_RMENU, VK_CAPITAL};
    g_presented.keys_toggled = {VK_SHIFT};  // only Caps Lock's toggle is asked for
    const bool expected[] = {true, true, false, false, false, false, true, false, true, false};
    for (LONG code = 4151; code <= 4160; ++code) {
        const CallOutcome outcome = Call("EX_GetKeyStatus", {code});
        ASSERT_EQ(outcome.hr, S_OK) << code;
        EXPECT_EQ(outcome.result.type, VT_BOOL);
        EXPECT_EQ(outcome.result.number, expected[code - 4151] ? VARIANT_TRUE : VARIANT_FALSE)
            << code;
    }
    g_presented.keys_down = {};
    g_presented.keys_toggled = {VK_CAPITAL};
    EXPECT_EQ(Call("EX_GetKeyStatus", {LONG{4160}}).result.number, VARIANT_TRUE);
}

TEST_F(DesktopServices, TooltipIsPlacedInScaledPixelsWithTheLookAskedFor) {
    m_shell.system().application_dpi_x = 144;
    m_shell.system().application_dpi_y = 120;
    ASSERT_EQ(Call("EX_ShowTooltip", {u"Drag to select", LONG{10}, LONG{21}, LONG{100}, LONG{4003},
                                      u"Tip", true, false})
                  .hr,
              S_OK);
    ASSERT_EQ(g_presented.tips.size(), 1u);
    const NbTooltip& tip = g_presented.tips[0];
    EXPECT_EQ(tip.owner, m_shell.window());
    EXPECT_EQ(tip.text, u"Drag to select");
    EXPECT_EQ(tip.offset.x, 15);
    EXPECT_EQ(tip.offset.y, 26);  // 21 * 1.25, truncated
    EXPECT_EQ(tip.max_width, 150);
    EXPECT_EQ(tip.icon, NbTooltipIcon::kWarning);
    EXPECT_EQ(tip.title, u"Tip");
    EXPECT_TRUE(tip.close_button);
    EXPECT_EQ(tip.shape, NbTooltipShape::kRectangle);
}

TEST_F(DesktopServices, TooltipOfTheSameWindowIsReusedAndOnlyItsTextAndPlaceChange) {
    ASSERT_EQ(Call("EX_ShowTooltip", {u"first", LONG{1}, LONG{2}, LONG{80}, LONG{4002}, u"T"}).hr,
              S_OK);
    // The look and the earlier width and title stay; a new window's tooltip starts afresh.
    ASSERT_EQ(
        Call("EX_ShowTooltip", {u"second", LONG{5}, LONG{6}, LONG{0}, LONG{0}, u"T2", true, false})
            .hr,
        S_OK);
    ASSERT_EQ(g_presented.tips.size(), 2u);
    const NbTooltip& reused = g_presented.tips[1];
    EXPECT_EQ(reused.text, u"second");
    EXPECT_EQ(reused.offset.x, 5);
    EXPECT_EQ(reused.offset.y, 6);
    EXPECT_EQ(reused.max_width, 80);
    EXPECT_EQ(reused.title, u"T2");
    EXPECT_EQ(reused.icon, NbTooltipIcon::kNone);
    EXPECT_EQ(reused.shape, NbTooltipShape::kBalloon);
    EXPECT_FALSE(reused.close_button);

    ShellDouble other;
    ASSERT_EQ(other.Call(LoadExport("EX_ShowTooltip"), {u"other", LONG{1}, LONG{1}}).hr, S_OK);
    const NbTooltip& fresh = g_presented.tips.at(2);
    EXPECT_EQ(fresh.owner, other.window());
    EXPECT_EQ(fresh.max_width, 0);
    EXPECT_EQ(fresh.title, u"");
    EXPECT_EQ(fresh.shape, NbTooltipShape::kBalloon);

    EXPECT_EQ(Call("EX_HideTooltip", {LONG{1}, u"anything"}).hr, S_OK);
    EXPECT_EQ(g_presented.hides, 1);
}

}  // namespace
}  // namespace nb::external::testing
