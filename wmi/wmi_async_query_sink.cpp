#include "wmi/wmi_async_query_sink.h"

#include "errors/error_description.h"
#include "kvwin/wide_string.h"
#include "win/kernel_objects.h"
#include "wmi/wmi_async_query.h"

namespace {

// One property of a status object, cleared when the holder goes.
class StatusValue {
  public:
    StatusValue(IWbemClassObject* status, const WCHAR* name) {
        VariantInit(&value_);
        BSTR text = SysAllocString(name);
        read_ = text && status->Get(text, 0, &value_, nullptr, nullptr) == WBEM_S_NO_ERROR;
        SysFreeString(text);
    }
    ~StatusValue() { VariantClear(&value_); }
    StatusValue(const StatusValue&) = delete;
    StatusValue& operator=(const StatusValue&) = delete;

    bool read() const { return read_; }
    const VARIANT& value() const { return value_; }

  private:
    VARIANT value_;
    bool read_ = false;
};

void ReadText(IWbemClassObject* status, const WCHAR* name, WString& text) {
    StatusValue property(status, name);
    if (!property.read() || property.value().vt == VT_NULL)
        return;
    VARIANT converted;
    VariantInit(&converted);
    if (SUCCEEDED(
            VariantChangeType(&converted, const_cast<VARIANT*>(&property.value()), 0, VT_BSTR))) {
        const BSTR value = converted.bstrVal;
        text.assign(value ? value : TEXT(""), value ? SysStringLen(value) : 0);
    }
    VariantClear(&converted);
}

// A code that cannot be converted to a 32-bit integer leaves the code as it was.
void ReadCode(IWbemClassObject* status, const WCHAR* name, int32_t& code) {
    StatusValue property(status, name);
    if (!property.read())
        return;
    const VARIANT& value = property.value();
    if (value.vt == VT_NULL) {
        code = 0;
    } else if (value.vt == VT_I4) {
        code = value.lVal;
    } else {
        VARIANT converted;
        VariantInit(&converted);
        if (SUCCEEDED(VariantChangeType(&converted, const_cast<VARIANT*>(&value), 0, VT_I4)))
            code = converted.lVal;
        VariantClear(&converted);
    }
}

}  // namespace

CWMIAsyncQuerySink::CWMIAsyncQuerySink(CWMIAsyncQuery* owner, HANDLE sinkGone)
    : owner_(owner), sinkGone_(sinkGone) {}

CWMIAsyncQuerySink::~CWMIAsyncQuerySink() = default;

HRESULT CWMIAsyncQuerySink::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IWbemObjectSink) {
        *ppv = static_cast<IWbemObjectSink*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CWMIAsyncQuerySink::AddRef() {
    return refs_.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG CWMIAsyncQuerySink::Release() {
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) {
        // The event first: from here on nobody holds the sink, and the engine may go on.
        // The destruction below touches nothing of the engine's.
        SetEvent(sinkGone_);
        delete this;
    }
    return left;
}

HRESULT CWMIAsyncQuerySink::Indicate(long lObjectCount, IWbemClassObject** apObjArray) {
    if (lObjectCount < 1 || !apObjArray)
        return WBEM_S_NO_ERROR;
    for (long i = 0; i < lObjectCount; ++i) {
        if (apObjArray[i])
            owner_->Enqueue(apObjArray[i]);
    }
    return WBEM_S_NO_ERROR;
}

HRESULT CWMIAsyncQuerySink::SetStatus(long, HRESULT hResult, BSTR, IWbemClassObject* pObjParam) {
    if (hResult == WBEM_S_NO_ERROR) {
        owner_->SetState(CWMIAsyncQuery::Complete);
        return WBEM_S_NO_ERROR;
    }
    owner_->SetState(CWMIAsyncQuery::Failed);
    try {
        if (pObjParam)
            ReadStatusObject(pObjParam);
        WString reason = TEXT("the WMI query ended in failure: ") +
                         DescribeErrorCode(static_cast<uint32_t>(hResult));
        if (!statusText_.empty())
            reason += TEXT(": ") + statusText_;
        ExplainFailure(reason);
    } catch (...) {
        // A text that could not be stored; the failure itself is already recorded.
    }
    return WBEM_S_NO_ERROR;
}

void CWMIAsyncQuerySink::ReadStatusObject(IWbemClassObject* status) {
    // In this order, so the object's own information outranks the general description.
    ReadText(status, TEXT("Description"), statusText_);
    ReadCode(status, TEXT("StatusCode"), statusCode_);
    ReadText(status, TEXT("ObjectInfo"), statusText_);
    ReadCode(status, TEXT("ErrorCode"), statusCode_);
}
