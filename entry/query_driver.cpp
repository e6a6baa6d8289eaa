#include "entry/query_driver.h"

#include <string>

#include "entry/query_factory.h"
#include "errors/error_description.h"
#include "log/agent_log.h"
#include "win/oleauto.h"
#include "xml/xml_document.h"

namespace {

constexpr const WCHAR* kEnteredSource = u"ZorKavrel::GetInventoryInformation()";
constexpr const WCHAR* kDriverSource = u"CZorKavrel::GetInventoryInformation";
constexpr const WCHAR* kSucceededSource = u"CZorKavrel::GetInventoryInformation()";
constexpr const WCHAR* kFailedSource = u"CZorKavrel::GetInventoryInformation() Failed";
constexpr HRESULT kGatheringFailed = static_cast<HRESULT>(0x80041000);

HRESULT ReportGatheringFailed() {
    CEReportEvent(LogTrace, kFailedSource, u"Inventory gathering failed");
    return kGatheringFailed;
}

// Steps from loading the document to the result; exceptions leave to the caller.
HRESULT Run(const WCHAR* queryDocument, BSTR* result) {
    IXMLDOMElementPtr root = GetRootElement(queryDocument);
    if (!root) {
        CEReportEvent(LogTrace, kDriverSource, u"Unable to open input xml");
        ExplainFailure(u"the query document has no root element");
        return E_FAIL;
    }
    // "scriptType" wins over "namespace"; their values do not matter here.
    std::u16string ignored;
    std::shared_ptr<CQuery> query;
    if (GetAttributeString(root, u"scriptType", ignored))
        query = MakeQuery(QueryKind::Script);
    else if (GetAttributeString(root, u"namespace", ignored))
        query = MakeQuery(QueryKind::Wmi);
    if (!query) {
        CEReportEvent(LogTrace, kDriverSource, u"Unknown query type");
        ExplainFailure(u"the query element has neither a scriptType nor a namespace attribute");
        return E_FAIL;
    }
    if (FAILED(query->Initialize(root))) {
        CEReportEvent(LogError, kDriverSource, u"Initialization of Query Data Failed");
        ExplainFailure(u"the query element could not be read");
        return E_FAIL;
    }
    std::u16string output;
    const HRESULT executed = query->Execute(output);
    if (FAILED(executed) || output.empty()) {
        ExplainFailure(FAILED(executed) ? u"the query failed: " +
                                              DescribeErrorCode(static_cast<uint32_t>(executed))
                                        : std::u16string(u"the query produced no rows"));
        query.reset();
        root = nullptr;
        return ReportGatheringFailed();
    }
    std::u16string document = u"<result>\n" + output + u"</result>";
    *result = SysAllocString(document.c_str());
    CEReportEvent(LogTrace, kSucceededSource, u"Kavrel inventory gathering succeeded");
    return S_OK;
}

}  // namespace

HRESULT RunQueryDocument(const WCHAR* queryDocument, BSTR* result) noexcept {
    CEReportEvent(LogTrace, kEnteredSource, u"Entered");
    try {
        try {
            return Run(queryDocument, result);
        } catch (const _com_error& error) {
            CEReportEventCom(LogTrace, kDriverSource, error, u"Execution of query Failed");
            std::u16string text;
            GetComErrorText(error, text);
            ExplainFailure(u"the query stopped on a COM error: " + text + u" [" +
                           DescribeErrorCode(static_cast<uint32_t>(error.Error())) + u"]");
        } catch (...) {
            CEReportEventF(LogTrace, kDriverSource, u"UnKnown error");
        }
        return ReportGatheringFailed();
    } catch (...) {
        // Only logging can throw here, and the log never does; still, nothing crosses.
        return kGatheringFailed;
    }
}
