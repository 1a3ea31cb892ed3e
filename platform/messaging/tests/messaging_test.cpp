#include "platform/messaging/messaging.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/messaging/glib_loop.h"

namespace {

using namespace std::chrono;

constexpr UINT kRecord = WM_APP + 1;
constexpr UINT kAnswer = WM_APP + 2;

struct Recorder {
    std::vector<WPARAM> seen;
    DWORD handled_on = 0;
};

LRESULT RecordingProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* recorder = static_cast<Recorder*>(NbGetWindowData(window));
    if (message == kRecord) recorder->seen.push_back(wparam);
    if (message == kAnswer) {
        recorder->handled_on = GetCurrentThreadId();
        return static_cast<LRESULT>(wparam) + lparam;
    }
    return 0;
}

class Messaging : public ::testing::Test {
   protected:
    void SetUp() override { m_window = NbCreateMessageWindow(RecordingProcedure, &m_recorder); }
    void TearDown() override { DestroyWindow(m_window); }
    Recorder m_recorder;
    HWND m_window = nullptr;
};

TEST_F(Messaging, PostedMessagesArriveInOrderAndQuitEndsTheLoop) {
    for (WPARAM i = 1; i <= 3; ++i) ASSERT_TRUE(PostMessageW(m_window, kRecord, i, 0));
    PostQuitMessage(9);
    EXPECT_EQ(nb::CreateHeadlessLoop()->Run(), 9);
    EXPECT_EQ(m_recorder.seen, (std::vector<WPARAM>{1, 2, 3}));
}

TEST_F(Messaging, SendFromTheWindowThreadCallsDirectly) {
    EXPECT_EQ(SendMessageW(m_window, kAnswer, 40, 2), 42);
    EXPECT_EQ(m_recorder.handled_on, GetCurrentThreadId());
}

TEST_F(Messaging, SendFromAnotherThreadWaitsForThePumpingWindowThread) {
    HANDLE done = CreateEventW(nullptr, 1, 0, nullptr);
    std::atomic<LRESULT> answer{0};
    std::thread sender([&] {
        PostMessageW(m_window, kRecord, 5, 0);
        answer = SendMessageW(m_window, kAnswer, 1, 2);
        SetEvent(done);
    });
    DWORD index = 99;
    EXPECT_EQ(CoWaitForMultipleHandles(COWAIT_ALERTABLE, 5000, 1, &done, &index), S_OK);
    EXPECT_EQ(index, 0u);
    sender.join();
    EXPECT_EQ(answer, 3);
    EXPECT_EQ(m_recorder.handled_on, GetCurrentThreadId());
    EXPECT_EQ(m_recorder.seen, std::vector<WPARAM>{5});
    CloseHandle(done);
}

TEST_F(Messaging, PumpingWaitTimesOutAndKeepsAQuitForTheOuterLoop) {
    HANDLE never = CreateEventW(nullptr, 0, 0, nullptr);
    PostQuitMessage(4);
    PostMessageW(m_window, kRecord, 8, 0);
    DWORD index = 0;
    const auto start = steady_clock::now();
    EXPECT_EQ(CoWaitForMultipleHandles(0, 40, 1, &never, &index), RPC_S_CALLPENDING);
    EXPECT_GE(duration_cast<milliseconds>(steady_clock::now() - start).count(), 40);
    EXPECT_EQ(m_recorder.seen, std::vector<WPARAM>{8});
    MSG message;
    ASSERT_TRUE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, WM_QUIT);
    EXPECT_EQ(message.wParam, 4u);
    CloseHandle(never);
}

struct Worker {
    HWND window;
    std::atomic<int> step{0};
    std::atomic<BOOL> late_post{1};
    std::atomic<LRESULT> late_send{-1};
};

DWORD AbandonedWorker(LPVOID parameter) {
    auto* worker = static_cast<Worker*>(parameter);
    PostMessageW(worker->window, kRecord, 1, 0);
    worker->step = 1;
    while (!NbIsCurrentThreadAbandoned()) Sleep(1);
    worker->late_post = PostMessageW(worker->window, kRecord, 2, 0);
    worker->late_send = SendMessageW(worker->window, kAnswer, 1, 1);
    worker->step = 2;
    return 0;
}

TEST_F(Messaging, AnAbandonedThreadIsNotHeard) {
    Worker worker{m_window};
    HANDLE thread = CreateThread(nullptr, 0, AbandonedWorker, &worker, 0, nullptr);
    while (worker.step < 1) Sleep(1);
    ASSERT_TRUE(TerminateThread(thread, 127));
    while (worker.step < 2) Sleep(1);
    EXPECT_FALSE(worker.late_post);
    EXPECT_EQ(worker.late_send, 0);
    EXPECT_TRUE(nb::DispatchPendingMessages(nullptr));
    EXPECT_TRUE(m_recorder.seen.empty());  // even the post made before the termination
    CloseHandle(thread);
}

DWORD BlockedSender(LPVOID parameter) {
    auto* worker = static_cast<Worker*>(parameter);
    worker->step = 1;
    worker->late_send = SendMessageW(worker->window, kAnswer, 1, 1);
    worker->step = 2;
    return 0;
}

TEST_F(Messaging, ABlockedSenderIsReleasedByTerminationOrByTheWindowGoing) {
    for (bool terminate : {true, false}) {
        HWND window = NbCreateMessageWindow(RecordingProcedure, &m_recorder);
        Worker worker{window};
        HANDLE thread = CreateThread(nullptr, 0, BlockedSender, &worker, 0, nullptr);
        while (!nb::HasPendingMessages()) Sleep(1);
        if (terminate)
            TerminateThread(thread, 127);
        else
            DestroyWindow(window);
        while (worker.step < 2) Sleep(1);
        EXPECT_EQ(worker.late_send, 0) << terminate;
        EXPECT_EQ(m_recorder.handled_on, 0u) << terminate;
        if (terminate) DestroyWindow(window);
        EXPECT_FALSE(PostMessageW(window, kRecord, 1, 0));
        WaitForSingleObject(thread, 5000);
        CloseHandle(thread);
    }
}

gboolean CountTick(gpointer counter) {
    ++*static_cast<int*>(counter);
    return G_SOURCE_CONTINUE;
}

TEST_F(Messaging, TheGLibLoopServesMessagesAndItsOwnSourcesDuringWaits) {
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    {
        auto loop = nb::CreateGLibLoop(context);
        nb::SetCurrentThreadLoop(loop.get());
        int ticks = 0;
        GSource* timer = g_timeout_source_new(5);
        g_source_set_callback(timer, CountTick, &ticks, nullptr);
        g_source_attach(timer, context);

        HANDLE done = CreateEventW(nullptr, 1, 0, nullptr);
        std::thread sender([&] {
            Sleep(60);
            SendMessageW(m_window, kAnswer, 2, 2);
            SetEvent(done);
        });
        DWORD index = 9;
        EXPECT_EQ(CoWaitForMultipleHandles(0, 5000, 1, &done, &index), S_OK);
        sender.join();
        EXPECT_EQ(m_recorder.handled_on, GetCurrentThreadId());
        EXPECT_GE(ticks, 3);  // the context's own sources ran during the wait

        PostMessageW(m_window, kRecord, 6, 0);
        PostQuitMessage(3);
        EXPECT_EQ(loop->Run(), 3);
        EXPECT_EQ(m_recorder.seen, std::vector<WPARAM>{6});

        g_source_destroy(timer);
        g_source_unref(timer);
        CloseHandle(done);
        nb::SetCurrentThreadLoop(nullptr);
    }
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
}

}  // namespace
