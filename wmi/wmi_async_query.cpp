#include "wmi/wmi_async_query.h"

#include <new>
#include <string>

#include "errors/error_description.h"
#include "kvwin/utf.h"
#include "kvwin/wide_string.h"
#include "log/agent_log.h"
#include "win/comdef.h"
#include "win/kernel_objects.h"
#include "win/systime.h"
#include "wmi/property_rendering.h"
#include "wmi/proxy_blanket.h"
#include "wmi/wmi_async_query_sink.h"

_COM_SMARTPTR_TYPEDEF(IWbemLocator, __uuidof(IWbemLocator));
_COM_SMARTPTR_TYPEDEF(IWbemClassObject, __uuidof(IWbemClassObject));

namespace {

constexpr const WCHAR* kConnectSource = TEXT("CWMIAsyncQuery::ConnectServer");
constexpr const WCHAR* kOpenSource = TEXT("CWMIAsyncQuery::OpenQuery");

// The engine's pace: one rest while the queue is empty and the query runs, one after each
// object taken off the queue.
constexpr DWORD kPollIntervalMs = 10;

// What a refused connection means, and what ConnectServer answers for it.
struct ConnectFailure {
    HRESULT result;
    uint32_t severity;
    const WCHAR* message;
    int32_t code;
};

constexpr ConnectFailure kConnectFailures[] = {
    {static_cast<HRESULT>(WBEM_E_ACCESS_DENIED), LogError,
     TEXT("Error! The current or specified user name and password were not valid or authorized to ")
         TEXT("make the connection."),
     -10},
    {static_cast<HRESULT>(WBEM_E_FAILED), LogError, TEXT("Error! Unspecified errors."), -11},
    {static_cast<HRESULT>(WBEM_E_INVALID_NAMESPACE), LogTrace,
     TEXT("Error! The specified namespace does not exist on the server."), -12},
    {static_cast<HRESULT>(WBEM_E_INVALID_PARAMETER), LogError,
     TEXT("An invalid parameter was specified."), -13},
    {static_cast<HRESULT>(WBEM_E_OUT_OF_MEMORY), LogError,
     TEXT("Error! There was not enough memory to complete the operation."), -14},
    {static_cast<HRESULT>(WBEM_E_TRANSPORT_FAILURE), LogError,
     TEXT("Error! This indicates the failure of the remote procedure call (RPC) link between the ")
         TEXT("current process and Windows Management."),
     -15},
    {static_cast<HRESULT>(WBEM_E_LOCAL_CREDENTIALS), LogError,
     TEXT("Error! WMI is passing the user credential on local connection."), -16},
};
constexpr int32_t kUnknownConnectResult = -4;

int32_t ReportConnectFailure(HRESULT hr) {
    ExplainFailure(TEXT("the WMI namespace could not be opened: ") +
                   DescribeErrorCode(static_cast<uint32_t>(hr)));
    for (const ConnectFailure& failure : kConnectFailures) {
        if (failure.result == hr) {
            CEReportEventF(failure.severity, kConnectSource, failure.message);
            return failure.code;
        }
    }
    CEReportEventF(LogError, kConnectSource, TEXT("Error! Unknown result value %x"), hr);
    return kUnknownConnectResult;
}

// The names between "select " and " from" (or the end), split at every comma. Nothing is
// trimmed: "select a, b from x" gives "a" and " b". No "select " gives false.
bool SelectListNames(const WString& query, std::vector<WString>& names) {
    static constexpr WStringView kSelect = TEXT("select ");
    static constexpr WStringView kFrom = TEXT(" from");
    const size_t select = query.find(kSelect);
    if (select == WString::npos)
        return false;
    const size_t first = select + kSelect.size();
    const size_t from = query.find(kFrom, first);
    const WStringView list =
        WStringView(query).substr(first, from == WString::npos ? from : from - first);
    if (list.empty())
        return true;
    for (size_t begin = 0;;) {
        const size_t comma = list.find(TEXT(','), begin);
        names.emplace_back(list.substr(begin, comma == WStringView::npos ? comma : comma - begin));
        if (comma == WStringView::npos)
            return true;
        begin = comma + 1;
    }
}

void CloseEventHandle(void* handle) {
    if (handle && handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
}

}  // namespace

CWMIAsyncQuery::CWMIAsyncQuery()
    : state_(Complete), sinkGone_(CreateEventW(nullptr, TRUE, FALSE, nullptr), CloseEventHandle) {
    InitializeCriticalSection(&queueLock_);
}

CWMIAsyncQuery::~CWMIAsyncQuery() {
    Close();
    sinkGone_.reset();
    DeleteCriticalSection(&queueLock_);
    received_.clear();
    // Close has let go of the sink; one still held here was never handed to WMI.
    delete sink_;
    sink_ = nullptr;
    if (services_)
        services_->Release();
}

HRESULT CWMIAsyncQuery::Initialize() {
    Close();
    return S_OK;
}

int32_t CWMIAsyncQuery::ConnectServer(WString path) {
    try {
        IWbemLocator* created = nullptr;
        const HRESULT created_hr =
            CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_ALL, IID_IWbemLocator,
                             reinterpret_cast<void**>(&created));
        if (FAILED(created_hr) || !created) {
            CEReportEventF(LogTrace, TEXT("CWMIAsyncQuery::Initialize"),
                           TEXT("Error! Initializing WbemLocator."));
            return -6;
        }
        const IWbemLocatorPtr locator(created, false);  // released on every way out

        const _bstr_t resource(path.c_str());  // raises E_OUTOFMEMORY when it cannot be made
        if (services_) {
            services_->Release();
            services_ = nullptr;
        }
        const HRESULT hr = locator->ConnectServer(resource, nullptr, nullptr, nullptr, 0, nullptr,
                                                  nullptr, &services_);
        if (hr != WBEM_S_NO_ERROR)
            return ReportConnectFailure(hr);
        if (SetQueryProxyBlanket(services_) != S_OK) {
            CEReportEventF(LogTrace, kConnectSource, TEXT("Error! ProxyBlanket error!"));
            return -7;
        }
        return 0;
    } catch (const _com_error& error) {
        CEReportEventCom(LogTrace, kConnectSource, error, TEXT("Unknown Error"));
    } catch (...) {
        CEReportEventF(LogTrace, kConnectSource, TEXT("Unknown Error"));
    }
    return kUnknownConnectResult;
}

bool CWMIAsyncQuery::OpenQuery(const WString& query) {
    Close();
    if (!SelectListNames(query, propertyNames_) || propertyNames_.empty()) {
        ExplainFailure(TEXT("the query names no property to read: ") + query);
        return false;
    }
    // Made before anything changes, so that an allocation failure leaves the engine closed.
    const _bstr_t language(TEXT("WQL"));
    const _bstr_t text(query.c_str());

    sink_ = new (std::nothrow) CWMIAsyncQuerySink(this, sinkGone_.get());
    if (!sink_) {
        CEReportEventF(LogTrace, kOpenSource, TEXT("Error! Could not create callback class!"));
        return false;
    }
    sink_->AddRef();
    SetState(Running);
    const HRESULT hr =
        services_ ? services_->ExecQueryAsync(language, text, 0, nullptr, sink_) : E_POINTER;
    if (hr == WBEM_S_NO_ERROR)
        return true;
    CEReportEventF(LogTrace, kOpenSource, TEXT("Error! WMI Query failed"));
    ExplainFailure(TEXT("the WMI service refused the query: ") +
                   DescribeErrorCode(static_cast<uint32_t>(hr)) + TEXT(": ") + query);
    SetState(Failed);
    return false;
}

void CWMIAsyncQuery::Close() {
    if (State() == Running && services_)
        services_->CancelAsyncCall(sink_);
    propertyNames_.clear();
    if (CWMIAsyncQuerySink* sink = sink_) {
        sink_ = nullptr;
        sink->Release();
        // Returns once WMI has released the sink as well: after that it cannot call into
        // this engine any more.
        WaitForSingleObject(sinkGone_.get(), INFINITE);
    }
    SetState(Closed);

    EnterCriticalSection(&queueLock_);
    for (IWbemClassObject* object : received_)
        object->Release();
    received_.clear();
    LeaveCriticalSection(&queueLock_);
}

bool CWMIAsyncQuery::FetchRows(WMIRows& rows, uint32_t timeLimitMs) {
    if (State() == Failed)
        return false;
    const DWORD start = GetTickCount();
    for (;;) {
        // Unsigned difference: a wrap of the tick counter does not end the wait early.
        if (GetTickCount() - start >= timeLimitMs) {
            ExplainFailure(TEXT("the WMI query did not finish within ") +
                           kvwin::FromUtf8(std::to_string(timeLimitMs)) + TEXT(" ms"));
            return false;
        }
        EnterCriticalSection(&queueLock_);
        const bool running = State() == Running;
        IWbemClassObject* oldest = Dequeue();
        LeaveCriticalSection(&queueLock_);
        if (oldest) {
            const IWbemClassObjectPtr object(oldest, false);  // released before the rest
            AppendObjectRow(object, propertyNames_, rows);
        } else if (!running) {
            return true;
        }
        Sleep(kPollIntervalMs);
    }
}

void CWMIAsyncQuery::Enqueue(IWbemClassObject* object) {
    object->AddRef();
    EnterCriticalSection(&queueLock_);
    try {
        received_.push_back(object);
    } catch (...) {
        object->Release();  // no room to keep it: the object is lost to this query
    }
    LeaveCriticalSection(&queueLock_);
}

IWbemClassObject* CWMIAsyncQuery::Dequeue() {
    if (received_.empty())
        return nullptr;
    IWbemClassObject* oldest = received_.front();
    received_.pop_front();
    return oldest;
}
