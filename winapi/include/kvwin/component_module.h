// What every in-process server module of the project needs: a count of its live objects and
// server locks for DllCanUnloadNow, and a guard that keeps C++ exceptions inside a COM method.
//
// The counters are function-local statics of inline functions; with the project's hidden
// visibility every shared object that includes this header gets counters of its own. Thread
// safe.
#pragma once

#include <atomic>
#include <new>

#include "win/com.h"

namespace kvwin {

inline std::atomic<long>& ModuleLiveObjects() {
    static std::atomic<long> count{0};
    return count;
}

inline std::atomic<long>& ModuleServerLocks() {
    static std::atomic<long> count{0};
    return count;
}

// A member of every object of a module: counts the object as live while it exists.
class ModuleRef {
  public:
    ModuleRef() { ++ModuleLiveObjects(); }
    ~ModuleRef() { --ModuleLiveObjects(); }
    ModuleRef(const ModuleRef&) = delete;
    ModuleRef& operator=(const ModuleRef&) = delete;
};

// S_OK when nothing of the module is in use, for DllCanUnloadNow.
inline HRESULT ModuleCanUnloadNow() {
    return ModuleLiveObjects() == 0 && ModuleServerLocks() == 0 ? S_OK : S_FALSE;
}

// Runs the body of a COM method; an exception becomes E_OUTOFMEMORY or E_UNEXPECTED.
template <class F>
HRESULT GuardComCall(F&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace kvwin
