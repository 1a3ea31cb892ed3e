#include "platform/kernel/kernel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

namespace {

using namespace std::chrono;

struct Handle {
    explicit Handle(HANDLE h) : value(h) {}
    ~Handle() { CloseHandle(value); }
    HANDLE value;
};

TEST(Events, ManualStaysSetAndAutoResetsAfterOneWait) {
    Handle manual(CreateEventW(nullptr, 1, 0, nullptr));
    Handle automatic(CreateEventW(nullptr, 0, 1, nullptr));
    EXPECT_EQ(WaitForSingleObject(manual.value, 0), WAIT_TIMEOUT);
    ASSERT_TRUE(SetEvent(manual.value));
    EXPECT_EQ(WaitForSingleObject(manual.value, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manual.value, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(automatic.value, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(automatic.value, 0), WAIT_TIMEOUT);

    HANDLE both[] = {automatic.value, manual.value};
    EXPECT_EQ(WaitForMultipleObjects(2, both, 0, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForMultipleObjects(2, both, 1, 0), WAIT_TIMEOUT);
    SetEvent(automatic.value);
    EXPECT_EQ(WaitForMultipleObjects(2, both, 1, 0), WAIT_OBJECT_0);
    ResetEvent(manual.value);
    EXPECT_EQ(WaitForSingleObject(manual.value, 0), WAIT_TIMEOUT);
}

TEST(Events, TimeOutAfterTheirTime) {
    Handle event(CreateEventW(nullptr, 0, 0, nullptr));
    const auto start = steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(event.value, 50), WAIT_TIMEOUT);
    const auto waited = duration_cast<milliseconds>(steady_clock::now() - start).count();
    EXPECT_GE(waited, 50);
    EXPECT_LT(waited, 1000);
}

TEST(Handles, BadOnesFail) {
    HANDLE event = CreateEventW(nullptr, 0, 0, nullptr);
    ASSERT_TRUE(CloseHandle(event));
    EXPECT_FALSE(CloseHandle(event));
    EXPECT_FALSE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
    EXPECT_EQ(ResumeThread(event), 0xFFFFFFFFu);
}

struct Probe {
    std::atomic<bool> started{false};
    std::atomic<bool> release{false};
    std::atomic<DWORD> seen_id{0};
    std::atomic<bool> saw_abandoned{false};
};

DWORD ProbeThread(LPVOID parameter) {
    auto* probe = static_cast<Probe*>(parameter);
    probe->seen_id = GetCurrentThreadId();
    probe->started = true;
    while (!probe->release) Sleep(1);
    probe->saw_abandoned = NbIsCurrentThreadAbandoned() != 0;
    return 7;
}

TEST(Threads, StartSuspendedAndReportTheirExitCode) {
    Probe probe;
    DWORD id = 0;
    Handle thread(CreateThread(nullptr, 0, ProbeThread, &probe, CREATE_SUSPENDED, &id));
    ASSERT_NE(thread.value, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_NE(id, GetCurrentThreadId());
    EXPECT_EQ(GetThreadId(thread.value), id);
    Sleep(30);
    EXPECT_FALSE(probe.started);
    EXPECT_EQ(ResumeThread(thread.value), 1u);
    while (!probe.started) Sleep(1);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread.value, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(thread.value, 0), WAIT_TIMEOUT);
    probe.release = true;
    ASSERT_EQ(WaitForSingleObject(thread.value, 5000), WAIT_OBJECT_0);
    ASSERT_TRUE(GetExitCodeThread(thread.value, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(probe.seen_id, id);
    EXPECT_FALSE(probe.saw_abandoned);
}

void CountRelease(void* counter) { ++*static_cast<std::atomic<int>*>(counter); }

TEST(Threads, TerminationAbandonsAndDefersReleaseUntilTheRealEnd) {
    Probe probe;
    DWORD id = 0;
    Handle thread(CreateThread(nullptr, 0, ProbeThread, &probe, 0, &id));
    while (!probe.started) Sleep(1);
    std::atomic<int> released{0};
    ASSERT_TRUE(NbDeferUntilThreadEnds(thread.value, CountRelease, &released));
    ASSERT_TRUE(TerminateThread(thread.value, 127));
    EXPECT_EQ(WaitForSingleObject(thread.value, 0), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeThread(thread.value, &code);
    EXPECT_EQ(code, 127u);
    EXPECT_TRUE(NbIsThreadAbandoned(id));
    EXPECT_EQ(released, 0);  // the thread is still running
    probe.release = true;
    for (int i = 0; i < 500 && released == 0; ++i) Sleep(10);
    EXPECT_EQ(released, 1);
    EXPECT_TRUE(probe.saw_abandoned);
    GetExitCodeThread(thread.value, &code);
    EXPECT_EQ(code, 127u);  // the routine's own code does not replace it
    ASSERT_TRUE(NbDeferUntilThreadEnds(thread.value, CountRelease, &released));
    EXPECT_EQ(released, 2);  // already ended: at once
}

TEST(Threads, ASuspendedThreadThatIsTerminatedNeverRuns) {
    Probe probe;
    Handle thread(CreateThread(nullptr, 0, ProbeThread, &probe, CREATE_SUSPENDED, nullptr));
    ASSERT_TRUE(TerminateThread(thread.value, 127));
    ResumeThread(thread.value);
    Sleep(30);
    EXPECT_FALSE(probe.started);
}

TEST(Time, TickCountAdvancesWithSleep) {
    const DWORD before = GetTickCount();
    Sleep(20);
    const DWORD after = GetTickCount();
    EXPECT_GE(after - before, 20u);
    EXPECT_LT(after - before, 1000u);
}

}  // namespace
