// Objects a thread can wait for.
//
// Every waitable object has a 32-bit wake word that changes (and is woken) whenever the
// object may have become signalled. A wait reads the words of its objects, tries to take
// each object, and when none can be taken sleeps until one of the words moves away from the
// value it read (futex_waitv), so no change is ever missed between the look and the sleep.
#pragma once

#include <atomic>
#include <cstdint>

#include "kvwin/handle_table.h"

namespace kvwin {

enum class TakeResult { NotSignalled, Taken, Abandoned };

class KVWIN_API Waitable : public KernelObject {
  public:
    // The word to sleep on, and whether it lives in memory shared between processes.
    virtual std::atomic<uint32_t>& WakeWord() = 0;
    virtual bool WakeWordShared() const = 0;
    // Takes the object when it is signalled: resets an auto-reset event, acquires a mutex.
    virtual TakeResult TryTake() = 0;
    // True when taking it now would succeed; does not take it.
    virtual bool IsSignalled() = 0;
    // Gives back what a successful TryTake took, for a wait for all objects that could not
    // take them all.
    virtual void Untake() {}
    // Called before a wait reads the wake word to sleep on it: an object that wakes sleepers
    // only when there are any (a mutex) notes that there is one.
    virtual void AnnounceSleeper() {}
    // Upper bound in milliseconds for one sleep, for objects whose signal cannot always wake
    // a sleeper (a mutex whose owner dies); 0 for none.
    virtual uint32_t MaxSleepMs() const { return 0; }
};

// Wakes every sleeper on a word after it changed.
KVWIN_API void WakeAll(std::atomic<uint32_t>& word, bool shared);

}  // namespace kvwin
