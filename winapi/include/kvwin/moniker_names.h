// Display names that name objects ("winmgmts:\\.\root\cimv2"): where a component plugs in
// the objects that GetObject(name) in a script, and CoGetObject, hand out.
//
// A name is routed by its prefix, the text up to and including the first colon, compared
// without regard to ASCII case. A component registers a binder for its prefix; the binder
// receives the whole display name. A prefix nobody registered is read as a ProgID, the prefix
// without its colon, as Windows reads "winmgmts:" as the class "winmgmts": the class is
// created in process and asked for IDisplayNameBinder, which binds the name. That is how a
// component whose module is not loaded yet serves its prefix: a built-in registration names
// the class and the module. A name neither road knows gets MK_E_SYNTAX, as a name Windows
// cannot parse does. All functions are thread safe; a binder may be called
// from any thread and must be thread safe itself.
#pragma once

#include <string>

#include "win/com.h"

// What the class a prefix names as a ProgID answers: binds the whole display name.
struct IDisplayNameBinder : IUnknown {
    STDMETHOD(BindDisplayName)(LPCOLESTR display_name, REFIID riid, void** ppv) = 0;
};
KV_DECLARE_UUID(IDisplayNameBinder, "6C1F3B52-8E0A-4D7B-9C55-2A41E7D0B913");

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
// E_POINTER for a null name or ppv, MK_E_SYNTAX for a name whose prefix has neither a
// binder nor a class answering IDisplayNameBinder; otherwise what the binder answers. pBindOptions
// is accepted and not used.
KVWIN_API HRESULT CoGetObject(LPCWSTR pszName, BIND_OPTS* pBindOptions, REFIID riid, void** ppv);

}  // extern "C"
