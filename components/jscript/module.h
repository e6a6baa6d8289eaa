// What the component's objects share: the module's count of live objects (for
// DllCanUnloadNow). Thread safe.
#pragma once

#include <atomic>

namespace kvjs {

std::atomic<long>& LiveObjects();
std::atomic<long>& ServerLocks();

// A member of every object whose code lives in this module: counts it as live.
class ModuleRef {
  public:
    ModuleRef() { ++LiveObjects(); }
    ~ModuleRef() { --LiveObjects(); }
    ModuleRef(const ModuleRef&) = delete;
    ModuleRef& operator=(const ModuleRef&) = delete;
};

}  // namespace kvjs
