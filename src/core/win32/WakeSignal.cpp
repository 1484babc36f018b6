#include "core/WakeSignal.h"

#include <climits>
#include <stdexcept>
#include <windows.h>

namespace tam {

struct WakeSignal::Impl
{
    HANDLE semaphore = nullptr;
};

WakeSignal::WakeSignal() : impl(std::make_unique<Impl>())
{
    impl->semaphore = CreateSemaphoreA(nullptr, 0, LONG_MAX, nullptr);
    if (impl->semaphore == nullptr)
        throw std::runtime_error("cannot create a semaphore");
}

WakeSignal::~WakeSignal()
{
    CloseHandle(impl->semaphore);
}

void WakeSignal::post()
{
    ReleaseSemaphore(impl->semaphore, 1, nullptr);
}

void WakeSignal::wait()
{
    WaitForSingleObject(impl->semaphore, INFINITE);
}

} // namespace tam
