// A worker that cannot stop in time: one waiting for its own final callback,
// whose page stops it from inside that callback. The bridge gives up on it
// after the grace period and the wait, yet what the thread still touches (its
// callback list, the table, the extension library's code) stays valid until
// it has really ended, even when the bridge is gone by then.
#include <atomic>

#include "shell/bridge/tests/bridge_fixture.h"

namespace nb::bridge::testing {
namespace {

void MarkEnded(void* flag) { static_cast<std::atomic<bool>*>(flag)->store(true); }

TEST_F(BridgeTest, WorkerStoppedFromItsOwnFinalCallbackIsTerminated) {
    DWORD id = 0;
    std::atomic<bool> ended{false};
    double seconds_to_stop = 0;
    m_page.during_call = [&](const PageCall&) {
        const WorkerSlot* slot = SlotOf(id);
        ASSERT_NE(slot, nullptr);
        ASSERT_TRUE(NbDeferUntilThreadEnds(slot->thread, &MarkEnded, &ended));
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Terminate(*m_bridge, Args().Int(static_cast<LONG>(id))), S_OK);
        seconds_to_stop = SecondsSince(start);
    };
    id = StartProgram(u"echo hi", true);
    ASSERT_TRUE(PumpUntil([&] { return !m_page.calls.empty(); }));

    // It waited for the shell, so it ran into the full 400 + 3000 ms.
    EXPECT_GE(seconds_to_stop, 3.39);
    EXPECT_TRUE(NbIsThreadAbandoned(id));
    EXPECT_EQ(SlotOf(id), nullptr);
    EXPECT_EQ(m_bridge->RegisteredWorkers(), 0);

    // Gone before the abandoned thread wakes up from its pause.
    m_bridge.reset();
    const DWORD start = GetTickCount();
    while (!ended && GetTickCount() - start < 5000) Sleep(10);
    EXPECT_TRUE(ended);
    EXPECT_EQ(m_page.calls.size(), 1u);
}

}  // namespace
}  // namespace nb::bridge::testing
