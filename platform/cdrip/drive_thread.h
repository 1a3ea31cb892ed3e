// The one thread that talks to a drive, so that a drive that does not answer
// costs its caller a bounded wait and nothing more. Every call into the CD
// libraries runs here, one at a time. A task that outlasts its limit is left
// to finish alone: the thread is then lost, later tasks are refused at once,
// and the thread ends by itself once the blocked call returns.
//
// A task may touch only what it owns or shares by reference count, never the
// caller's locals: it may still run after its caller has given up on it.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace nb::cdrip {

enum class TaskOutcome {
    kDone,
    kTimedOut,  // the limit passed first; the thread is lost
    kGivenUp,   // the caller's give-up test held first; the thread is lost
    kRefused,   // the thread was lost before
};

class DriveThread {
   public:
    DriveThread();
    // Ends the thread; a lost one is left to end by itself.
    ~DriveThread();
    DriveThread(const DriveThread&) = delete;
    DriveThread& operator=(const DriveThread&) = delete;

    // Runs task on the drive's thread and waits for it, at most limit. With a
    // give-up test, the wait also ends soon after give_up() holds (it is
    // asked every 50 ms), once a short grace has passed without the task
    // ending.
    TaskOutcome Run(std::function<void()> task, std::chrono::milliseconds limit,
                    const std::function<bool()>& give_up = {});

    bool IsLost() const { return m_lost; }

   private:
    struct Shared;
    static void Serve(std::shared_ptr<Shared> shared);
    // Waits until the task numbered ticket has ended or deadline passes.
    bool WaitFor(unsigned long ticket, std::chrono::steady_clock::time_point deadline);
    void Abandon();

    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
    unsigned long m_tickets = 0;
    bool m_lost = false;
};

}  // namespace nb::cdrip
