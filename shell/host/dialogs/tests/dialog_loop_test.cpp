// The nested dialog loop inside the UI thread's real GLib message loop.
#include "shell/host/dialogs/dialog_loop.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "platform/messaging/glib_loop.h"
#include "platform/messaging/messaging.h"

namespace nb::shell {
namespace {

constexpr UINT kTestMessage = WM_APP + 1;
constexpr UINT kQuitMessage = WM_APP + 2;
constexpr guint kGiveUpMs = 5000;

// A window whose messages are recorded; kQuitMessage posts a WM_QUIT from
// inside the handler, where the outer loop's queue source would take it.
struct Recorder {
    std::vector<UINT> seen;
    HWND window = nullptr;
};

LRESULT RecordMessage(HWND window, UINT message, WPARAM wparam, LPARAM) {
    auto* recorder = static_cast<Recorder*>(NbGetWindowData(window));
    recorder->seen.push_back(message);
    if (message == kQuitMessage) PostQuitMessage(static_cast<int>(wparam));
    return 0;
}

class DialogLoopTest : public ::testing::Test {
   protected:
    void SetUp() override {
        m_loop = CreateGLibLoop(nullptr);
        SetCurrentThreadLoop(m_loop.get());
        m_recorder.window = NbCreateMessageWindow(&RecordMessage, &m_recorder);
        ASSERT_NE(m_recorder.window, nullptr);
    }
    void TearDown() override {
        DestroyWindow(m_recorder.window);
        SetCurrentThreadLoop(nullptr);
        m_loop.reset();
    }

    // Runs body from inside the outer loop, as a page request would, and
    // answers the outer loop's exit code.
    int RunInsideOuterLoop(std::function<void()> body) {
        m_body = std::move(body);
        g_idle_add(
            [](gpointer self) -> gboolean {
                static_cast<DialogLoopTest*>(self)->m_body();
                return G_SOURCE_REMOVE;
            },
            this);
        return m_loop->Run();
    }

    // Clears alive after ms: the dialog's window going away.
    static guint ClearLater(LONG& alive, guint ms) {
        return g_timeout_add(
            ms,
            [](gpointer flag) -> gboolean {
                *static_cast<LONG*>(flag) = 0;
                return G_SOURCE_REMOVE;
            },
            &alive);
    }

    std::unique_ptr<MessageLoop> m_loop;
    Recorder m_recorder;
    std::function<void()> m_body;
};

TEST_F(DialogLoopTest, RunsMessagesUntilTheDialogIsGone) {
    DialogLoopEnd end = DialogLoopEnd::kQuit;
    const int code = RunInsideOuterLoop([&] {
        LONG alive = 1;
        PostMessageW(m_recorder.window, kTestMessage, 0, 0);
        ClearLater(alive, 100);
        end = RunDialogLoop(alive);
        PostMessageW(m_recorder.window, kTestMessage, 0, 0);
        PostQuitMessage(3);
    });
    EXPECT_EQ(end, DialogLoopEnd::kDialogGone);
    EXPECT_EQ(code, 3);
    EXPECT_EQ(m_recorder.seen, (std::vector<UINT>{kTestMessage, kTestMessage}));
}

TEST_F(DialogLoopTest, QuitFromAMessageHandlerEndsTheLoopAndStillQuits) {
    DialogLoopEnd end = DialogLoopEnd::kDialogGone;
    LONG alive = 1;
    const int code = RunInsideOuterLoop([&] {
        // Posted once the loop runs, so the outer loop's queue source could take it.
        struct Post {
            HWND window;
        } post{m_recorder.window};
        g_timeout_add(
            20,
            [](gpointer data) -> gboolean {
                PostMessageW(static_cast<Post*>(data)->window, kQuitMessage, 7, 0);
                return G_SOURCE_REMOVE;
            },
            &post);
        const guint give_up = ClearLater(alive, kGiveUpMs);
        end = RunDialogLoop(alive);
        g_source_remove(give_up);
    });
    EXPECT_EQ(end, DialogLoopEnd::kQuit);
    EXPECT_EQ(alive, 1);  // the loop ended without the dialog going
    EXPECT_EQ(code, 7);
}

TEST_F(DialogLoopTest, QuitEndsNestedLoopsAndIsPostedOnce) {
    std::vector<DialogLoopEnd> ends;
    const int code = RunInsideOuterLoop([&] {
        LONG outer_alive = 1;
        const guint give_up = ClearLater(outer_alive, kGiveUpMs);
        // The second dialog is opened from inside the first one's loop.
        struct Inner {
            HWND window;
            std::vector<DialogLoopEnd>* ends;
        } inner{m_recorder.window, &ends};
        g_idle_add(
            [](gpointer data) -> gboolean {
                auto* second = static_cast<Inner*>(data);
                LONG alive = 1;
                const guint second_give_up = ClearLater(alive, kGiveUpMs);
                PostMessageW(second->window, kQuitMessage, 9, 0);
                second->ends->push_back(RunDialogLoop(alive));
                g_source_remove(second_give_up);
                return G_SOURCE_REMOVE;
            },
            &inner);
        ends.push_back(RunDialogLoop(outer_alive));
        g_source_remove(give_up);
        // Exactly one WM_QUIT waits for the outer loop.
        MSG message{};
        int quits = 0;
        int quit_code = -1;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message != WM_QUIT) continue;
            ++quits;
            quit_code = static_cast<int>(message.wParam);
        }
        EXPECT_EQ(quits, 1);
        PostQuitMessage(quit_code);
    });
    EXPECT_EQ(ends, (std::vector<DialogLoopEnd>{DialogLoopEnd::kQuit, DialogLoopEnd::kQuit}));
    EXPECT_EQ(code, 9);
}

}  // namespace
}  // namespace nb::shell
