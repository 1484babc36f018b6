#include "core/WakeSignal.h"

#include <cerrno>
#include <semaphore.h>
#include <stdexcept>

namespace tam {

struct WakeSignal::Impl
{
    sem_t semaphore;
};

WakeSignal::WakeSignal() : impl(std::make_unique<Impl>())
{
    if (sem_init(&impl->semaphore, 0, 0) != 0)
        throw std::runtime_error("cannot create a semaphore");
}

WakeSignal::~WakeSignal()
{
    sem_destroy(&impl->semaphore);
}

void WakeSignal::post()
{
    sem_post(&impl->semaphore); // async-signal-safe, hence lock-free
}

void WakeSignal::wait()
{
    while (sem_wait(&impl->semaphore) != 0 && errno == EINTR)
    {
    }
}

} // namespace tam
