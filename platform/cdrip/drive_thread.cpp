#include "platform/cdrip/drive_thread.h"

#include <dlfcn.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <utility>

namespace nb::cdrip {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kGiveUpPoll{50};
// A task still running when the caller gives up usually ends within a
// sector or two; waiting that long lets the thread end cleanly.
constexpr std::chrono::milliseconds kGiveUpGrace{250};

// A lost thread still runs this module's code, and the module that holds it
// may be unloaded before the blocked call returns: keep it loaded for good.
void KeepThisModuleLoaded() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&KeepThisModuleLoaded), &info) == 0 ||
        info.dli_fname == nullptr)
        return;
    // The reference is never dropped, on purpose.
    dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

}  // namespace

struct DriveThread::Shared {
    std::mutex mutex;
    std::condition_variable wake;  // a task or the end for the thread
    std::condition_variable done;  // a task ended, for the caller
    std::function<void()> task;
    unsigned long finished = 0;  // tickets of the tasks that ended
    bool stopping = false;
};

DriveThread::DriveThread()
    : m_shared(std::make_shared<Shared>()), m_thread(&DriveThread::Serve, m_shared) {}

DriveThread::~DriveThread() {
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->stopping = true;
    }
    m_shared->wake.notify_one();
    if (m_lost)
        m_thread.detach();
    else
        m_thread.join();
}

void DriveThread::Serve(std::shared_ptr<Shared> shared) {
    std::unique_lock lock(shared->mutex);
    for (;;) {
        shared->wake.wait(lock, [&] { return shared->task || shared->stopping; });
        if (!shared->task) return;
        std::function<void()> task = std::exchange(shared->task, nullptr);
        lock.unlock();
        task();
        // The task's captures go here, on this thread, before it reports.
        task = nullptr;
        lock.lock();
        ++shared->finished;
        shared->done.notify_all();
    }
}

bool DriveThread::WaitFor(unsigned long ticket, Clock::time_point deadline) {
    std::unique_lock lock(m_shared->mutex);
    return m_shared->done.wait_until(lock, deadline, [&] { return m_shared->finished >= ticket; });
}

TaskOutcome DriveThread::Run(std::function<void()> task, std::chrono::milliseconds limit,
                             const std::function<bool()>& give_up) {
    if (m_lost) return TaskOutcome::kRefused;
    const unsigned long ticket = ++m_tickets;
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->task = std::move(task);
    }
    m_shared->wake.notify_one();
    const Clock::time_point deadline = Clock::now() + limit;
    for (;;) {
        const Clock::time_point next =
            give_up ? std::min(deadline, Clock::now() + kGiveUpPoll) : deadline;
        if (WaitFor(ticket, next)) return TaskOutcome::kDone;
        if (Clock::now() >= deadline) break;
        if (give_up && give_up()) {
            if (WaitFor(ticket, std::min(deadline, Clock::now() + kGiveUpGrace)))
                return TaskOutcome::kDone;
            Abandon();
            return TaskOutcome::kGivenUp;
        }
    }
    Abandon();
    return TaskOutcome::kTimedOut;
}

void DriveThread::Abandon() {
    m_lost = true;
    KeepThisModuleLoaded();
}

}  // namespace nb::cdrip
