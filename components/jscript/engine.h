// The JScript engine object: IActiveScript and IActiveScriptParse64 over one script heap.
//
// States: UNINITIALIZED until a site is set (or InitNew runs), then INITIALIZED; script text
// parsed before the engine is started waits, and runs, in order, when the host moves the
// engine to STARTED or CONNECTED; text parsed later runs at once. CLOSED after Close, which
// destroys the heap and lets go of the site; a closed engine answers E_UNEXPECTED.
//
// Thread safety: an apartment object, used by the thread that set its site; the exception
// is InterruptScriptThread, which any thread may call at any time (it only raises a signal
// that the interpreter reads), and AddRef/Release.
#pragma once

#include "win/activscp.h"

namespace kvjs {

HRESULT CreateEngine(IUnknown* outer, REFIID riid, void** ppv);

}  // namespace kvjs
