// Utility::SingletonT<T, priority>: the one instance of T in the library, created on first
// use from any thread and destroyed at unload by descending priority.
//
//   EventLog& log = Utility::SingletonT<EventLog, 255>::Instance();
//
// Creation is double-checked: an atomic read of the state word, then construction under
// the singleton lock, so T's constructor runs exactly once however many threads ask at the
// same moment. The constructor runs with the lock held and may use other singletons (the
// lock is re-entrant). A constructor that throws leaves the singleton not created; the
// exception reaches the caller and the next access tries again.
//
// At unload the destruction run calls each created singleton's destroy function: higher
// priority numbers first, and within one priority the singleton created last first. Using a
// destroyed singleton, or creating one from another thread while the library unloads, ends
// the process with exit code 50 (singleton_misuse.h); nothing else is fatal. A constructor
// that, directly or through other singletons, asks for its own singleton cannot be given
// it: that request throws SingletonRecursion (the constructor may catch it, else the
// creation fails as any throwing constructor does). Code that can be reached from its own
// singleton's constructor asks CreatingOnThisThread() first and keeps its work for later,
// as the log does with records made while it is being built.
//
// A class with a private constructor befriends its SingletonT. T must be default
// constructible.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>

#include "singleton/singleton_lock.h"
#include "singleton/singleton_misuse.h"
#include "singleton/singleton_registry.h"
#include "win/handles.h"

namespace Utility {

// Thrown to a singleton's constructor that asked, directly or through others, for the
// singleton it is constructing.
class SingletonRecursion : public std::logic_error {
  public:
    SingletonRecursion() : std::logic_error("a singleton's constructor needs its own singleton") {}
};

// Bits of a singleton's state word: 0 not created, 1 created, 3 destroyed.
inline constexpr uint32_t kSingletonCreated = 1;
inline constexpr uint32_t kSingletonDestroyed = 2;

template <class T, uint32_t Priority = 255>
class SingletonT {
  public:
    // The instance, created on first use. Never null; does not return on misuse.
    static T& Instance() {
        const uint32_t state = s_state.load(std::memory_order_acquire);
        if (state & kSingletonDestroyed)
            TerminateOnDestroyedSingletonUse();
        if (state & kSingletonCreated)
            return *s_instance;
        return Create();
    }

    // The state word, for diagnostics and tests.
    static uint32_t State() { return s_state.load(std::memory_order_acquire); }

    // Whether the calling thread is inside T's constructor (so Instance() would recurse).
    static bool CreatingOnThisThread() {
        return s_creatingThread.load(std::memory_order_relaxed) == GetCurrentThreadId();
    }

    SingletonT() = delete;

  private:
    static T& Create() {
        CheckSingletonCreationThread();
        SingletonLockHolder hold;
        const uint32_t state = s_state.load(std::memory_order_acquire);
        if (state & kSingletonDestroyed)
            TerminateOnDestroyedSingletonUse();
        if (!(state & kSingletonCreated)) {
            CheckSingletonCreationThread();
            // Only the thread holding the lock can see itself here: its constructor asked
            // for its own singleton, which would otherwise recurse until the stack runs out.
            if (CreatingOnThisThread())
                throw SingletonRecursion();
            s_creatingThread.store(GetCurrentThreadId(), std::memory_order_relaxed);
            std::memset(s_storage, 0, sizeof s_storage);
            T* instance = nullptr;
            try {
                instance = ::new (static_cast<void*>(s_storage)) T();
            } catch (...) {
                s_creatingThread.store(0, std::memory_order_relaxed);
                throw;
            }
            s_creatingThread.store(0, std::memory_order_relaxed);
            try {
                RegisterSingletonDestroy(Priority, &Destroy);
            } catch (...) {
                instance->~T();  // not registered: it could never be destroyed
                throw;
            }
            s_instance = instance;
            s_state.store(kSingletonCreated, std::memory_order_release);
        }
        return *s_instance;
    }

    static void Destroy() {
        s_state.exchange(kSingletonCreated | kSingletonDestroyed, std::memory_order_acq_rel);
        s_instance->~T();
    }

    // s_instance is published to other threads by the release store of s_state.
    alignas(T) static inline unsigned char s_storage[sizeof(T)];
    static inline T* s_instance = nullptr;
    static inline std::atomic<uint32_t> s_state{0};
    // The thread running T's constructor, 0 when none; written under the singleton lock.
    static inline std::atomic<DWORD> s_creatingThread{0};
};

}  // namespace Utility
