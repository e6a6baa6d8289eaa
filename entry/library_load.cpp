// The static objects that are the library's load and unload steps (see library_load.h).
#include "library_load.h"

#include <atomic>

#include "load/process_temp_folder_step.h"
#include "load/windows_version_check.h"
#include "singleton/singleton_lock.h"
#include "singleton/singleton_registry.h"

namespace Kavrel {

namespace {

constexpr size_t kTraceCapacity = 16;
constinit std::atomic<const char*> g_trace[kTraceCapacity] = {};
constinit std::atomic<size_t> g_traceCount{0};
constinit std::atomic<LoadStepObserver> g_observer{nullptr};

void Record(const char* step) {
    const size_t index = g_traceCount.fetch_add(1);
    if (index < kTraceCapacity)
        g_trace[index].store(step);
    if (LoadStepObserver observer = g_observer.load())
        observer(step);
}

struct ProcessTempFolderStep {
    ProcessTempFolderStep() {
        Record(kStepTempFolder);
        RunProcessTempFolderLoadStep();
    }
};

struct SingletonLockStep {
    SingletonLockStep() {
        Record(kStepSingletonLock);
        Utility::InitializeSingletonLock();
    }
    ~SingletonLockStep() {
        Utility::DeleteSingletonLock();
        Record(kStepSingletonLockDeleted);
    }
};

struct SingletonRegistryStep {
    SingletonRegistryStep() {
        Record(kStepSingletonRegistry);
        Utility::CreateSingletonRegistry();
    }
    ~SingletonRegistryStep() {
        Utility::RunSingletonDestruction();
        Record(kStepSingletonsDestroyed);
    }
};

struct WindowsVersionCheckStep {
    WindowsVersionCheckStep() {
        Record(kStepVersionCheck);
        // A failure is thrown out of the library's load on purpose: the library refuses to
        // load on an unsupported version.
        CheckWindowsVersion(ReadWindowsVersionForLoadCheck());
    }
};

// Constructed in this order, destroyed in the reverse order. The objects are not used by
// name: their construction and destruction are the steps. Within this file they are made in
// the order they are defined; what puts them before every other static object of the
// library is, with GCC and Clang (on Linux and on Windows), the lowest constructor
// priorities, and with Microsoft's compiler the library's initialisation segment.
#if defined(_MSC_VER)
#pragma init_seg(lib)
#define KAVREL_LOAD_STEP(priority)
#else
#define KAVREL_LOAD_STEP(priority) __attribute__((init_priority(priority)))
#endif
KAVREL_LOAD_STEP(101) ProcessTempFolderStep g_processTempFolderStep;
KAVREL_LOAD_STEP(102) SingletonLockStep g_singletonLockStep;
KAVREL_LOAD_STEP(103) SingletonRegistryStep g_singletonRegistryStep;
KAVREL_LOAD_STEP(104) WindowsVersionCheckStep g_windowsVersionCheckStep;
#undef KAVREL_LOAD_STEP

}  // namespace

size_t RecordedLoadSteps(const char** steps, size_t capacity) {
    const size_t count = g_traceCount.load();
    for (size_t i = 0; i < capacity && i < count && i < kTraceCapacity; ++i) {
        steps[i] = g_trace[i].load();
    }
    return count;
}

void SetLoadStepObserver(LoadStepObserver observer) {
    g_observer.store(observer);
}

}  // namespace Kavrel
