// WaitForSingleObject and WaitForMultipleObjects.
#include <time.h>

#include <vector>

#include "futex.h"
#include "kvwin/last_error.h"
#include "sync_objects.h"
#include "win/kernel_objects.h"

namespace kvwin {

namespace {

uint64_t NowMs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u +
           static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

DWORD ResultFor(TakeResult result, DWORD index) {
    return result == TakeResult::Abandoned ? WAIT_ABANDONED_0 + index : WAIT_OBJECT_0 + index;
}

bool Collect(DWORD count, const HANDLE* handles, std::vector<std::shared_ptr<Waitable>>& out) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    for (DWORD i = 0; i < count; ++i) {
        std::shared_ptr<KernelObject> object = LookupHandle(handles[i]);
        auto waitable = std::dynamic_pointer_cast<Waitable>(object);
        if (!waitable) {
            SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
        out.push_back(std::move(waitable));
    }
    return true;
}

// One look at the objects: the index taken (or all taken), or nothing.
bool LookAny(const std::vector<std::shared_ptr<Waitable>>& objects, DWORD& result) {
    for (size_t i = 0; i < objects.size(); ++i) {
        const TakeResult taken = objects[i]->TryTake();
        if (taken != TakeResult::NotSignalled) {
            result = ResultFor(taken, static_cast<DWORD>(i));
            return true;
        }
    }
    return false;
}

bool LookAll(const std::vector<std::shared_ptr<Waitable>>& objects, DWORD& result) {
    for (const auto& object : objects) {
        if (!object->IsSignalled())
            return false;
    }
    bool abandoned = false;
    for (size_t i = 0; i < objects.size(); ++i) {
        const TakeResult taken = objects[i]->TryTake();
        if (taken == TakeResult::NotSignalled) {
            // Another waiter came between the look and the take: give back and sleep again.
            for (size_t j = 0; j < i; ++j)
                objects[j]->Untake();
            return false;
        }
        abandoned = abandoned || taken == TakeResult::Abandoned;
    }
    result = abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0;
    return true;
}

DWORD Wait(const std::vector<std::shared_ptr<Waitable>>& objects, bool wait_all,
           DWORD milliseconds) {
    // A mutex alone is left to the kernel, which also wakes us when its owner dies.
    if (objects.size() == 1 && objects[0]->Kind() == HandleKind::Mutex) {
        auto* mutex = static_cast<MutexObject*>(objects[0].get());
        const TakeResult taken = mutex->Take(milliseconds == INFINITE ? UINT32_MAX : milliseconds);
        return taken == TakeResult::NotSignalled ? WAIT_TIMEOUT : ResultFor(taken, 0);
    }
    uint32_t slice = UINT32_MAX;
    for (const auto& object : objects) {
        if (object->MaxSleepMs())
            slice = std::min(slice, object->MaxSleepMs());
    }
    const uint64_t deadline = milliseconds == INFINITE ? UINT64_MAX : NowMs() + milliseconds;
    std::vector<FutexWaiter> waiters(objects.size());
    for (;;) {
        for (size_t i = 0; i < objects.size(); ++i) {
            objects[i]->AnnounceSleeper();
            waiters[i] = {&objects[i]->WakeWord(),
                          objects[i]->WakeWord().load(std::memory_order_acquire),
                          objects[i]->WakeWordShared()};
        }
        DWORD result = WAIT_FAILED;
        if (wait_all ? LookAll(objects, result) : LookAny(objects, result))
            return result;
        const uint64_t now = NowMs();
        if (now >= deadline)
            return WAIT_TIMEOUT;
        uint64_t sleep = deadline == UINT64_MAX ? UINT32_MAX : deadline - now;
        sleep = std::min<uint64_t>(sleep, slice);
        FutexWaitAny(waiters, static_cast<uint32_t>(std::min<uint64_t>(sleep, UINT32_MAX - 1)));
    }
}

}  // namespace

}  // namespace kvwin

using namespace kvwin;

extern "C" {

DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                             DWORD dwMilliseconds) {
    std::vector<std::shared_ptr<Waitable>> objects;
    if (!Collect(nCount, lpHandles, objects))
        return WAIT_FAILED;
    return Wait(objects, bWaitAll != FALSE, dwMilliseconds);
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    std::shared_ptr<KernelObject> object = LookupHandle(hHandle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    // A mutex alone, the commonest wait, needs no list: taken at once when free, else left
    // to the kernel.
    if (object->Kind() == HandleKind::Mutex) {
        auto* mutex = static_cast<MutexObject*>(object.get());
        TakeResult taken = mutex->TryTake();
        if (taken == TakeResult::NotSignalled && dwMilliseconds != 0)
            taken = mutex->Take(dwMilliseconds == INFINITE ? UINT32_MAX : dwMilliseconds);
        return taken == TakeResult::NotSignalled ? WAIT_TIMEOUT : ResultFor(taken, 0);
    }
    std::vector<std::shared_ptr<Waitable>> objects;
    auto waitable = std::dynamic_pointer_cast<Waitable>(std::move(object));
    if (!waitable) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    objects.push_back(std::move(waitable));
    return Wait(objects, false, dwMilliseconds);
}

}  // extern "C"
