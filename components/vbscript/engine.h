// The VBScript engine object: IActiveScript and IActiveScriptParse64 over one Runtime.
//
// States: UNINITIALIZED until a site is set (or InitNew runs), then INITIALIZED; script text
// parsed before the engine is started is compiled at once (a compile error is reported
// then) and its global code runs, in order, when the host moves the engine to STARTED or
// CONNECTED; text parsed later runs at once. CLOSED after Close, which drops every value
// the script holds and lets go of the site; a closed engine answers E_UNEXPECTED.
//
// Thread safety: an apartment object, used by the thread that set its site; the exception
// is InterruptScriptThread, which any thread may call at any time (it only raises a signal
// that the interpreter reads at loop back-edges and calls), and AddRef/Release.
#pragma once

#include "win/activscp.h"

namespace kvvbs {

HRESULT CreateEngine(IUnknown* outer, REFIID riid, void** ppv);

}  // namespace kvvbs
