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

// Constructed in priority order, destroyed in the reverse order. The objects are not used
// by name: their construction and destruction are the steps.
__attribute__((init_priority(101))) ProcessTempFolderStep g_processTempFolderStep;
__attribute__((init_priority(102))) SingletonLockStep g_singletonLockStep;
__attribute__((init_priority(103))) SingletonRegistryStep g_singletonRegistryStep;
__attribute__((init_priority(104))) WindowsVersionCheckStep g_windowsVersionCheckStep;

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
