// What every in-process server module of the project needs: a count of its live objects and
// server locks for DllCanUnloadNow, and a guard that keeps C++ exceptions inside a COM method.
//
// The counters are function-local statics of inline functions; with the project's hidden
// visibility every shared object that includes this header gets counters of its own. Thread
// safe.
#pragma once

#include <atomic>
#include <new>

#include "kvwin/com_object.h"
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

// Runs the body of a COM method; an exception becomes an HRESULT instead of crossing the
// interface: `out_of_memory` for an allocation failure, `otherwise` for anything else (a
// component whose interfaces speak another family of codes passes its own).
template <class F>
HRESULT GuardComCall(F&& body, HRESULT out_of_memory = E_OUTOFMEMORY,
                     HRESULT otherwise = E_UNEXPECTED) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return out_of_memory;
    } catch (...) {
        return otherwise;
    }
}

// The class object of one class of a module: makes instances with a creation function (an
// exception becomes E_OUTOFMEMORY or E_UNEXPECTED) and keeps the module loaded while it
// exists or a server lock is held.
class ModuleClassFactory final : public ComObject<IClassFactory> {
  public:
    explicit ModuleClassFactory(CreateInstanceFunction create) : create_(create) {}
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        return GuardComCall([&] { return create_(outer, riid, ppv); });
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        lock ? ++ModuleServerLocks() : --ModuleServerLocks();
        return S_OK;
    }

  private:
    ~ModuleClassFactory() override = default;
    CreateInstanceFunction create_;
    ModuleRef module_ref_;
};

// DllGetClassObject's answer for a class made by `create` (null: a class the module does
// not serve, CLASS_E_CLASSNOTAVAILABLE).
inline HRESULT GetModuleClassObject(CreateInstanceFunction create, REFIID riid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!create)
        return CLASS_E_CLASSNOTAVAILABLE;
    return GuardComCall([&] {
        auto* factory = new ModuleClassFactory(create);
        HRESULT hr = factory->QueryInterface(riid, ppv);
        factory->Release();
        return hr;
    });
}

}  // namespace kvwin
