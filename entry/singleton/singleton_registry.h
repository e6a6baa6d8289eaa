// The singleton registry: the destroy functions of the singletons created so far, by
// priority, and the destruction run that calls them at unload.
//
// Thread safety: every operation takes the singleton lock; the destruction run holds it
// from start to end, so no other thread can create or register a singleton meanwhile.
#pragma once

#include <cstdint>

#include "win/types.h"

namespace Utility {

using SingletonDestroyFunction = void (*)();

// Adds a destroy function under a priority. Entries with the same priority keep the order
// in which they were added. A null function is ignored. May throw std::bad_alloc.
void RegisterSingletonDestroy(uint32_t priority, SingletonDestroyFunction destroy);

// Load step: makes the registry (an empty map, unless a singleton used by an earlier load
// step already registered itself).
void CreateSingletonRegistry();

// Unload step, the destruction run: records the calling thread as the unloading thread,
// then, under the singleton lock, empties the registry into a local map and calls its
// destroy functions from the highest priority to the lowest, the last registered first
// within a priority; repeated while destroy functions created (and so registered) new
// singletons. Afterwards the registry is empty and its map is freed.
void RunSingletonDestruction();

// The thread running the destruction run, or 0 while the library is not unloading.
DWORD UnloadingThreadId();

}  // namespace Utility
