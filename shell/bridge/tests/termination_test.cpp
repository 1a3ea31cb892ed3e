// TerminateThread as a page calls it, on real workers that stop when asked:
// which workers a target reaches, what they report, and what the command
// channel and the slots look like afterwards.
#include <gmock/gmock.h>

#include <string>

#include "shell/bridge/method_arguments.h"
#include "shell/bridge/tests/bridge_fixture.h"

namespace nb::bridge::testing {
namespace {

// A worker that runs until it is stopped: it waits for a program that
// outlives every test.
constexpr char16_t kLongProgram[] = u"sleep 30";

std::u16string Decimal(DWORD number) {
    const std::string digits = std::to_string(number);
    return {digits.begin(), digits.end()};
}

using IdForm = ScriptValues (*)(DWORD id);

TEST_F(BridgeTest, TerminateThreadStopsOnlyTheWorkerItNames) {
    const std::pair<const char*, IdForm> forms[] = {
        {"VT_I4", [](DWORD id) { return Args().Int(static_cast<LONG>(id)); }},
        {"VT_INT", [](DWORD id) { return Args().Int(static_cast<LONG>(id), VT_INT); }},
        {"VT_UINT", [](DWORD id) { return Args().Int(static_cast<LONG>(id), VT_UINT); }},
        {"decimal text", [](DWORD id) { return Args().Str(u" \t\r\n+" + Decimal(id) + u"; "); }},
    };
    for (const auto& [what, form] : forms) {
        SCOPED_TRACE(what);
        m_page.calls.clear();
        const DWORD stopped = StartProgram(kLongProgram, true, u"first");
        const DWORD kept = StartProgram(kLongProgram, true, u"second");

        EXPECT_EQ(Terminate(*m_bridge, form(stopped)), S_OK);
        EXPECT_EQ(m_page.calls, (std::vector<PageCall>{{u"first", {Int(3300)}}}));
        EXPECT_EQ(SlotOf(stopped), nullptr);
        EXPECT_NE(SlotOf(kept), nullptr);
        // The command stays posted until the next call resets the event.
        EXPECT_EQ(WaitForSingleObject(m_bridge->CommandEvent(), 0), WAIT_OBJECT_0);
        EXPECT_EQ(Execute(*m_bridge, Args().Str(u"GetTempDir")).hr, S_OK);
        EXPECT_EQ(WaitForSingleObject(m_bridge->CommandEvent(), 0), WAIT_TIMEOUT);

        EXPECT_EQ(Terminate(*m_bridge, Args().Int(static_cast<LONG>(kept))), S_OK);
        EXPECT_EQ(m_bridge->RegisteredWorkers(), 0);
    }
}

TEST_F(BridgeTest, TerminateThreadOfZeroOrNoNumberStopsEveryWorker) {
    const std::pair<const char*, ScriptValues (*)()> forms[] = {
        {"0", [] { return Args().Int(0); }},
        {"text without digits", [] { return Args().Str(u"x"); }},
        {"another type", [] { return Args().Bool(true); }},
    };
    for (const auto& [what, form] : forms) {
        SCOPED_TRACE(what);
        m_page.calls.clear();
        StartProgram(kLongProgram, true, u"first");
        StartProgram(kLongProgram, true, u"second");
        EXPECT_EQ(Terminate(*m_bridge, form()), S_OK);
        EXPECT_EQ(m_bridge->RegisteredWorkers(), 0);
        const std::vector<PageCall> expected = {{u"first", {Int(3300)}}, {u"second", {Int(3300)}}};
        // Both stop in the same grace period, in either order.
        EXPECT_THAT(m_page.calls, ::testing::UnorderedElementsAreArray(expected));
    }
}

TEST_F(BridgeTest, TerminateThreadKeepsCallbackDataAndShutdownFreesIt) {
    const DWORD id = StartProgram(kLongProgram, true, u"first");
    const WorkerSlot* slot = SlotOf(id);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(Terminate(*m_bridge, Args().Int(static_cast<LONG>(id))), S_OK);
    EXPECT_EQ(slot->thread_id, 0u);
    EXPECT_EQ(slot->thread, nullptr);
    ASSERT_NE(slot->callback_name, nullptr);
    EXPECT_EQ(std::u16string(slot->callback_name), u"first");

    m_bridge->Shutdown();
    EXPECT_EQ(slot->callback_name, nullptr);
    EXPECT_FALSE(m_bridge->IsExtensionLoaded());
}

TEST_F(BridgeTest, TerminateThreadWithoutWorkersReturnsAtOnce) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Terminate(*m_bridge, Args().Int(0)), S_OK);
    EXPECT_LT(SecondsSince(start), 0.2);
    EXPECT_EQ(WaitForSingleObject(m_bridge->CommandEvent(), 0), WAIT_TIMEOUT);

    EXPECT_EQ(Terminate(*m_bridge, Args().Int(0), DISPATCH_PROPERTYGET), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Terminate(*m_bridge, Args()), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Terminate(*m_bridge, Args().Int(1).Int(2)), DISP_E_BADPARAMCOUNT);
}

TEST(ThreadIdText, SkipsBlanksThenReadsASignAndDigits) {
    const std::pair<std::u16string, DWORD> cases[] = {
        {u"12", 12},    {u" \t\r\n12", 12}, {u"+7", 7},         {u"-1", 0xFFFFFFFF},
        {u"42abc", 42}, {u"4 2", 4},        {u"x", 0},          {u"", 0},
        {u"\v12", 0},   {u"+-3", 0},        {u"4294967297", 1},
    };
    for (const auto& [text, id] : cases)
        EXPECT_EQ(ThreadIdFromText(text), id) << std::string(text.begin(), text.end());
}

}  // namespace
}  // namespace nb::bridge::testing
