#include "singleton/singleton_registry.h"

#include <atomic>
#include <map>

#include "singleton/singleton_lock.h"
#include "win/handles.h"

namespace Utility {

namespace {

using RegistryMap = std::multimap<uint32_t, SingletonDestroyFunction>;

// Guarded by the singleton lock. Created on first need rather than as an object with a
// constructor, so registration works whatever the order in which the load steps of the
// library and its singletons' first uses come.
constinit RegistryMap* g_registry = nullptr;

constinit std::atomic<DWORD> g_unloadingThread{0};

RegistryMap& Registry() {
    if (!g_registry)
        g_registry = new RegistryMap;
    return *g_registry;
}

}  // namespace

void RegisterSingletonDestroy(uint32_t priority, SingletonDestroyFunction destroy) {
    if (!destroy)
        return;
    SingletonLockHolder hold;
    // multimap::insert places an equal key after the existing ones: insertion order is kept.
    Registry().emplace(priority, destroy);
}

void CreateSingletonRegistry() {
    SingletonLockHolder hold;
    Registry();
}

void RunSingletonDestruction() {
    g_unloadingThread.store(GetCurrentThreadId());
    SingletonLockHolder hold;
    while (g_registry && !g_registry->empty()) {
        RegistryMap pass;
        pass.swap(*g_registry);
        // Reverse iteration: highest priority first and, among equal priorities, the entry
        // registered last first. A destroy function that creates a singleton registers it
        // in the (now empty) registry, to be destroyed by the next pass.
        for (auto entry = pass.rbegin(); entry != pass.rend(); ++entry)
            entry->second();
    }
    delete g_registry;
    g_registry = nullptr;
}

DWORD UnloadingThreadId() {
    return g_unloadingThread.load();
}

}  // namespace Utility
