#include "host_site.h"

#include "kvwin/ascii_case.h"
#include "kvwin/com_error_text.h"
#include "kvwin/utf.h"
#include "value_text.h"

HRESULT HostSite::GetLCID(LCID* plcid) {
    if (!plcid)
        return E_POINTER;
    *plcid = LOCALE_USER_DEFAULT;
    return S_OK;
}

HRESULT HostSite::GetItemInfo(LPCOLESTR pstrName, DWORD dwReturnMask, IUnknown** ppiunkItem,
                              ITypeInfo** ppti) {
    if ((dwReturnMask & SCRIPTINFO_IUNKNOWN) && !ppiunkItem)
        return E_POINTER;
    if ((dwReturnMask & SCRIPTINFO_ITYPEINFO) && !ppti)
        return E_POINTER;
    if (ppiunkItem)
        *ppiunkItem = nullptr;
    if (ppti)
        *ppti = nullptr;
    if (!pstrName || !kvwin::EqualsAsciiNoCase(kvwin::WideView(pstrName), kWScriptItemName) ||
        !wscript_)
        return TYPE_E_ELEMENTNOTFOUND;
    if (!(dwReturnMask & SCRIPTINFO_IUNKNOWN))
        return TYPE_E_ELEMENTNOTFOUND;  // type information alone: there is none
    *ppiunkItem = wscript_.GetInterfacePtr();
    (*ppiunkItem)->AddRef();
    return S_OK;
}

HRESULT HostSite::GetDocVersionString(BSTR* pbstrVersion) {
    if (pbstrVersion)
        *pbstrVersion = nullptr;
    return E_NOTIMPL;
}

HRESULT HostSite::OnScriptTerminate(const VARIANT*, const EXCEPINFO*) {
    return S_OK;
}

HRESULT HostSite::OnStateChange(SCRIPTSTATE) {
    return S_OK;
}

HRESULT HostSite::OnScriptError(IActiveScriptError* pscripterror) {
    if (!pscripterror)
        return E_POINTER;
    try {
        ExceptionRecord exception;
        pscripterror->GetExceptionInfo(exception.get());
        EXCEPINFO& info = *exception.get();
        if (info.pfnDeferredFillIn) {
            info.pfnDeferredFillIn(&info);
            info.pfnDeferredFillIn = nullptr;
        }
        DWORD cookie = 0;
        ULONG line = 0;
        LONG column = 0;
        pscripterror->GetSourcePosition(&cookie, &line, &column);

        // A code given as wCode alone is one of the language's own error numbers.
        HRESULT hr = info.scode;
        if (hr == S_OK)
            hr = info.wCode ? static_cast<HRESULT>(0x800A0000u | info.wCode) : E_FAIL;
        std::u16string description;
        if (info.bstrDescription)
            description.assign(info.bstrDescription, SysStringLen(info.bstrDescription));
        if (description.empty())
            description = kvwin::HresultText(hr);

        const ScriptSource* source = context_.SourceOf(cookie);
        context_.err.WriteUtf8(FormatScriptError(source ? source->path : std::string("(script)"),
                                                 static_cast<unsigned long>(line) + 1,
                                                 column < 0 ? 1 : column + 1, hr, description));
    } catch (...) {
        // Out of memory while describing it: the error still ends the file.
    }
    context_.errorReported = true;
    return S_OK;
}

HRESULT HostSite::OnEnterScript() {
    return S_OK;
}

HRESULT HostSite::OnLeaveScript() {
    return S_OK;
}

void HostSite::ShowPrompt(LPCOLESTR caption, LPCOLESTR text) {
    std::u16string line;
    if (caption && *caption) {
        line = caption;
        line += u": ";
    }
    line += text ? text : u"";
    line += u'\n';
    context_.err.Write(line);
}

HRESULT HostSite::ShowMessage(LPCOLESTR text, LPCOLESTR caption, UINT, INT* answer) {
    if (!answer)
        return E_POINTER;
    try {
        ShowPrompt(caption, text);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return S_OK;  // *answer already holds the default button's answer
}

HRESULT HostSite::AskText(LPCOLESTR prompt, LPCOLESTR caption, LPCOLESTR default_text,
                          BSTR* answer) {
    if (!answer)
        return E_POINTER;
    *answer = nullptr;
    try {
        ShowPrompt(caption, prompt);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    *answer = SysAllocString(default_text ? default_text : u"");
    return *answer ? S_OK : E_OUTOFMEMORY;
}
