// Synchronisation: critical sections and interlocked operations.
//
// Organised by topic; named mutexes, events and waiting join this file in their own
// sections.
#pragma once

#include "win/errors.h"
#include "win/types.h"

typedef int64_t LONG64;

// ---------------------------------------------------------------------------------------
// Critical sections
//
// A critical section is a recursive lock owned by a thread: the owner may enter again, and
// must leave as often as it entered. It is not shared between processes.
//
// The structure keeps the Windows field names and size (40 bytes), but its fields hold our
// own futex-based lock, not the Windows encoding:
//   LockCount       the futex word: 0 free, 1 held, 2 held with waiters
//   RecursionCount  how many times the owner has entered
//   OwningThread    the owner's thread id (as GetCurrentThreadId gives it), 0 when free
//   SpinCount       how many times Enter tries before it sleeps in the kernel
// DebugInfo and LockSemaphore are unused and stay null. Read OwningThread and
// RecursionCount for diagnostics only; never write a field.
//
// A critical section must be initialised before use and not used after deletion. Enter,
// Leave and TryEnter are safe from any thread on an initialised section.
// ---------------------------------------------------------------------------------------

typedef struct _RTL_CRITICAL_SECTION {
    PVOID DebugInfo;
    LONG LockCount;
    LONG RecursionCount;
    HANDLE OwningThread;
    HANDLE LockSemaphore;
    ULONG_PTR SpinCount;
} RTL_CRITICAL_SECTION, *PRTL_CRITICAL_SECTION;
typedef RTL_CRITICAL_SECTION CRITICAL_SECTION;
typedef PRTL_CRITICAL_SECTION PCRITICAL_SECTION;
typedef PRTL_CRITICAL_SECTION LPCRITICAL_SECTION;

// Flags of InitializeCriticalSectionEx. They are accepted and change nothing here: there is
// no debug information to leave out, and the spin count is always honoured as given.
#define RTL_CRITICAL_SECTION_FLAG_NO_DEBUG_INFO 0x01000000u
#define RTL_CRITICAL_SECTION_FLAG_DYNAMIC_SPIN 0x02000000u
#define RTL_CRITICAL_SECTION_FLAG_STATIC_INIT 0x04000000u
#define RTL_CRITICAL_SECTION_FLAG_RESOURCE_TYPE 0x08000000u
#define RTL_CRITICAL_SECTION_FLAG_FORCE_DEBUG_INFO 0x10000000u
#define RTL_CRITICAL_SECTION_ALL_FLAG_BITS 0xFF000000u
#define CRITICAL_SECTION_NO_DEBUG_INFO RTL_CRITICAL_SECTION_FLAG_NO_DEBUG_INFO

extern "C" {

// Initialises a free section with the default spin count (0). Never fails.
KVWIN_API void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

// Initialises with a spin count (the high byte is ignored, as on Windows). Always TRUE,
// except for a null section (FALSE, ERROR_INVALID_PARAMETER).
KVWIN_API BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection,
                                                     DWORD dwSpinCount);

// Initialises with a spin count and flags. Flags outside RTL_CRITICAL_SECTION_ALL_FLAG_BITS,
// a spin count with bits in that flag byte, and a null section fail with
// ERROR_INVALID_PARAMETER and leave the section untouched.
KVWIN_API BOOL InitializeCriticalSectionEx(LPCRITICAL_SECTION lpCriticalSection, DWORD dwSpinCount,
                                           DWORD Flags);

// Releases what the section holds (nothing outlives it here) and marks it uninitialised.
// Deleting a section that a thread still owns is a caller error, as on Windows.
KVWIN_API void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

// Waits until the calling thread owns the section; an owner enters again at once. Waits
// forever, as on Windows with the default time-out for sections.
KVWIN_API void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

// Leaves once; the section is free when the owner has left as often as it entered.
// Windows leaves the call by a thread that does not own the section undefined; here it is
// ignored, so a stray Leave can never free a section another thread owns.
KVWIN_API void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

// Enters without waiting: TRUE when the caller now owns the section (including when it
// already did), FALSE when another thread owns it.
KVWIN_API BOOL TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

}  // extern "C"

// ---------------------------------------------------------------------------------------
// Interlocked operations and barriers
//
// Every operation is atomic on naturally aligned targets and is a full (sequentially
// consistent) barrier, as the Windows functions are. They return what Windows returns:
// Increment, Decrement and Add give the new value; Exchange, CompareExchange and
// ExchangeAdd give the old one.
// ---------------------------------------------------------------------------------------

inline LONG InterlockedIncrement(LONG volatile* Addend) {
    return __atomic_add_fetch(Addend, 1, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedDecrement(LONG volatile* Addend) {
    return __atomic_sub_fetch(Addend, 1, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedExchange(LONG volatile* Target, LONG Value) {
    return __atomic_exchange_n(Target, Value, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedExchangeAdd(LONG volatile* Addend, LONG Value) {
    return __atomic_fetch_add(Addend, Value, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedAdd(LONG volatile* Addend, LONG Value) {
    return __atomic_add_fetch(Addend, Value, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedCompareExchange(LONG volatile* Destination, LONG Exchange, LONG Comperand) {
    __atomic_compare_exchange_n(Destination, &Comperand, Exchange, false, __ATOMIC_SEQ_CST,
                                __ATOMIC_SEQ_CST);
    return Comperand;  // on failure the builtin stored the value it found
}

inline LONG64 InterlockedIncrement64(LONG64 volatile* Addend) {
    return __atomic_add_fetch(Addend, 1, __ATOMIC_SEQ_CST);
}
inline LONG64 InterlockedDecrement64(LONG64 volatile* Addend) {
    return __atomic_sub_fetch(Addend, 1, __ATOMIC_SEQ_CST);
}
inline LONG64 InterlockedExchange64(LONG64 volatile* Target, LONG64 Value) {
    return __atomic_exchange_n(Target, Value, __ATOMIC_SEQ_CST);
}
inline LONG64 InterlockedExchangeAdd64(LONG64 volatile* Addend, LONG64 Value) {
    return __atomic_fetch_add(Addend, Value, __ATOMIC_SEQ_CST);
}
inline LONG64 InterlockedAdd64(LONG64 volatile* Addend, LONG64 Value) {
    return __atomic_add_fetch(Addend, Value, __ATOMIC_SEQ_CST);
}
inline LONG64 InterlockedCompareExchange64(LONG64 volatile* Destination, LONG64 Exchange,
                                           LONG64 Comperand) {
    __atomic_compare_exchange_n(Destination, &Comperand, Exchange, false, __ATOMIC_SEQ_CST,
                                __ATOMIC_SEQ_CST);
    return Comperand;
}

inline PVOID InterlockedExchangePointer(PVOID volatile* Target, PVOID Value) {
    return __atomic_exchange_n(Target, Value, __ATOMIC_SEQ_CST);
}
inline PVOID InterlockedCompareExchangePointer(PVOID volatile* Destination, PVOID Exchange,
                                               PVOID Comperand) {
    __atomic_compare_exchange_n(Destination, &Comperand, Exchange, false, __ATOMIC_SEQ_CST,
                                __ATOMIC_SEQ_CST);
    return Comperand;
}

// A full memory barrier: no load or store moves across it, in the compiler or the CPU.
inline void MemoryBarrier(void) {
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
}
