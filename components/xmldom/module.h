// What every object of the component shares: the module's count of live objects (for
// DllCanUnloadNow) and the guard that keeps exceptions inside the module. Thread safe.
#pragma once

#include <atomic>
#include <new>

#include "win/com.h"

namespace kvxmldom {

std::atomic<long>& LiveObjects();
std::atomic<long>& ServerLocks();

// A member of every object: counts the object as live while it exists.
class ModuleRef {
  public:
    ModuleRef() { ++LiveObjects(); }
    ~ModuleRef() { --LiveObjects(); }
    ModuleRef(const ModuleRef&) = delete;
    ModuleRef& operator=(const ModuleRef&) = delete;
};

// Runs the body of a COM method; an exception becomes E_OUTOFMEMORY or E_UNEXPECTED.
template <class F>
HRESULT Guard(F&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// A new BSTR with the text; E_OUTOFMEMORY when it cannot be allocated.
HRESULT ReturnText(const std::u16string& text, BSTR* out);

}  // namespace kvxmldom
