// The RegExp object (New RegExp, CreateObject("VBScript.RegExp")) and what its Execute
// returns: a Matches collection of Match objects, each with its SubMatches.
//
// RegExp: Pattern, IgnoreCase, Global, Multiline; Test, Execute, Replace. The pattern is
// compiled at first use after a change of the pattern or its flags; pattern errors are
// run-time errors 5017-5021 of that call. A search watches the interrupt flag of the script
// that runs on the calling thread (see regexp_engine.h).
//
// Matches, Match and SubMatches are read-only snapshots: they share the searched text and
// the match positions, never the RegExp. Thread safety: apartment objects, used by one
// thread at a time.
#pragma once

#include "win/com.h"
#include "win/oleauto.h"

namespace kvvbs {

// The RegExp class: ProgID "VBScript.RegExp".
inline constexpr CLSID CLSID_VBScriptRegExp =
    kvwin::GuidFromLiteral("3F4DACA4-160D-11D2-A8E9-00104B365C9F");

// A new RegExp (one reference); null when out of memory.
IDispatch* CreateRegExpObject();
// The class factory's creation function.
HRESULT CreateRegExpInstance(IUnknown* outer, REFIID riid, void** ppv);

}  // namespace kvvbs
