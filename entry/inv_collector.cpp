#include "entry/inv_collector.h"

#include <algorithm>
#include <string_view>

#include "kvwin/wide_string.h"
#include "log/agent_log.h"
#include "win/oleauto.h"
#include "win/text.h"

namespace {

constexpr const WCHAR* kDefaultDataClass = TEXT("Dummy Dataclass");
constexpr const WCHAR* kResourceSource = TEXT("InvCollector::AddDefaultResourceInfo");

template <class Ptr>
void RaiseIfFailed(HRESULT hr, const Ptr& object) {
    if (FAILED(hr))
        _com_issue_errorex(hr, object.GetInterfacePtr(), Ptr::GetIID());
}

// The interface of a smart pointer, E_POINTER raised when it is empty.
template <class Ptr>
typename Ptr::Interface* Use(const Ptr& object) {
    if (!object)
        _com_issue_error(E_POINTER);
    return object.GetInterfacePtr();
}

WStringView TrimSpace(WStringView text) {
    while (!text.empty() && iswspace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && iswspace(text.back()))
        text.remove_suffix(1);
    return text;
}

// Whether CleanColumnValue would give the value back unchanged.
bool IsCleanColumnValue(const WString& value) {
    for (WCHAR c : value) {
        if (c < 0x20)
            return false;
    }
    return TrimSpace(value).size() == value.size();
}

}  // namespace

WString CleanColumnValue(const WString& value) {
    WString kept;
    kept.reserve(value.size());
    for (WCHAR c : value) {
        if (c >= 0x20)
            kept += c;
    }
    const WStringView trimmed = TrimSpace(kept);
    if (trimmed.size() != kept.size()) {
        const size_t start = static_cast<size_t>(trimmed.data() - kept.data());
        kept.resize(start + trimmed.size());
        kept.erase(0, start);
    }
    return kept;
}

WString CutRows(WStringView eventXml) {
    size_t start = eventXml.find(TEXT("<row"));
    if (start == WStringView::npos)
        return TEXT("");
    size_t end = eventXml.find(TEXT("</resource>"), start);
    if (end == WStringView::npos)
        return TEXT("");
    return WString(TrimSpace(eventXml.substr(start, end - start)));
}

InvCollector::InvCollector(const WCHAR* dataClass, IZorHubEvent* event, const WCHAR* eventId) {
    event_ = event ? IZorHubEventPtr(event) : CreateHubEvent(eventId);
    AddDefaultResourceInfo();
    RaiseIfFailed(Use(event_)->SetEventOption(0), event_);
    AddDataBlock(dataClass && dataClass[0] ? dataClass : kDefaultDataClass);
}

InvCollector::~InvCollector() {
    columns_ = nullptr;
    resource_ = nullptr;
    event_ = nullptr;
    current_row_ = nullptr;
    data_block_ = nullptr;
}

IZorHubEventPtr InvCollector::CreateHubEvent(const WCHAR* eventId) {
    IUnknown* unknown = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_ZorHubEvent, nullptr, CLSCTX_ALL, __uuidof(IUnknown),
                                  reinterpret_cast<void**>(&unknown));
    if (SUCCEEDED(hr))
        hr = OleRun(unknown);
    IZorHubEvent* raw = nullptr;
    if (SUCCEEDED(hr))
        hr = unknown->QueryInterface(__uuidof(IZorHubEvent), reinterpret_cast<void**>(&raw));
    if (unknown)
        unknown->Release();
    if (FAILED(hr) && hr != E_NOINTERFACE)
        _com_issue_error(hr);
    IZorHubEventPtr event(raw, false);
    _bstr_t id(eventId);
    RaiseIfFailed(Use(event)->SetEventGuid(id), event);
    CEReportEvent(LogTrace, TEXT("InvCollector::CreateHubEvent"),
                  TEXT("HubEvent created successfully"));
    return event;
}

void InvCollector::AddDefaultResourceInfo() {
    CEReportEvent(LogTrace, kResourceSource, TEXT("In AddDefaultResourceInfo"));
    try {
        IDispatch* resource = nullptr;
        HRESULT hr = Use(event_)->GetDefaultResource(&resource);
        resource_ = IDispatchPtr(resource, false);
        RaiseIfFailed(hr, event_);
        if (!resource_) {
            CEReportEvent(LogTrace, kResourceSource,
                          TEXT("IZorHubEvent::GetDefaultResource returned NULL. Calling ")
                              TEXT("CreateDefaultResource"));
        }
    } catch (const _com_error& error) {
        CEReportEventCom(LogWarning, kResourceSource, error,
                         TEXT("IZorHubEvent::GetDefaultResource threw exception. Calling ")
                             TEXT("CreateDefaultResource"));
    }
}

void InvCollector::AddDataBlock(const WCHAR* dataClass) {
    CEReportEvent(LogTrace, TEXT("InvCollector::AddDataBlock"), TEXT("In"));
    _variant_t resource;
    VARIANT held;
    VariantInit(&held);
    held.vt = VT_DISPATCH;
    held.pdispVal = resource_.GetInterfacePtr();
    HRESULT hr = VariantCopy(&resource, &held);
    if (FAILED(hr))
        _com_issue_error(hr);
    _variant_t name(dataClass);
    IHubDataBlock* block = nullptr;
    hr = Use(event_)->AddDataBlock(name, resource, &block);
    data_block_ = IHubDataBlockPtr(block, false);
    columns_ = nullptr;
    column_set_.clear();
    RaiseIfFailed(hr, event_);
}

void InvCollector::AddRow() {
    _variant_t omitted;
    omitted.vt = VT_ERROR;
    omitted.scode = DISP_E_PARAMNOTFOUND;
    IHubDataRow* row = nullptr;
    HRESULT hr = Use(data_block_)->AddRow(omitted, &row);
    current_row_ = IHubDataRowPtr(row, false);
    RaiseIfFailed(hr, data_block_);
}

void InvCollector::SetColumnValue(uint32_t column, const WString& value) {
    // Every value of a column needs the option; setting it again changes nothing, so it is
    // set once per column of the block.
    if (column >= column_set_.size() || !column_set_[column]) {
        if (!columns_) {
            IHubColumnList* list = nullptr;
            HRESULT hr = Use(data_block_)->GetColumns(&list);
            columns_ = IHubColumnListPtr(list, false);
            RaiseIfFailed(hr, data_block_);
        }
        RaiseIfFailed(Use(columns_)->SetColumnOption(column, 1), columns_);
        // Columns are small numbers (mapsTo); a larger one is simply not remembered.
        constexpr uint32_t kRemembered = 4096;
        if (column < kRemembered) {
            // Grown a few columns ahead: columns mostly come in order, one after the other.
            if (column >= column_set_.size())
                column_set_.resize(std::min<size_t>(kRemembered, column + 64));
            column_set_[column] = true;
        }
    }

    _variant_t index;
    index.vt = VT_INT;
    index.intVal = static_cast<INT>(column);
    // Most values have nothing to remove; they are handed over without a cleaned copy.
    _variant_t text(IsCleanColumnValue(value) ? value.c_str() : CleanColumnValue(value).c_str());
    RaiseIfFailed(Use(current_row_)->SetValue(index, text), current_row_);
}

void InvCollector::GetRowsXml(WString& rows) {
    BSTR xml = nullptr;
    HRESULT hr = Use(event_)->GetXml(&xml);
    _bstr_t owned(xml, false);
    RaiseIfFailed(hr, event_);
    // Cut straight from the component's text, without a copy of the whole event.
    rows = CutRows(owned.length() ? WStringView(static_cast<const WCHAR*>(owned), owned.length())
                                  : WStringView());
}
