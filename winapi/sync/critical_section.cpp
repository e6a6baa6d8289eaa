// Critical sections on a futex: a recursive, thread-owned lock in the Windows structure.
//
// The futex word is LockCount: 0 free, 1 held, 2 held and someone may be sleeping. This is
// the classic three-state mutex: an uncontended Enter and Leave are one atomic each, and a
// Leave only calls into the kernel when a waiter may need waking. OwningThread and
// RecursionCount are written only by the owner while it holds the futex word, and read by
// other threads with atomic loads to test ownership.
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstring>

#include "win/handles.h"
#include "win/sync.h"

namespace {

constexpr LONG kFree = 0;
constexpr LONG kHeld = 1;
constexpr LONG kContended = 2;
constexpr DWORD kSpinMask = 0x00FFFFFFu;

// The calling thread's id: GetCurrentThreadId keeps it per thread, and a forked child's
// only thread gets its own.
DWORD CurrentThreadId() {
    return GetCurrentThreadId();
}

std::atomic_ref<LONG> Word(LPCRITICAL_SECTION cs) {
    return std::atomic_ref<LONG>(cs->LockCount);
}

DWORD Owner(LPCRITICAL_SECTION cs) {
    HANDLE owner = std::atomic_ref<HANDLE>(cs->OwningThread).load(std::memory_order_relaxed);
    return static_cast<DWORD>(reinterpret_cast<uintptr_t>(owner));
}

void SetOwner(LPCRITICAL_SECTION cs, DWORD tid) {
    std::atomic_ref<HANDLE>(cs->OwningThread)
        .store(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(tid)), std::memory_order_relaxed);
}

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

void FutexWait(LONG* word, LONG expected) {
    // Private futex: a critical section never crosses processes. EINTR and EAGAIN simply
    // send the caller round its loop again.
    ::syscall(SYS_futex, word, FUTEX_WAIT_PRIVATE, expected, nullptr, nullptr, 0);
}

void FutexWakeOne(LONG* word) {
    ::syscall(SYS_futex, word, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

bool TryAcquire(LPCRITICAL_SECTION cs) {
    LONG expected = kFree;
    return Word(cs).compare_exchange_strong(expected, kHeld, std::memory_order_acquire,
                                            std::memory_order_relaxed);
}

void Acquire(LPCRITICAL_SECTION cs) {
    for (ULONG_PTR spin = cs->SpinCount; spin > 0; --spin) {
        if (Word(cs).load(std::memory_order_relaxed) == kFree && TryAcquire(cs))
            return;
        CpuRelax();
    }
    LONG state = kFree;
    if (Word(cs).compare_exchange_strong(state, kHeld, std::memory_order_acquire))
        return;
    // Mark the word contended before sleeping, so the owner's Leave wakes us; whoever takes
    // it from here on keeps it marked, since other sleepers may remain.
    if (state != kContended)
        state = Word(cs).exchange(kContended, std::memory_order_acquire);
    while (state != kFree) {
        FutexWait(&cs->LockCount, kContended);
        state = Word(cs).exchange(kContended, std::memory_order_acquire);
    }
}

void Release(LPCRITICAL_SECTION cs) {
    if (Word(cs).exchange(kFree, std::memory_order_release) == kContended) {
        FutexWakeOne(&cs->LockCount);
    }
}

void Reset(LPCRITICAL_SECTION cs, DWORD spin) {
    std::memset(cs, 0, sizeof *cs);
    cs->SpinCount = spin & kSpinMask;
}

}  // namespace

extern "C" {

void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    if (lpCriticalSection)
        Reset(lpCriticalSection, 0);
}

BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection,
                                           DWORD dwSpinCount) {
    if (!lpCriticalSection) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Reset(lpCriticalSection, dwSpinCount);
    return TRUE;
}

BOOL InitializeCriticalSectionEx(LPCRITICAL_SECTION lpCriticalSection, DWORD dwSpinCount,
                                 DWORD Flags) {
    if (!lpCriticalSection || (Flags & ~RTL_CRITICAL_SECTION_ALL_FLAG_BITS) != 0 ||
        (dwSpinCount & RTL_CRITICAL_SECTION_ALL_FLAG_BITS) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Reset(lpCriticalSection, dwSpinCount);
    return TRUE;
}

void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    // Nothing is allocated for a section; clearing it makes a use after deletion behave as
    // a fresh section rather than inherit a stale owner.
    if (lpCriticalSection)
        std::memset(lpCriticalSection, 0, sizeof *lpCriticalSection);
}

void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    if (!lpCriticalSection)
        return;
    const DWORD self = CurrentThreadId();
    if (Owner(lpCriticalSection) == self) {
        ++lpCriticalSection->RecursionCount;
        return;
    }
    Acquire(lpCriticalSection);
    SetOwner(lpCriticalSection, self);
    lpCriticalSection->RecursionCount = 1;
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    if (!lpCriticalSection)
        return FALSE;
    const DWORD self = CurrentThreadId();
    if (Owner(lpCriticalSection) == self) {
        ++lpCriticalSection->RecursionCount;
        return TRUE;
    }
    if (!TryAcquire(lpCriticalSection))
        return FALSE;
    SetOwner(lpCriticalSection, self);
    lpCriticalSection->RecursionCount = 1;
    return TRUE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    if (!lpCriticalSection || Owner(lpCriticalSection) != CurrentThreadId())
        return;
    if (--lpCriticalSection->RecursionCount > 0)
        return;
    lpCriticalSection->RecursionCount = 0;
    SetOwner(lpCriticalSection, 0);
    Release(lpCriticalSection);
}

}  // extern "C"
