#include "script/active_script_site.h"

// The engine falls back on the user's default locale when the site writes none.
HRESULT CActiveScriptSite::GetLCID(LCID* /*plcid*/) {
    return S_OK;
}

// The host adds "Scripter" only as the name the script's code lives under; there is no
// object behind it to hand out.
HRESULT CActiveScriptSite::GetItemInfo(LPCOLESTR /*pstrName*/, DWORD /*dwReturnMask*/,
                                       IUnknown** /*ppiunkItem*/, ITypeInfo** /*ppti*/) {
    return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT CActiveScriptSite::GetDocVersionString(BSTR* /*pbstrVersion*/) {
    return S_OK;
}

HRESULT CActiveScriptSite::OnScriptTerminate(const VARIANT* /*pvarResult*/,
                                             const EXCEPINFO* /*pexcepinfo*/) {
    return S_OK;
}

HRESULT CActiveScriptSite::OnStateChange(SCRIPTSTATE /*ssScriptState*/) {
    return S_OK;
}

// Accepted and forgotten: the call that ran the failing code returns a failure, and the
// query then delivers an empty result.
HRESULT CActiveScriptSite::OnScriptError(IActiveScriptError* /*pscripterror*/) {
    return S_OK;
}

HRESULT CActiveScriptSite::OnEnterScript() {
    return S_OK;
}

HRESULT CActiveScriptSite::OnLeaveScript() {
    return S_OK;
}
