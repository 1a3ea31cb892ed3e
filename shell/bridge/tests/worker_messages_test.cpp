// The worker messages as the table sees them. The test thread plays the
// worker: it sends and posts the messages itself, with threads that have
// already ended standing in for registered workers.
#include <cstring>

#include "shell/bridge/tests/bridge_fixture.h"

namespace nb::bridge::testing {
namespace {

constexpr LRESULT kFailed = E_FAIL;

DWORD EndAtOnce(LPVOID) { return 0; }

class WorkerMessagesTest : public BridgeTest {
   protected:
    LRESULT Send(UINT message, WPARAM wparam, LPARAM lparam) {
        return SendMessageW(m_bridge->Window(), message, wparam, lparam);
    }
    // Registers a thread that has ended; answers its slot, or -1 when the
    // table refused it (the handle is then closed here).
    int Register() {
        DWORD id = 0;
        HANDLE thread = CreateThread(nullptr, 0, &EndAtOnce, nullptr, 0, &id);
        EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
        if (Send(WM_WORKER_REGISTER, id, reinterpret_cast<LPARAM>(thread)) != 1) {
            CloseHandle(thread);
            return -1;
        }
        const WorkerSlot* slot = SlotOf(id);
        EXPECT_NE(slot, nullptr);
        EXPECT_EQ(slot->thread, thread);
        return static_cast<int>(slot - m_bridge->Workers());
    }
    const WorkerSlot& Slot(int index) const { return m_bridge->Workers()[index]; }
};

TEST_F(WorkerMessagesTest, RegisterTakesTheFirstFreeSlotUntilAll64AreBusy) {
    for (int i = 0; i < NB_WORKER_SLOTS; ++i) ASSERT_EQ(Register(), i);
    EXPECT_EQ(Register(), -1);
    EXPECT_EQ(Slot(NB_WORKER_SLOTS).thread_id, 0u);

    // A finished worker leaves its callback data until the slot is reused.
    EXPECT_EQ(Send(WM_WORKER_SET_CALLBACK, 5, reinterpret_cast<LPARAM>(u"callback")), 1);
    EXPECT_EQ(Send(WM_WORKER_ALLOC_ARGS, 5, 2), 1);
    EXPECT_EQ(Send(WM_WORKER_DONE, 5, 0), 1);
    EXPECT_EQ(Slot(5).thread_id, 0u);
    EXPECT_EQ(Slot(5).thread, nullptr);
    EXPECT_NE(Slot(5).callback_name, nullptr);
    EXPECT_NE(Slot(5).arguments, nullptr);
    EXPECT_EQ(m_bridge->RegisteredWorkers(), NB_WORKER_SLOTS - 1);

    EXPECT_EQ(Register(), 5);
    EXPECT_EQ(Slot(5).callback_name, nullptr);
    EXPECT_EQ(Slot(5).arguments, nullptr);
}

TEST_F(WorkerMessagesTest, DoneFromATerminatedWorkerLeavesTheSlotsNewWorkerAlone) {
    const int slot = Register();
    const DWORD first = Slot(slot).thread_id;
    EXPECT_EQ(Send(WM_WORKER_DONE, slot, static_cast<LPARAM>(first)), 1);
    ASSERT_EQ(Register(), slot);
    const DWORD second = Slot(slot).thread_id;
    ASSERT_NE(second, first);

    EXPECT_EQ(Send(WM_WORKER_DONE, slot, static_cast<LPARAM>(first)), 1);  // late, stale
    EXPECT_EQ(Slot(slot).thread_id, second);
    EXPECT_EQ(Send(WM_WORKER_DONE, slot, static_cast<LPARAM>(second)), 1);
    EXPECT_EQ(Slot(slot).thread_id, 0u);
}

TEST_F(WorkerMessagesTest, AllocateArgumentsRefusesCountsOutside1To1024) {
    const int slot = Register();
    ASSERT_EQ(Send(WM_WORKER_ALLOC_ARGS, slot, 3), 1);
    DISPPARAMS* list = Slot(slot).arguments;
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->cArgs, 3u);
    EXPECT_EQ(list->rgdispidNamedArgs, nullptr);
    EXPECT_EQ(list->cNamedArgs, 0u);
    for (UINT i = 0; i <= 3; ++i) EXPECT_EQ(list->rgvarg[i].vt, VT_EMPTY) << i;  // spare too
    list->rgvarg[2].vt = VT_I4;
    list->rgvarg[2].lVal = 42;

    for (LPARAM count : {LPARAM{0}, LPARAM{1025}, LPARAM{-1}}) {
        EXPECT_EQ(Send(WM_WORKER_ALLOC_ARGS, slot, count), kFailed) << count;
        ASSERT_EQ(Slot(slot).arguments, list);
        EXPECT_EQ(list->rgvarg[2].lVal, 42);
    }

    ASSERT_EQ(Send(WM_WORKER_ALLOC_ARGS, slot, 1024), 1);
    ASSERT_EQ(Slot(slot).arguments->cArgs, 1024u);
    EXPECT_EQ(Slot(slot).arguments->rgvarg[1024].vt, VT_EMPTY);
}

TEST_F(WorkerMessagesTest, AReMadeListNeverHasTheOldOnesAddress) {
    // A worker that re-makes its list waits until the slot holds another one.
    const int slot = Register();
    ASSERT_EQ(Send(WM_WORKER_ALLOC_ARGS, slot, 9), 1);
    for (LPARAM count : {LPARAM{3}, LPARAM{3}, LPARAM{9}}) {
        const DISPPARAMS* old_list = Slot(slot).arguments;
        ASSERT_EQ(Send(WM_WORKER_ALLOC_ARGS, slot, count), 1);
        EXPECT_NE(Slot(slot).arguments, old_list) << count;
        EXPECT_EQ(Slot(slot).arguments->cArgs, static_cast<UINT>(count));
    }
}

TEST_F(WorkerMessagesTest, NewArrayPutsAnEmptyScriptArrayIntoTheList) {
    const int slot = Register();
    EXPECT_EQ(Send(WM_WORKER_NEW_ARRAY, slot, 0), kFailed);  // no list yet
    ASSERT_EQ(Send(WM_WORKER_ALLOC_ARGS, slot, 2), 1);
    EXPECT_EQ(Send(WM_WORKER_NEW_ARRAY, slot, 1), 1);
    EXPECT_EQ(ValueOf(Slot(slot).arguments->rgvarg[1]), (Value{VT_DISPATCH, 0, {}}));
    EXPECT_EQ(Send(WM_WORKER_NEW_ARRAY, slot, 2), kFailed);
    EXPECT_EQ(Slot(slot).arguments->rgvarg[0].vt, VT_EMPTY);
}

TEST_F(WorkerMessagesTest, CallbacksRunInOrderWithTheSlotsArguments) {
    const int slot = Register();
    char16_t name[] = u"callback";
    ASSERT_EQ(Send(WM_WORKER_SET_CALLBACK, slot, reinterpret_cast<LPARAM>(name)), 1);
    name[0] = u'X';  // the slot keeps a copy
    ASSERT_EQ(Send(WM_WORKER_ALLOC_ARGS, slot, 2), 1);
    DISPPARAMS* list = Slot(slot).arguments;

    for (LONG step = 1; step <= 3; ++step) {
        // Last-first: rgvarg[1] is the callback's first parameter.
        VariantClear(&list->rgvarg[0]);
        list->rgvarg[1].vt = VT_I4;
        list->rgvarg[1].lVal = step;
        list->rgvarg[0].vt = VT_BSTR;
        list->rgvarg[0].bstrVal = SysAllocString(step == 2 ? u"two" : u"other");
        DWORD flag = 1;
        ASSERT_TRUE(PostMessageW(m_bridge->Window(), WM_WORKER_CALLBACK, slot,
                                 reinterpret_cast<LPARAM>(&flag)));
        EXPECT_TRUE(PumpUntil([&] { return flag != 1; }));
        EXPECT_EQ(flag, NB_WAIT_FLAG_CALLED);
    }
    ASSERT_TRUE(PostMessageW(m_bridge->Window(), WM_WORKER_NOTIFY, slot, 3303));
    ASSERT_TRUE(PostMessageW(m_bridge->Window(), WM_WORKER_CALLBACK, slot, 0));
    EXPECT_TRUE(PumpUntil([&] { return m_page.calls.size() == 5; }));
    const std::vector<PageCall> expected = {
        {u"callback", {I4(1), Text(u"other")}}, {u"callback", {I4(2), Text(u"two")}},
        {u"callback", {I4(3), Text(u"other")}}, {u"callback", {Int(3303)}},
        {u"callback", {I4(3), Text(u"other")}},
    };
    EXPECT_EQ(m_page.calls, expected);
}

TEST_F(WorkerMessagesTest, ReportsOfASlotWithoutCallbackNameAreDropped) {
    const int slot = Register();
    DWORD flag = 1;
    EXPECT_EQ(Send(WM_WORKER_CALLBACK, slot, reinterpret_cast<LPARAM>(&flag)), kFailed);
    EXPECT_EQ(flag, NB_WAIT_FLAG_NO_CALLBACK);
    EXPECT_EQ(Send(WM_WORKER_NOTIFY, slot, 3300), kFailed);

    // A name the page does not define still counts as a callback that ran.
    ASSERT_EQ(Send(WM_WORKER_SET_CALLBACK, slot, reinterpret_cast<LPARAM>(u"missing")), 1);
    flag = 1;
    EXPECT_EQ(Send(WM_WORKER_CALLBACK, slot, reinterpret_cast<LPARAM>(&flag)), 1);
    EXPECT_EQ(flag, NB_WAIT_FLAG_CALLED);
    EXPECT_TRUE(m_page.calls.empty());
    EXPECT_EQ(m_page.unknown_calls, std::vector<std::u16string>{u"missing"});
}

TEST_F(WorkerMessagesTest, DoneForTheSpareSlotChangesNothingVisible) {
    Register();
    const int named = Register();
    ASSERT_EQ(Send(WM_WORKER_SET_CALLBACK, named, reinterpret_cast<LPARAM>(u"callback")), 1);
    ASSERT_EQ(Send(WM_WORKER_ALLOC_ARGS, named, 1), 1);
    WorkerSlot before[NB_WORKER_TABLE_SIZE];
    std::memcpy(before, m_bridge->Workers(), sizeof before);

    EXPECT_EQ(Send(WM_WORKER_DONE, NB_WORKER_SLOTS, 0), 1);
    EXPECT_EQ(Send(WM_WORKER_DONE, NB_WORKER_TABLE_SIZE, 0), kFailed);  // no such slot
    EXPECT_EQ(std::memcmp(before, m_bridge->Workers(), sizeof before), 0);
    EXPECT_EQ(m_bridge->RegisteredWorkers(), 2);
}

TEST_F(WorkerMessagesTest, OtherMessagesAreLeftToTheWindowsOwner) {
    EXPECT_FALSE(m_bridge->HandleWorkerMessage(WM_APP + 100, 0, 0).has_value());
    EXPECT_FALSE(m_bridge->HandleWorkerMessage(WM_APP + 108, 0, 0).has_value());
    EXPECT_EQ(m_bridge->HandleWorkerMessage(WM_WORKER_DONE, NB_WORKER_SLOTS, 0), 1);
}

}  // namespace
}  // namespace nb::bridge::testing
