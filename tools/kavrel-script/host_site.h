// The site kavrel-script gives its engine.
//
// It has one named item, "WScript" (GetItemInfo hands out the WScript object; no type
// information), reports every script error the engine hands to OnScriptError on standard
// error as "FILE(LINE, COLUMN) error 800A000D: text" (the file the error's source context
// names, 1-based line and column) and marks the host context so the run ends with status 1.
// The locale is the user's default; there is no document version. MsgBox and InputBox get
// their default answers (IActiveScriptSiteDialogs): the default button's, the default text;
// the dialog's title and prompt go to standard error as a line "Title: prompt" (the prompt
// alone without a title), since nobody is there to press a button.
//
// Thread safety: called by the engine on the script thread; the reference count is atomic.
#pragma once

#include "host_context.h"
#include "kvwin/com_object.h"
#include "win/activscp.h"
#include "win/comdef.h"

// The name the WScript object is added under.
inline constexpr const WCHAR* kWScriptItemName = u"WScript";

class HostSite final : public kvwin::ComObject<IActiveScriptSite, IActiveScriptSiteDialogs> {
  public:
    HostSite(HostContext& context, IDispatch* wscript) : context_(context), wscript_(wscript) {}

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

    HRESULT STDMETHODCALLTYPE ShowMessage(LPCOLESTR text, LPCOLESTR caption, UINT style,
                                          INT* answer) override;
    HRESULT STDMETHODCALLTYPE AskText(LPCOLESTR prompt, LPCOLESTR caption, LPCOLESTR default_text,
                                      BSTR* answer) override;

  private:
    ~HostSite() override = default;
    void ShowPrompt(LPCOLESTR caption, LPCOLESTR text);

    HostContext& context_;
    IDispatchPtr wscript_;
};
