// Worker calls of the real extension library: the reports a page receives,
// and the slot a worker gives back when it is done.
#include "shell/bridge/tests/bridge_fixture.h"

namespace nb::bridge::testing {
namespace {

TEST_F(BridgeTest, WaitingWorkerHasItsFinalCallbackRunBeforeItEnds) {
    bool worker_alive_during_callback = false;
    DWORD id = 0;
    m_page.during_call = [&](const PageCall&) {
        const WorkerSlot* slot = SlotOf(id);
        worker_alive_during_callback = slot && WaitForSingleObject(slot->thread, 0) == WAIT_TIMEOUT;
    };
    id = StartProgram(u"echo hi", true);
    const WorkerSlot* slot = SlotOf(id);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(std::u16string(slot->callback_name), u"callback");

    EXPECT_TRUE(WaitForWorkersToEnd());
    const std::vector<PageCall> expected = {{u"callback", {I4(3303), I4(0), Text(u"hi\n")}}};
    EXPECT_EQ(m_page.calls, expected);
    EXPECT_TRUE(worker_alive_during_callback);
}

TEST_F(BridgeTest, StatusReportArrivesAsOneInteger) {
    StartProgram(u"true", false);
    EXPECT_TRUE(WaitForWorkersToEnd());
    const std::vector<PageCall> expected = {{u"callback", {Int(3303)}}};
    EXPECT_EQ(m_page.calls, expected);
}

TEST_F(BridgeTest, WorkerWithoutCallbackNameRunsToCompletionSilently) {
    const DWORD id = StartProgram(u"echo hi", true, u"");
    const WorkerSlot* slot = SlotOf(id);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->callback_name, nullptr);
    // The final report waits for the shell: it is told no callback exists.
    EXPECT_TRUE(WaitForWorkersToEnd());
    EXPECT_TRUE(m_page.calls.empty());
    EXPECT_TRUE(m_page.unknown_calls.empty());
}

TEST_F(BridgeTest, WorkersRunSideBySideEachWithItsOwnReports) {
    StartProgram(u"echo one", true, u"first");
    StartProgram(u"echo two", true, u"second");
    EXPECT_TRUE(WaitForWorkersToEnd());
    ASSERT_EQ(m_page.calls.size(), 2u);
    for (const PageCall& call : m_page.calls) {
        const std::u16string output = call.function == u"first" ? u"one\n" : u"two\n";
        EXPECT_EQ(call.arguments, (std::vector<Value>{I4(3303), I4(0), Text(output)}));
    }
}

}  // namespace
}  // namespace nb::bridge::testing
