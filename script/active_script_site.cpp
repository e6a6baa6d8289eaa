#include "script/active_script_site.h"

#include <string>

#include "errors/error_description.h"
#include "kvwin/utf.h"
#include "kvwin/wide_string.h"
#include "win/comdef.h"

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

// Accepted and not recorded: the call that ran the failing code returns a failure, and the
// query then delivers an empty result. The error's text and place go to the debug channel
// only, for whoever runs the query.
HRESULT CActiveScriptSite::OnScriptError(IActiveScriptError* pscripterror) {
    if (!pscripterror)
        return S_OK;
    try {
        EXCEPINFO exception{};
        WString reason = TEXT("script error");
        if (SUCCEEDED(pscripterror->GetExceptionInfo(&exception))) {
            if (exception.pfnDeferredFillIn)
                exception.pfnDeferredFillIn(&exception);
            const _bstr_t source(exception.bstrSource, false);
            const _bstr_t description(exception.bstrDescription, false);
            const _bstr_t help(exception.bstrHelpFile, false);
            if (source.length() > 0)
                reason = WString(static_cast<const WCHAR*>(source), source.length());
            if (description.length() > 0)
                reason += TEXT(": ") +
                          WString(static_cast<const WCHAR*>(description), description.length());
            const HRESULT code =
                exception.scode ? exception.scode : static_cast<HRESULT>(exception.wCode);
            if (code)
                reason += TEXT(" [") + DescribeErrorCode(static_cast<uint32_t>(code)) + TEXT("]");
        }
        DWORD context = 0;
        ULONG line = 0;
        LONG column = 0;
        if (SUCCEEDED(pscripterror->GetSourcePosition(&context, &line, &column))) {
            reason += TEXT(" on line ") + kvwin::FromUtf8(std::to_string(line + 1ULL)) +
                      TEXT(", column ") + kvwin::FromUtf8(std::to_string(column + 1LL));
        }
        BSTR lineText = nullptr;
        if (SUCCEEDED(pscripterror->GetSourceLineText(&lineText)) && lineText) {
            const _bstr_t text(lineText, false);
            if (text.length() > 0)
                reason += TEXT(": ") + WString(static_cast<const WCHAR*>(text), text.length());
        }
        ExplainFailure(reason);
    } catch (...) {
        // Out of memory: the reason is lost, the script's failure stands.
    }
    return S_OK;
}

HRESULT CActiveScriptSite::OnEnterScript() {
    return S_OK;
}

HRESULT CActiveScriptSite::OnLeaveScript() {
    return S_OK;
}
