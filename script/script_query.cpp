#include "script/script_query.h"

#include "errors/error_description.h"
#include "log/agent_log.h"
#include "script/script_runner.h"
#include "win/comdef.h"
#include "win/text.h"
#include "xml/xml_document.h"

namespace {

constexpr const WCHAR* kInitializeSource = u"CScriptQuery::Initialize";
constexpr const WCHAR* kExecuteSource = u"CScriptQuery::Execute";
constexpr const WCHAR* kExecuteTypeSource = u"CScriptQuery::Execute::Type";
constexpr DWORD kDefaultScriptTimeLimit = 10000;

HRESULT MissingValue(const WCHAR* message, const WCHAR* missing) {
    CEReportEvent(LogTrace, kInitializeSource, message);
    ExplainFailure(std::u16string(u"the script query has no ") + missing);
    return E_FAIL;
}

// The function's value as text: a text as it is (a null one as empty), anything else as
// VariantChangeType makes it, raising when it cannot.
std::u16string ResultText(const VARIANT& result) {
    if (V_VT(&result) == VT_BSTR)
        return V_BSTR(&result) ? std::u16string(V_BSTR(&result), SysStringLen(V_BSTR(&result)))
                               : std::u16string();
    _variant_t text;
    const HRESULT hr = VariantChangeType(&text, &result, 0, VT_BSTR);
    if (FAILED(hr))
        _com_issue_error(hr);
    BSTR converted = V_BSTR(&text);
    return converted ? std::u16string(converted, SysStringLen(converted)) : std::u16string();
}

}  // namespace

DWORD ScriptTimeLimit(const std::u16string& text) {
    const int milliseconds = _wtoi(text.c_str());
    return milliseconds == 0 ? kDefaultScriptTimeLimit : static_cast<DWORD>(milliseconds);
}

HRESULT CScriptQuery::Initialize(IXMLDOMElementPtr& query) {
    try {
        if (!GetAttributeString(query, u"scriptType", m_scriptType))
            return MissingValue(u"Cannot read 'scripType' attribute", u"scriptType attribute");
        if (!GetAttributeString(query, u"function", m_functionName))
            return MissingValue(u"Cannot read 'function' attribute", u"function attribute");
        if (!GetAttributeString(query, u"timeout", m_timeout))
            return MissingValue(u"Cannot read 'timeout' attribute", u"timeout attribute");
        if (!GetChildTextString(query, u"scriptText", m_scriptText))
            return MissingValue(u"Cannot read 'scripText' value", u"scriptText element");
        return 1;
    } catch (const _com_error& error) {
        // With an empty text the log records nothing; the status carries the failure.
        CEReportEventCom(LogTrace, kInitializeSource, error, u"");
        return FAILED(error.Error()) ? error.Error() : E_UNEXPECTED;
    } catch (...) {
        CEReportEventF(LogTrace, kInitializeSource, u"UnKnown error");
        return E_UNEXPECTED;
    }
}

HRESULT CScriptQuery::Execute(std::u16string& output) {
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
        CEReportEventF(LogTrace, kExecuteSource, u"UnKnown error");
        return E_UNEXPECTED;
    }
}
