// The drive thread against tasks that really block: a read from a pipe that
// nobody writes, as a drive that does not answer holds its caller.
#include "platform/cdrip/drive_thread.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>

namespace nb::cdrip {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A pipe whose read end a task blocks on until the test writes.
class Stall {
   public:
    Stall() { EXPECT_EQ(::pipe(m_ends), 0); }
    ~Stall() {
        Release();
        ::close(m_ends[0]);
    }
    // A task that waits for the byte, then notes that it ended.
    std::function<void()> Task() {
        return [fd = m_ends[0], ended = m_ended] {
            char byte = 0;
            EXPECT_EQ(::read(fd, &byte, 1), 1);
            *ended = true;
        };
    }
    void Release() {
        if (m_ends[1] < 0) return;
        EXPECT_EQ(::write(m_ends[1], "x", 1), 1);
        ::close(m_ends[1]);
        m_ends[1] = -1;
    }
    bool EndsWithin(std::chrono::milliseconds limit) const {
        const Clock::time_point deadline = Clock::now() + limit;
        while (!*m_ended && Clock::now() < deadline) std::this_thread::sleep_for(5ms);
        return *m_ended;
    }

   private:
    int m_ends[2] = {-1, -1};
    std::shared_ptr<std::atomic<bool>> m_ended = std::make_shared<std::atomic<bool>>(false);
};

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(DriveThread, RunsEachTaskOnItsOwnThreadAndWaitsForIt) {
    DriveThread thread;
    const std::thread::id caller = std::this_thread::get_id();
    auto seen = std::make_shared<std::vector<int>>();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(thread.Run(
                      [seen, i, caller] {
                          EXPECT_NE(std::this_thread::get_id(), caller);
                          seen->push_back(i);
                      },
                      1s),
                  TaskOutcome::kDone);
    }
    EXPECT_EQ(*seen, (std::vector<int>{0, 1, 2}));
    EXPECT_FALSE(thread.IsLost());
}

// The caller waits no longer than the limit; the thread is lost from then on,
// refuses at once, and still ends by itself once the call returns.
TEST(DriveThread, GivesUpOnATaskThatOutlastsItsLimit) {
    Stall stall;
    {
        DriveThread thread;
        const Clock::time_point start = Clock::now();
        EXPECT_EQ(thread.Run(stall.Task(), 300ms), TaskOutcome::kTimedOut);
        EXPECT_GE(SecondsSince(start), 0.3);
        EXPECT_LT(SecondsSince(start), 2.0);
        EXPECT_TRUE(thread.IsLost());

        bool ran = false;
        const Clock::time_point refused = Clock::now();
        EXPECT_EQ(thread.Run([&ran] { ran = true; }, 10s), TaskOutcome::kRefused);
        EXPECT_LT(SecondsSince(refused), 0.1);
        EXPECT_FALSE(ran);
    }
    // The thread outlived its owner, still blocked.
    EXPECT_FALSE(stall.EndsWithin(100ms));
    stall.Release();
    EXPECT_TRUE(stall.EndsWithin(5000ms));
}

TEST(DriveThread, AWaitEndsSoonAfterTheCallerGivesUp) {
    Stall stall;
    DriveThread thread;
    const Clock::time_point start = Clock::now();
    const auto after_a_tenth = [start] { return SecondsSince(start) > 0.1; };
    EXPECT_EQ(thread.Run(stall.Task(), 20s, after_a_tenth), TaskOutcome::kGivenUp);
    EXPECT_LT(SecondsSince(start), 2.0);
    EXPECT_TRUE(thread.IsLost());
    stall.Release();
    EXPECT_TRUE(stall.EndsWithin(5000ms));
}

// A task about to end when the caller gives up is waited for, and the
// thread stays in use.
TEST(DriveThread, ATaskEndingWithinTheGraceIsWaitedFor) {
    DriveThread thread;
    auto ended = std::make_shared<std::atomic<bool>>(false);
    const auto task = [ended] {
        std::this_thread::sleep_for(100ms);
        *ended = true;
    };
    EXPECT_EQ(thread.Run(task, 20s, [] { return true; }), TaskOutcome::kDone);
    EXPECT_TRUE(*ended);
    EXPECT_FALSE(thread.IsLost());
}

}  // namespace
}  // namespace nb::cdrip
