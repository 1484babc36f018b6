#include "core/BackgroundWorker.h"

namespace tam {

BackgroundWorker::BackgroundWorker(std::function<void()> work) : job(std::move(work)), thread([this] { loop(); }) {}

BackgroundWorker::~BackgroundWorker()
{
    stopping.store(true, std::memory_order_release);
    signal.post();
    thread.join();
}

void BackgroundWorker::wake()
{
    if (!wakePending.exchange(true, std::memory_order_acq_rel))
        signal.post();
}

void BackgroundWorker::loop()
{
    for (;;)
    {
        signal.wait();
        if (stopping.load(std::memory_order_acquire))
            return;
        running.store(true, std::memory_order_release);
        wakePending.store(false, std::memory_order_release);
        try
        {
            job();
        }
        catch (...)
        {
            // Nothing may escape a thread; the job leaves its state consistent.
        }
        running.store(false, std::memory_order_release);
    }
}

} // namespace tam
