// The script seen from COM (GetScriptDispatch): IDispatchEx over the engine's globals.
//
// GetIDsOfNames and GetDispID find global variables, constants and procedures without regard
// to case (the DISPID is the global's slot + 1); GetDispID with fdexNameEnsure adds a global
// variable (Empty) that the script's later blocks see by name. GetNextDispID walks the
// globals in the order they were made, GetMemberName and GetMemberProperties describe one;
// globals are never deleted (DeleteMember* answer S_FALSE). Invoke and InvokeEx:
//   DISPATCH_METHOD / PROPERTYGET on a procedure   calls it with the arguments
//   DISPATCH_PROPERTYGET on a variable              its value (an array: an element)
//   DISPATCH_PROPERTYPUT(REF)                       assigns the variable
// A script error inside the call reaches the site's OnScriptError (SCRIPT_E_REPORTED) when
// the call came from outside any script, or gives DISP_E_EXCEPTION with the EXCEPINFO
// filled when a script called the COM object that called back.
//
// Thread safety: an apartment object. Call it on the engine's thread; after the engine is
// closed every call answers E_UNEXPECTED.
#pragma once

#include <memory>

#include "interpreter.h"
#include "win/dispex.h"

namespace kvvbs {

// A new dispatch object (one reference).
IDispatch* CreateScriptDispatch(std::shared_ptr<Runtime> rt);

}  // namespace kvvbs
