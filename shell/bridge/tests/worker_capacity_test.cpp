// The table's limit with real workers: 64 run at once, and the extension
// library gives up on a 65th after its ten seconds of looking for a slot.
#include "shell/bridge/tests/bridge_fixture.h"

namespace nb::bridge::testing {
namespace {

TEST_F(BridgeTest, SixtyFifthWorkerCannotGetAThreadContext) {
    std::set<DWORD> ids;
    for (int i = 0; i < NB_WORKER_SLOTS; ++i) ids.insert(StartProgram(u"sleep 30", true));
    EXPECT_EQ(ids.size(), static_cast<std::size_t>(NB_WORKER_SLOTS));
    ASSERT_EQ(m_bridge->RegisteredWorkers(), NB_WORKER_SLOTS);

    const auto start = std::chrono::steady_clock::now();
    const Outcome refused = Execute(
        *m_bridge,
        Args().Str(u"RunExecutable").Array(Args().Str(u"sleep 30").Bool(true)).Str(u"callback"));
    EXPECT_GE(SecondsSince(start), 9.5);
    EXPECT_EQ(refused.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(refused.code, 2102);
    EXPECT_EQ(refused.source, u"External::RunExecutable");
    EXPECT_EQ(refused.description, u"Catastrophic: Cannot get thread context");
    EXPECT_EQ(m_bridge->RegisteredWorkers(), NB_WORKER_SLOTS);

    EXPECT_EQ(Terminate(*m_bridge, Args().Int(0)), S_OK);
    EXPECT_EQ(m_bridge->RegisteredWorkers(), 0);
    EXPECT_EQ(m_page.calls.size(), static_cast<std::size_t>(NB_WORKER_SLOTS));
    EXPECT_TRUE(WaitForWorkersToEnd());
}

}  // namespace
}  // namespace nb::bridge::testing
