// Internal parts of the COM runtime that other parts of the layer and components use.
//
// Built-in registrations: a component that lives inside a shared object the layer knows, or
// a class implemented by the layer itself, registers {clsid, progid, how to make it} so that
// activation works on a fresh state root with no registry entries. A registry entry for the
// same class always wins, so a test can put another server in place.
// All functions here are thread safe.
#pragma once

#include <string>
#include <vector>

#include "kvwin/com_object.h"
#include "win/com.h"

namespace kvwin {

struct BuiltinClass {
    CLSID clsid{};
    std::u16string prog_id;                      // may be empty; "Vendor.Thing.1" style
    std::u16string version_independent_prog_id;  // may be empty; "Vendor.Thing"
    // Exactly one of the two ways to make instances:
    CreateInstanceFunction create = nullptr;  // a class implemented in this process
    std::u16string module;                    // or a server module ("X.dll" / "libX.so" / a path)
};

// Adds or replaces the built-in registration of a class.
KVWIN_API void RegisterBuiltinClass(const BuiltinClass& entry);
// Removes it again; false when there was none.
KVWIN_API bool UnregisterBuiltinClass(const CLSID& clsid);

// The built-in registrations in force, in the order they are looked up (for tools, tests
// and diagnostics).
KVWIN_API std::vector<BuiltinClass> BuiltinClasses();

// The folder the layer's shared object was loaded from, where components are installed.
KVWIN_API std::string ComponentDirectory();

// Number of server modules currently loaded by activation (for tests and diagnostics).
KVWIN_API size_t LoadedServerModuleCount();

// True when the calling thread is inside an apartment.
KVWIN_API bool ThreadHasApartment();

}  // namespace kvwin
