// The singleton lock: one re-entrant lock shared by every singleton of the library.
//
// It guards the creation of every singleton and the singleton registry, and is held
// through the whole destruction run at unload. It is a critical section in static storage
// that is usable from the moment the library is mapped: a zeroed section is a free lock in
// the platform layer, so a singleton may be used even by a load step that runs before the
// lock's own step initialises it.
#pragma once

namespace Utility {

// Load step: initialises the lock. Unload step: deletes it. Both run on the loading or
// unloading thread while no other thread uses the library.
void InitializeSingletonLock();
void DeleteSingletonLock();

// Re-entrant for the owning thread; any thread.
void EnterSingletonLock();
void LeaveSingletonLock();

// Holds the singleton lock for its lifetime.
class SingletonLockHolder {
  public:
    SingletonLockHolder() { EnterSingletonLock(); }
    ~SingletonLockHolder() { LeaveSingletonLock(); }
    SingletonLockHolder(const SingletonLockHolder&) = delete;
    SingletonLockHolder& operator=(const SingletonLockHolder&) = delete;
};

}  // namespace Utility
