// A thread that runs a job each time it is woken. Waking is lock-free and
// allocation-free, so the audio thread may do it; the job runs on the
// worker thread, never on the waker's. Stops and joins on destruction.
#pragma once

#include "core/WakeSignal.h"

#include <atomic>
#include <functional>
#include <thread>

namespace tam {

class BackgroundWorker
{
public:
    /// Starts the thread; throws when it cannot.
    explicit BackgroundWorker(std::function<void()> job);
    ~BackgroundWorker();
    BackgroundWorker(const BackgroundWorker&) = delete;
    BackgroundWorker& operator=(const BackgroundWorker&) = delete;

    /// Asks for one more run of the job (wakes coalesce while one is pending).
    void wake();
    /// True from a wake until the run it caused has finished.
    bool busy() const { return wakePending.load(std::memory_order_acquire) || running.load(std::memory_order_acquire); }

private:
    void loop();

    std::function<void()> job;
    WakeSignal signal;
    std::atomic<bool> wakePending{false};
    std::atomic<bool> running{false};
    std::atomic<bool> stopping{false};
    std::thread thread; ///< last: starts once everything above exists
};

} // namespace tam
