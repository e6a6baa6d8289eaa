// IWbemServices for one connected namespace.
//
//   ExecQueryAsync, CreateInstanceEnumAsync
//                 check the query now and return its error (WBEM_E_INVALID_QUERY,
//                 WBEM_E_INVALID_CLASS, WBEM_E_INVALID_QUERY_TYPE) without touching the
//                 sink; otherwise return WBEM_S_NO_ERROR and deliver on a thread of the
//                 service (service/delivery_job.h). A null sink is WBEM_E_INVALID_PARAMETER.
//                 Flags and contexts are accepted and ignored (no progress statuses).
//                 A fixture class may answer any code at the start: a failure refuses the
//                 call, a success code other than 0 comes with a call that runs.
//   CancelAsyncCall
//                 cancels the calls delivering to that sink. Called from any thread but a
//                 delivery thread, it returns once the sink has had SetStatus (with
//                 WBEM_E_CALL_CANCELLED, unless the call had already finished) and been
//                 released, so no callback follows. Called from inside a sink callback it
//                 only marks the call: no Indicate starts after it, and SetStatus and the
//                 release follow when the callback returns. WBEM_E_INVALID_PARAMETER when no
//                 call of that sink is outstanding.
//   ExecQuery, CreateInstanceEnum, CreateClassEnum
//                 run to the end on the calling thread and answer an enumerator
//                 (service/enumerator.h); fixture delays do not apply.
//   GetObject     an object path (service/object_path.h): a class path gives the class
//                 object, an instance path the instance whose keys match (every key must
//                 be given). WBEM_E_INVALID_OBJECT_PATH for a malformed path or wrong keys,
//                 WBEM_E_NOT_FOUND for an unknown class or no such instance.
//   OpenNamespace a namespace below this one ("cimv2" from "root").
//   Everything else WBEM_E_NOT_SUPPORTED (nothing here can be written).
//
// Releasing the last reference cancels this namespace's outstanding calls
// (WBEM_E_CALL_CANCELLED) and waits for their threads, so no delivery outlives the
// services object that started it. (In WMI a call outlives the proxy; a caller that wants
// every object keeps the services object until SetStatus has come.)
//
// Thread safe: the object holds only the immutable namespace source; calls may come from
// any thread at once.
#pragma once

#include <memory>

#include "service/namespace_source.h"

namespace kvwmi {

// A new services object with one reference.
IWbemServices* CreateServices(std::shared_ptr<const NamespaceSource> source);

}  // namespace kvwmi
