// The site a script query gives its script engine: the least an engine needs.
//
// The site offers no named items of its own (GetItemInfo answers TYPE_E_ELEMENTNOTFOUND for
// every name: "Scripter" is only the name the script's code is loaded under), no locale and
// no document version, and it accepts script errors without recording them: a failing script
// shows only as the failure of the engine call that ran it (and, for a listener, as a line
// on the debug channel: the error's source, text, code, line, column and line text). Every method
// answers S_OK except GetItemInfo. QueryInterface answers IUnknown and IActiveScriptSite.
//
// Thread safety: stateless apart from its atomic reference count; any thread may call it.
#pragma once

#include "kvwin/com_object.h"
#include "win/activscp.h"

class CActiveScriptSite final : public kvwin::ComObject<IActiveScriptSite> {
  public:
    CActiveScriptSite() = default;

    HRESULT STDMETHODCALLTYPE GetLCID(LCID* plcid) override;
    HRESULT STDMETHODCALLTYPE GetItemInfo(LPCOLESTR pstrName, DWORD dwReturnMask,
                                          IUnknown** ppiunkItem, ITypeInfo** ppti) override;
    HRESULT STDMETHODCALLTYPE GetDocVersionString(BSTR* pbstrVersion) override;
    HRESULT STDMETHODCALLTYPE OnScriptTerminate(const VARIANT* pvarResult,
                                                const EXCEPINFO* pexcepinfo) override;
    HRESULT STDMETHODCALLTYPE OnStateChange(SCRIPTSTATE ssScriptState) override;
    HRESULT STDMETHODCALLTYPE OnScriptError(IActiveScriptError* pscripterror) override;
    HRESULT STDMETHODCALLTYPE OnEnterScript() override;
    HRESULT STDMETHODCALLTYPE OnLeaveScript() override;

  private:
    ~CActiveScriptSite() override = default;
};
