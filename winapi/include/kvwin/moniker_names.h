// Display names that name objects ("winmgmts:\\.\root\cimv2"): where a component plugs in
// the objects that GetObject(name) in a script, and CoGetObject, hand out.
//
// A name is routed by its prefix, the text up to and including the first colon, compared
// without regard to ASCII case. A component registers a binder for its prefix; the binder
// receives the whole display name. A name whose prefix nobody registered gets MK_E_SYNTAX,
// as a name Windows cannot parse does. All functions are thread safe; a binder may be called
// from any thread and must be thread safe itself.
#pragma once

#include <string>

#include "win/com.h"

namespace kvwin {

// Makes the object a display name stands for and returns its riid interface.
typedef HRESULT (*BindDisplayNameFunction)(LPCOLESTR display_name, REFIID riid, void** ppv);

// Adds or replaces the binder of a prefix ("winmgmts:"; it must end in a colon).
KVWIN_API void RegisterMonikerPrefix(const std::u16string& prefix, BindDisplayNameFunction bind);
// Removes it again; false when there was none.
KVWIN_API bool UnregisterMonikerPrefix(const std::u16string& prefix);

}  // namespace kvwin

extern "C" {

typedef struct tagBIND_OPTS {
    DWORD cbStruct;
    DWORD grfFlags;
    DWORD grfMode;
    DWORD dwTickCountDeadline;
} BIND_OPTS, *LPBIND_OPTS;

// The object a display name stands for, through the binder registered for its prefix.
// E_POINTER for a null name or ppv, MK_E_SYNTAX for a name without a registered prefix;
// otherwise what the binder answers. pBindOptions is accepted and not used.
KVWIN_API HRESULT CoGetObject(LPCWSTR pszName, BIND_OPTS* pBindOptions, REFIID riid, void** ppv);

}  // extern "C"
