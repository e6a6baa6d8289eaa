// IWbemClassObject over one instance (or over a class, for GetObject of a class path, and
// over the __ExtendedStatus object of a failed call).
//
//   Get               a declared or system property; WBEM_E_NOT_FOUND for any other name
//                     (names are not trimmed: " Name" is not "Name"). Values are typed as
//                     service/cim_variant.h says; the CIMTYPE out-argument gives the declared
//                     type. An object made by a query with a select list is partial, as in
//                     WMI: unselected properties read as VT_NULL, except keys and the system
//                     properties. A fixture may make Get of a property fail with any HRESULT.
//   GetNames, BeginEnumeration/Next/EndEnumeration
//                     system properties first, then the class's in declaration order;
//                     WBEM_FLAG_KEYS_ONLY, WBEM_FLAG_REFS_ONLY, the origin flags
//                     (WBEM_FLAG_SYSTEM_ONLY, _NONSYSTEM_ONLY, _LOCAL_ONLY, _PROPAGATED_ONLY)
//                     and the "key" qualifier filter apply. A property whose Get is made to
//                     fail enumerates as VT_NULL.
//   Clone, GetObjectText (MOF text), GetPropertyOrigin, InheritsFrom (always WBEM_S_FALSE:
//                     no class has a superclass here).
//   Everything else   WBEM_E_NOT_SUPPORTED (objects are read-only, have no qualifiers and no
//                     methods).
//
// Thread safety: the object's data never changes after creation, so every method may be
// called from any thread; the one enumeration cursor is guarded by a lock (two threads
// enumerating the same object at once share it, as they would in WMI).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "service/namespace_source.h"

namespace kvwmi {

struct ObjectData {
    std::shared_ptr<const NamespaceSource> source;  // keeps `decl` alive; null for status objects
    const ClassDecl* decl = nullptr;
    bool is_class = false;  // a class definition rather than an instance
    Instance values;        // one per declared property (empty for a class)
    std::vector<InjectedFailure> failures;
    std::vector<bool> selected;  // per property; empty when every one is
    std::u16string server;       // __SERVER
};

// A new object with one reference.
IWbemClassObject* CreateClassObject(ObjectData data);

}  // namespace kvwmi
