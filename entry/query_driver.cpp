#include "entry/query_driver.h"

#include <pthread.h>

#include <list>
#include <mutex>
#include <string>
#include <string_view>

#include "entry/query_factory.h"
#include "errors/error_description.h"
#include "kvwin/wide_string.h"
#include "log/agent_log.h"
#include "win/oleauto.h"
#include "wmi/query/wmi_query.h"
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

// The definitions of the WMI query documents run last, by the document's text. A host sends
// the same few documents again and again, and loading one (the DOM activated, the text
// parsed, every binding read through the DOM) is a large share of a small query; the
// definition depends on the text alone, so a text seen before gives it without the DOM.
// Only documents that loaded and were read without a failure are kept. Bounded: at most
// kMaxKept documents of at most kMaxKeptText characters, the least recently used one making
// room. Thread safety: one mutex, held only to look up or add; a forked child has the
// table as it was, its mutex free.
class KeptDefinitions {
  public:
    static KeptDefinitions& Instance() {
        static KeptDefinitions kept;
        return kept;
    }

    // `text` ends at its first null character; it is read only as far as it can match.
    std::shared_ptr<const WMIQueryInfo> Find(const WCHAR* text) {
        std::lock_guard lock(mutex_);
        for (auto entry = entries_.begin(); entry != entries_.end(); ++entry) {
            if (SameText(entry->text, text)) {
                entries_.splice(entries_.begin(), entries_, entry);
                return entries_.front().definition;
            }
        }
        return nullptr;
    }

    void Keep(WStringView text, std::shared_ptr<const WMIQueryInfo> definition) {
        if (text.size() > kMaxKeptText || !definition)
            return;
        Entry entry{WString(text), std::move(definition)};
        std::lock_guard lock(mutex_);
        for (const Entry& kept : entries_) {
            if (kept.text == text)
                return;
        }
        if (entries_.size() >= kMaxKept)
            entries_.pop_back();
        entries_.push_front(std::move(entry));
    }

  private:
    // One pass over both, with no separate measure of the document's length first. A kept
    // text holds no null character, so a shorter `text` differs at its end at the latest.
    static bool SameText(const WString& kept, const WCHAR* text) {
        const size_t size = kept.size();
        size_t i = 0;
        while (i < size && kept[i] == text[i])
            ++i;
        return i == size && text[i] == 0;
    }

    static constexpr size_t kMaxKept = 16;
    static constexpr size_t kMaxKeptText = 64 * 1024;

    struct Entry {
        WString text;
        std::shared_ptr<const WMIQueryInfo> definition;  // shared with the queries using it
    };

    KeptDefinitions() {
        // The C library drops a module's fork handlers when the module is unloaded.
        pthread_atfork([] { Instance().mutex_.lock(); }, [] { Instance().mutex_.unlock(); },
                       [] { Instance().mutex_.unlock(); });
    }

    std::mutex mutex_;
    std::list<Entry> entries_;  // the most recently used first
};

// A WMI query with the definition kept for this text, or null (none kept, or the WMI kind
// is made by a replaced maker, whose query reads its element itself).
std::shared_ptr<CQuery> QueryFromKeptDefinition(const WCHAR* text) {
    if (!MakesOwnQuery(QueryKind::Wmi))
        return nullptr;
    std::shared_ptr<const WMIQueryInfo> definition = KeptDefinitions::Instance().Find(text);
    if (!definition)
        return nullptr;
    auto query = std::make_shared<CWMIQuery>();
    query->UseDefinition(std::move(definition));
    return query;
}

// Loads the document, classifies it and has the query read its element: the query, or null
// with the failure reported.
std::shared_ptr<CQuery> LoadQuery(const WCHAR* queryDocument) {
    IXMLDOMElementPtr root = GetRootElement(queryDocument);
    if (!root) {
        CEReportEvent(LogTrace, kDriverSource, TEXT("Unable to open input xml"));
        ExplainFailure(TEXT("the query document has no root element"));
        return nullptr;
    }
    // "scriptType" wins over "namespace"; their values do not matter here.
    WString ignored;
    std::shared_ptr<CQuery> query;
    const bool script = GetAttributeString(root, TEXT("scriptType"), ignored);
    if (script)
        query = MakeQuery(QueryKind::Script);
    else if (GetAttributeString(root, TEXT("namespace"), ignored))
        query = MakeQuery(QueryKind::Wmi);
    if (!query) {
        CEReportEvent(LogTrace, kDriverSource, TEXT("Unknown query type"));
        ExplainFailure(
            TEXT("the query element has neither a scriptType nor a namespace attribute"));
        return nullptr;
    }
    if (FAILED(query->Initialize(root))) {
        CEReportEvent(LogError, kDriverSource, TEXT("Initialization of Query Data Failed"));
        ExplainFailure(TEXT("the query element could not be read"));
        return nullptr;
    }
    // The library's own WMI query: its definition is kept for the next run of this text.
    if (!script && MakesOwnQuery(QueryKind::Wmi)) {
        if (auto* wmi = dynamic_cast<CWMIQuery*>(query.get()))
            KeptDefinitions::Instance().Keep(queryDocument, wmi->SharedDefinition());
    }
    return query;
}

// Steps from loading the document to the result; exceptions leave to the caller.
HRESULT Run(const WCHAR* queryDocument, BSTR* result) {
    std::shared_ptr<CQuery> query = QueryFromKeptDefinition(queryDocument);
    if (!query)
        query = LoadQuery(queryDocument);
    if (!query)
        return E_FAIL;
    WString output;
    const HRESULT executed = query->Execute(output);
    if (FAILED(executed) || output.empty()) {
        ExplainFailure(FAILED(executed) ? TEXT("the query failed: ") +
                                              DescribeErrorCode(static_cast<uint32_t>(executed))
                                        : WString(TEXT("the query produced no rows")));
        query.reset();
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
