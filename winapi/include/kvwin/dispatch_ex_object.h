// IDispatchEx for objects whose members are found by name while they run (the script
// engines' objects): the part that does not depend on what the members are.
//
//   Invoke           InvokeEx without a caller's service provider
//   GetIDsOfNames    the first name as FindName finds it with NameFlags() and without
//                    fdexNameEnsure; further names (named arguments) are unknown
//   GetDispID        FindName with the caller's flags, after the pointer checks
//   GetNameSpaceParent  E_NOTIMPL: these objects have no parent scope to offer
// The implementer gives FindName, NameFlags and the rest of IDispatchEx (InvokeEx, the
// member walk and descriptions, deletion). An exception never leaves these methods.
//
// Thread safety: as the implementer's object; these methods keep no state of their own.
#pragma once

#include <string_view>

#include "kvwin/component_module.h"
#include "kvwin/dispatch_object.h"
#include "win/dispex.h"

namespace kvwin {

template <class... Extra>
class DispatchExObject : public UntypedDispatch<IDispatchEx, Extra...> {
  public:
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* excep, UINT*) override {
        return this->InvokeEx(id, lcid, flags, params, result, excep, nullptr);
    }

    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!names || !ids)
            return E_POINTER;
        return GuardComCall([&]() -> HRESULT {
            HRESULT hr = S_OK;
            for (UINT i = 0; i < count; ++i) {
                ids[i] = DISPID_UNKNOWN;
                HRESULT found =
                    i == 0 && names[0]
                        ? FindName(names[0], NameFlags() & ~DWORD(fdexNameEnsure), &ids[0])
                        : DISP_E_UNKNOWNNAME;
                if (FAILED(found)) {
                    ids[i] = DISPID_UNKNOWN;
                    hr = found;
                }
            }
            return hr;
        });
    }

    STDMETHODIMP GetDispID(BSTR name, DWORD grfdex, DISPID* id) override {
        if (!id)
            return E_POINTER;
        *id = DISPID_UNKNOWN;
        if (!name)
            return E_INVALIDARG;
        return GuardComCall([&]() -> HRESULT {
            HRESULT hr = FindName(std::u16string_view(name, SysStringLen(name)), grfdex, id);
            if (FAILED(hr))
                *id = DISPID_UNKNOWN;
            return hr;
        });
    }

    STDMETHODIMP GetNameSpaceParent(IUnknown** parent) override {
        if (!parent)
            return E_POINTER;
        *parent = nullptr;
        return E_NOTIMPL;
    }

  protected:
    // The DISPID of a name (S_OK), DISP_E_UNKNOWNNAME, or another failure (E_UNEXPECTED
    // after the engine closed). With fdexNameEnsure a missing name may be added. id is never
    // null. May throw; the callers turn exceptions into HRESULTs.
    virtual HRESULT FindName(std::u16string_view name, DWORD grfdex, DISPID* id) = 0;
    // How GetIDsOfNames matches names: fdexNameCaseSensitive or fdexNameCaseInsensitive.
    virtual DWORD NameFlags() const = 0;
};

}  // namespace kvwin
