// What every in-process server module of the project needs: the table that declares its
// classes, a count of its live objects and server locks for DllCanUnloadNow, a guard that
// keeps C++ exceptions inside a COM method, and the module's entry points made from the
// table (KVWIN_COMPONENT_MODULE).
//
// The counters are function-local statics of inline functions; with the project's hidden
// visibility every shared object that includes this header gets counters of its own. Thread
// safe; the declaration table is constant data.
#pragma once

#include <atomic>
#include <cstddef>
#include <new>
#include <string>

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
// A copy is another live object; assignment leaves the count alone.
class ModuleRef {
  public:
    ModuleRef() { ++ModuleLiveObjects(); }
    ~ModuleRef() { --ModuleLiveObjects(); }
    ModuleRef(const ModuleRef&) { ++ModuleLiveObjects(); }
    ModuleRef& operator=(const ModuleRef&) { return *this; }
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

// One class a module serves, declared once: what registration writes for it and how the
// module makes its instances. A module lists its classes in one constant table.
struct ComponentClass {
    CLSID clsid;
    const char16_t* prog_id;                      // u"" when none; "Vendor.Thing.1" style
    const char16_t* version_independent_prog_id;  // u"" when none; "Vendor.Thing"
    const char16_t* threading_model;              // "Apartment", "Both", "Free" or "Neutral"
    CreateInstanceFunction create;
};

// The class object of a declared class, for DllGetClassObject.
template <std::size_t N>
HRESULT GetDeclaredClassObject(const ComponentClass (&table)[N], REFCLSID clsid, REFIID riid,
                               void** ppv) {
    for (const ComponentClass& entry : table)
        if (entry.clsid == clsid)
            return GetModuleClassObject(entry.create, riid, ppv);
    return GetModuleClassObject(nullptr, riid, ppv);
}

// Writes (or, with `add` false, removes) the registrations of `count` declared classes served
// by the module at the native path `server`, in the machine hive under SOFTWARE\Classes:
// CLSID\{clsid} with InprocServer32 (the path, ThreadingModel), ProgID and
// VersionIndependentProgID, and the ProgID keys with CLSID (and CurVer under the
// version-independent one). Removal leaves a ProgID key that names another class. S_OK, or
// SELFREG_E_CLASS when the registry refused a change.
KVWIN_API HRESULT RegisterComponentClasses(const ComponentClass* table, std::size_t count,
                                           const std::string& server, bool add) noexcept;
// The same for the module that holds `table`, named by the path it was loaded from: what
// DllRegisterServer and DllUnregisterServer do.
KVWIN_API HRESULT RegisterDeclaringModule(const ComponentClass* table, std::size_t count,
                                          bool add) noexcept;

// The registration file of a module: one line per class, "{clsid}", ProgID,
// version-independent ProgID and threading model separated by tabs. The build writes one per
// module, named after the module's file plus ".classes", into the folder kClassFileFolder
// beside the layer; the layer's built-in registrations are read from there.
inline constexpr const char* kClassFileFolder = "kavrel-classes";
KVWIN_API std::string FormatClassFile(const ComponentClass* table, std::size_t count);

// The native path of the shared object that holds `address` ("" when unknown).
KVWIN_API std::string ModulePathOf(const void* address);

}  // namespace kvwin

// The signature of DllGetClassDeclarations: the module's class table and its length.
typedef HRESULT (*LPFNGETCLASSDECLARATIONS)(const kvwin::ComponentClass** table,
                                            std::size_t* count);

// Defines a module's entry points from its declaration table: DllGetClassObject,
// DllGetClassDeclarations, and DllRegisterServer / DllUnregisterServer (which register the
// module where it was loaded from). The module writes DllCanUnloadNow itself, usually as
// kvwin::ModuleCanUnloadNow(). Use once, at namespace scope, in the module's entry file.
#define KVWIN_COMPONENT_MODULE(table)                                                           \
    extern "C" KVWIN_API HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) { \
        return kvwin::GetDeclaredClassObject(table, rclsid, riid, ppv);                         \
    }                                                                                           \
    extern "C" KVWIN_API HRESULT DllGetClassDeclarations(const kvwin::ComponentClass** out,     \
                                                         std::size_t* count) {                  \
        if (!out || !count)                                                                     \
            return E_POINTER;                                                                   \
        *out = table;                                                                           \
        *count = sizeof(table) / sizeof(table[0]);                                              \
        return S_OK;                                                                            \
    }                                                                                           \
    extern "C" KVWIN_API HRESULT DllRegisterServer() {                                          \
        return kvwin::RegisterDeclaringModule(table, sizeof(table) / sizeof(table[0]), true);   \
    }                                                                                           \
    extern "C" KVWIN_API HRESULT DllUnregisterServer() {                                        \
        return kvwin::RegisterDeclaringModule(table, sizeof(table) / sizeof(table[0]), false);  \
    }
