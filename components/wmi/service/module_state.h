// What every object of the WMI service shares: the count of live objects and server locks
// that DllCanUnloadNow answers from, and the guard that keeps C++ exceptions inside the
// module. All of it is thread safe.
#pragma once

#include <atomic>
#include <new>
#include <utility>

#include "kvwin/component_module.h"
#include "win/wbemcli.h"

namespace kvwmi {

// A member of every COM object of the service: counts the object as live while it exists.
using kvwin::ModuleRef;

// Runs the body of a COM method; an exception becomes an HRESULT instead of crossing the
// interface (allocation failures WBEM_E_OUT_OF_MEMORY, anything else WBEM_E_FAILED).
template <class F>
HRESULT Guard(F&& body) noexcept {
    return kvwin::GuardComCall(std::forward<F>(body), WBEM_E_OUT_OF_MEMORY, WBEM_E_FAILED);
}

// S_OK when nothing of the service is alive: no object, no server lock, no call being
// delivered; the parked delivery threads are then ended and joined. The module's
// DllCanUnloadNow.
HRESULT CanUnloadNow();

}  // namespace kvwmi
