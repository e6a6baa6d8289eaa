#include "singleton/singleton_lock.h"

#include "win/sync.h"

namespace Utility {

namespace {
// Zero-initialised before any code of the library runs (see the header).
constinit CRITICAL_SECTION g_singletonLock{};
}  // namespace

void InitializeSingletonLock() {
    InitializeCriticalSection(&g_singletonLock);
}

void DeleteSingletonLock() {
    DeleteCriticalSection(&g_singletonLock);
}

void EnterSingletonLock() {
    EnterCriticalSection(&g_singletonLock);
}

void LeaveSingletonLock() {
    LeaveCriticalSection(&g_singletonLock);
}

}  // namespace Utility
