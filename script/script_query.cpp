#include "script/script_query.h"

#include "errors/error_description.h"
#include "kvwin/wide_string.h"
#include "log/agent_log.h"
#include "script/script_runner.h"
#include "win/comdef.h"
#include "win/text.h"
#include "xml/xml_document.h"

namespace {

constexpr const WCHAR* kInitializeSource = TEXT("CScriptQuery::Initialize");
constexpr const WCHAR* kExecuteSource = TEXT("CScriptQuery::Execute");
constexpr const WCHAR* kExecuteTypeSource = TEXT("CScriptQuery::Execute::Type");
constexpr DWORD kDefaultScriptTimeLimit = 10000;

HRESULT MissingValue(const WCHAR* message, const WCHAR* missing) {
    CEReportEvent(LogTrace, kInitializeSource, message);
    ExplainFailure(WString(TEXT("the script query has no ")) + missing);
    return E_FAIL;
}

// The function's value as text: a text as it is (a null one as empty), anything else as
// VariantChangeType makes it, raising when it cannot.
WString ResultText(const VARIANT& result) {
    if (V_VT(&result) == VT_BSTR)
        return V_BSTR(&result) ? WString(V_BSTR(&result), SysStringLen(V_BSTR(&result)))
                               : WString();
    _variant_t text;
    const HRESULT hr = VariantChangeType(&text, const_cast<VARIANT*>(&result), 0, VT_BSTR);
    if (FAILED(hr))
        _com_issue_error(hr);
    BSTR converted = V_BSTR(&text);
    return converted ? WString(converted, SysStringLen(converted)) : WString();
}

}  // namespace

DWORD ScriptTimeLimit(const WString& text) {
    const int milliseconds = _wtoi(text.c_str());
    return milliseconds == 0 ? kDefaultScriptTimeLimit : static_cast<DWORD>(milliseconds);
}

HRESULT CScriptQuery::Initialize(IXMLDOMElementPtr& query) {
    try {
        if (!GetAttributeString(query, TEXT("scriptType"), m_scriptType))
            return MissingValue(TEXT("Cannot read 'scripType' attribute"),
                                TEXT("scriptType attribute"));
        if (!GetAttributeString(query, TEXT("function"), m_functionName))
            return MissingValue(TEXT("Cannot read 'function' attribute"),
                                TEXT("function attribute"));
        if (!GetAttributeString(query, TEXT("timeout"), m_timeout))
            return MissingValue(TEXT("Cannot read 'timeout' attribute"), TEXT("timeout attribute"));
        if (!GetChildTextString(query, TEXT("scriptText"), m_scriptText))
            return MissingValue(TEXT("Cannot read 'scripText' value"), TEXT("scriptText element"));
        return 1;
    } catch (const _com_error& error) {
        // With an empty text the log records nothing; the status carries the failure.
        CEReportEventCom(LogTrace, kInitializeSource, error, TEXT(""));
        return FAILED(error.Error()) ? error.Error() : E_UNEXPECTED;
    } catch (...) {
        CEReportEventF(LogTrace, kInitializeSource, TEXT("UnKnown error"));
        return E_UNEXPECTED;
    }
}

HRESULT CScriptQuery::Execute(WString& output) {
    CEReportEvent(LogTrace, kExecuteTypeSource, m_scriptType.c_str());
    try {
        const DWORD timeLimit = ScriptTimeLimit(m_timeout);
        _variant_t result;
        // Whether the call succeeded shows in the value: a run that failed, was interrupted
        // or ran out of time leaves it empty.
        RunScript(m_scriptType.c_str(), m_scriptText.c_str(), m_functionName.c_str(), &result,
                  timeLimit);
        output = ResultText(result);
        return S_OK;
    } catch (...) {
        CEReportEventF(LogTrace, kExecuteSource, TEXT("UnKnown error"));
        return E_UNEXPECTED;
    }
}
