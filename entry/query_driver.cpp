#include "entry/query_driver.h"

#include <string>

#include "entry/query_factory.h"
#include "errors/error_description.h"
#include "kvwin/wide_string.h"
#include "log/agent_log.h"
#include "win/oleauto.h"
#include "xml/xml_document.h"

namespace {

constexpr const WCHAR* kEnteredSource = TEXT("ZorKavrel::GetInventoryInformation()");
constexpr const WCHAR* kDriverSource = TEXT("CZorKavrel::GetInventoryInformation");
constexpr const WCHAR* kSucceededSource = TEXT("CZorKavrel::GetInventoryInformation()");
constexpr const WCHAR* kFailedSource = TEXT("CZorKavrel::GetInventoryInformation() Failed");
constexpr HRESULT kGatheringFailed = static_cast<HRESULT>(0x80041000);

HRESULT ReportGatheringFailed() {
    CEReportEvent(LogTrace, kFailedSource, TEXT("Inventory gathering failed"));
    return kGatheringFailed;
}

// Steps from loading the document to the result; exceptions leave to the caller.
HRESULT Run(const WCHAR* queryDocument, BSTR* result) {
    IXMLDOMElementPtr root = GetRootElement(queryDocument);
    if (!root) {
        CEReportEvent(LogTrace, kDriverSource, TEXT("Unable to open input xml"));
        ExplainFailure(TEXT("the query document has no root element"));
        return E_FAIL;
    }
    // "scriptType" wins over "namespace"; their values do not matter here.
    WString ignored;
    std::shared_ptr<CQuery> query;
    if (GetAttributeString(root, TEXT("scriptType"), ignored))
        query = MakeQuery(QueryKind::Script);
    else if (GetAttributeString(root, TEXT("namespace"), ignored))
        query = MakeQuery(QueryKind::Wmi);
    if (!query) {
        CEReportEvent(LogTrace, kDriverSource, TEXT("Unknown query type"));
        ExplainFailure(
            TEXT("the query element has neither a scriptType nor a namespace attribute"));
        return E_FAIL;
    }
    if (FAILED(query->Initialize(root))) {
        CEReportEvent(LogError, kDriverSource, TEXT("Initialization of Query Data Failed"));
        ExplainFailure(TEXT("the query element could not be read"));
        return E_FAIL;
    }
    WString output;
    const HRESULT executed = query->Execute(output);
    if (FAILED(executed) || output.empty()) {
        ExplainFailure(FAILED(executed) ? TEXT("the query failed: ") +
                                              DescribeErrorCode(static_cast<uint32_t>(executed))
                                        : WString(TEXT("the query produced no rows")));
        query.reset();
        root = nullptr;
        return ReportGatheringFailed();
    }
    WString document = TEXT("<result>\n") + output + TEXT("</result>");
    *result = SysAllocString(document.c_str());
    CEReportEvent(LogTrace, kSucceededSource, TEXT("Kavrel inventory gathering succeeded"));
    return S_OK;
}

}  // namespace

HRESULT RunQueryDocument(const WCHAR* queryDocument, BSTR* result) noexcept {
    CEReportEvent(LogTrace, kEnteredSource, TEXT("Entered"));
    try {
        try {
            return Run(queryDocument, result);
        } catch (const _com_error& error) {
            CEReportEventCom(LogTrace, kDriverSource, error, TEXT("Execution of query Failed"));
            WString text;
            GetComErrorText(error, text);
            ExplainFailure(TEXT("the query stopped on a COM error: ") + text + TEXT(" [") +
                           DescribeErrorCode(static_cast<uint32_t>(error.Error())) + TEXT("]"));
        } catch (...) {
            CEReportEventF(LogTrace, kDriverSource, TEXT("UnKnown error"));
        }
        return ReportGatheringFailed();
    } catch (...) {
        // Only logging can throw here, and the log never does; still, nothing crosses.
        return kGatheringFailed;
    }
}
