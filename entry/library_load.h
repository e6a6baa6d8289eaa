// The library's load and unload steps.
//
// The library has no start-up or shut-down call. Its process-wide state is set up by four
// static objects, constructed in this order when the library is loaded:
//   1. the process temp folder step (load/process_temp_folder_step.h)
//   2. the singleton lock            -- unload: the lock is deleted
//   3. the singleton registry        -- unload: the destruction run destroys the singletons
//   4. the Windows version check     (load/windows_version_check.h)
// and destroyed in the reverse order when it is unloaded (dlclose, or process exit): the
// destruction run first, then the lock.
//
// They carry the lowest constructor priorities in the library (init_priority 101 to 104;
// with Microsoft's compiler, the library initialisation segment, init_seg(lib)), so they
// are constructed before, and destroyed after, every other static object of the library,
// including function-local statics first used after load. Nothing else in the library may
// use an init_priority below 105.
//
// Each step reports itself to a trace, which tests read.
#pragma once

#include <cstddef>

namespace Kavrel {

// The steps' names in the trace.
inline constexpr const char kStepTempFolder[] = "load:temp-folder";
inline constexpr const char kStepSingletonLock[] = "load:singleton-lock";
inline constexpr const char kStepSingletonRegistry[] = "load:singleton-registry";
inline constexpr const char kStepVersionCheck[] = "load:version-check";
inline constexpr const char kStepSingletonsDestroyed[] = "unload:singletons-destroyed";
inline constexpr const char kStepSingletonLockDeleted[] = "unload:singleton-lock-deleted";

// Copies up to `capacity` recorded step names, in order, and returns how many steps were
// recorded in all. Any thread.
size_t RecordedLoadSteps(const char** steps, size_t capacity);

// Called with each step's name as it runs (in addition to the trace), so that code outside
// the library can watch the unload steps of a library it has loaded. Null to stop. Any
// thread; a test hook, unused by the library itself.
using LoadStepObserver = void (*)(const char* step);
void SetLoadStepObserver(LoadStepObserver observer);

}  // namespace Kavrel
