// The headless defaults of the file dialog, tooltip and key-state presenters,
// and their installers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ui/file_dialog.h"
#include "platform/ui/key_state.h"
#include "platform/ui/tooltip.h"

namespace {

std::vector<NbFileDialogRequest> g_dialogs;
std::vector<std::u16string> g_tooltips;  // each shown text, or "hide"

std::vector<std::u16string> ChooseTwo(const NbFileDialogRequest& request) {
    g_dialogs.push_back(request);
    return {u"/music/a.wav", u"/music/b.wav"};
}

void RecordShow(const NbTooltip& tooltip) { g_tooltips.push_back(tooltip.text); }
void RecordHide() { g_tooltips.push_back(u"hide"); }

NbKeyState CapsLockOn(int key) { return {key == VK_SHIFT, key == VK_CAPITAL}; }

TEST(FileDialog, CancelledUntilAPresenterIsInstalled) {
    NbFileDialogRequest request;
    request.kind = NbFileDialogKind::kOpen;
    request.title = u"Open";
    request.filters = {{u"Sound", u"*.wav;*.mp3"}, {u"All", u"*"}};
    request.initial_folder = u"/music";
    request.selection = NbFileSelection::kMany;
    EXPECT_TRUE(NbShowFileDialog(request).empty());

    g_dialogs.clear();
    const FileDialogPresenter previous = NbSetFileDialogPresenter(&ChooseTwo);
    const std::vector<std::u16string> chosen = NbShowFileDialog(request);
    EXPECT_EQ(chosen, (std::vector<std::u16string>{u"/music/a.wav", u"/music/b.wav"}));
    ASSERT_EQ(g_dialogs.size(), 1u);
    EXPECT_EQ(g_dialogs[0].filters.size(), 2u);
    EXPECT_EQ(g_dialogs[0].filters[0].pattern, u"*.wav;*.mp3");
    EXPECT_EQ(g_dialogs[0].initial_folder, u"/music");
    EXPECT_EQ(g_dialogs[0].selection, NbFileSelection::kMany);

    // Installing null restores the default and hands back the recorder.
    EXPECT_EQ(NbSetFileDialogPresenter(nullptr), &ChooseTwo);
    EXPECT_TRUE(NbShowFileDialog(request).empty());
    EXPECT_EQ(NbSetFileDialogPresenter(previous), previous);
    EXPECT_EQ(g_dialogs.size(), 1u);
}

TEST(Tooltip, ShownAndHiddenThroughTheInstalledPresenter) {
    g_tooltips.clear();
    NbTooltip tooltip;
    tooltip.text = u"before";
    NbShowTooltip(tooltip);  // the default shows nothing
    NbHideTooltip();

    const TooltipPresenter previous = NbSetTooltipPresenter({&RecordShow, &RecordHide});
    tooltip.text = u"shown";
    NbShowTooltip(tooltip);
    NbHideTooltip();
    const TooltipPresenter recorder = NbSetTooltipPresenter({&RecordShow, nullptr});
    EXPECT_EQ(recorder.show, &RecordShow);
    EXPECT_EQ(recorder.hide, &RecordHide);
    NbHideTooltip();  // the default's hide
    NbSetTooltipPresenter(previous);
    NbShowTooltip(tooltip);
    EXPECT_EQ(g_tooltips, (std::vector<std::u16string>{u"shown", u"hide"}));
}

TEST(Tooltip, ScreenPointStaysOnTheClientArea) {
    const NbRect client{100, 200, 500, 400};
    struct Case {
        NbPoint offset;
        NbPoint expected;
    };
    const Case cases[] = {
        {{10, 20}, {110, 219}},   // one pixel above the point
        {{450, 20}, {500, 219}},  // no further right than the right edge
        {{10, 201}, {110, 398}},  // at the bottom: two pixels above it
        {{10, 300}, {110, 398}},  // below the bottom likewise
        {{10, 200}, {110, 399}},  // just above the bottom: unchanged
    };
    for (const Case& c : cases) {
        const NbPoint point = NbTooltipScreenPoint(&client, c.offset);
        EXPECT_EQ(point.x, c.expected.x) << c.offset.x << "," << c.offset.y;
        EXPECT_EQ(point.y, c.expected.y) << c.offset.x << "," << c.offset.y;
    }
    const NbPoint unknown = NbTooltipScreenPoint(nullptr, {7, 9});
    EXPECT_EQ(unknown.x, 7);
    EXPECT_EQ(unknown.y, 9);
}

TEST(KeyState, NotPressedUntilAPresenterIsInstalled) {
    for (int key : {VK_SHIFT, VK_CAPITAL, VK_RMENU}) {
        EXPECT_FALSE(NbGetKeyState(key).down);
        EXPECT_FALSE(NbGetKeyState(key).toggled);
    }
    const KeyStatePresenter previous = NbSetKeyStatePresenter(&CapsLockOn);
    EXPECT_TRUE(NbGetKeyState(VK_CAPITAL).toggled);
    EXPECT_FALSE(NbGetKeyState(VK_CAPITAL).down);
    EXPECT_TRUE(NbGetKeyState(VK_SHIFT).down);
    EXPECT_EQ(NbSetKeyStatePresenter(nullptr), &CapsLockOn);
    EXPECT_FALSE(NbGetKeyState(VK_CAPITAL).toggled);
    NbSetKeyStatePresenter(previous);
}

}  // namespace
