// A wake-up signal a real-time thread may post without locking or
// allocating (a counting semaphore of the platform). One thread waits.
#pragma once

#include <memory>

namespace tam {

class WakeSignal
{
public:
    WakeSignal(); ///< throws std::runtime_error when the platform refuses
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    /// Lock-free; safe on the audio thread.
    void post();
    /// Blocks until posted.
    void wait();

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

} // namespace tam
