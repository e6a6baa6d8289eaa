// Script objects seen from COM: IDispatch over an object of the script heap (the global
// object that GetScriptDispatch returns, and any function, array or object a script hands
// to a COM object).
//
// GetIDsOfNames finds names the object has (own or inherited), case-sensitively as the
// language is; each name gets one DISPID per heap. Invoke:
//   DISPATCH_METHOD              calls the member with the arguments (this = the object)
//   DISPATCH_PROPERTYGET         reads it (with METHOD too: calls it when it is a function)
//   DISPATCH_PROPERTYPUT(REF)    writes it
//   DISPID_VALUE + METHOD        calls the object itself when it is a function
//   DISPID_NEWENUM               an IEnumVARIANT over an array's elements
// A script error inside the call reaches the site's OnScriptError (SCRIPT_E_REPORTED) when
// the call came from outside any script, or returns DISP_E_EXCEPTION with the EXCEPINFO
// filled when a script called the COM object that called back.
//
// Thread safety: an apartment object. Call and release it on the engine's thread; after
// the engine is closed every call answers E_UNEXPECTED.
#pragma once

#include <memory>

#include "duktape.h"
#include "runtime.h"

namespace kvjs {

// A new dispatch object (one reference) for the object at idx.
IDispatch* CreateScriptDispatch(duk_context* ctx, duk_idx_t idx);

// When object is one of this heap's dispatch objects, pushes the script object itself (so
// a script object that went through COM comes back as itself) and returns true.
bool PushScriptObject(duk_context* ctx, IDispatch* object);

}  // namespace kvjs
