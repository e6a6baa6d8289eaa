#include "fake_wmi.h"

#include <chrono>
#include <utility>

#include "kvwin/com_runtime.h"
#include "kvwin/wide_string.h"

namespace wmitest {
namespace {

std::atomic<long> g_objectsAlive{0};
std::atomic<long> g_locatorsAlive{0};

std::mutex g_installedMutex;
FakeLocator* g_installed = nullptr;

HRESULT CreateInstalledLocator(IUnknown* outer, REFIID riid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    std::lock_guard<std::mutex> lock(g_installedMutex);
    if (!g_installed)
        return REGDB_E_CLASSNOTREG;
    return g_installed->QueryInterface(riid, ppv);
}

WString Text(const BSTR text) {
    return text ? WString(text, SysStringLen(text)) : WString();
}

_variant_t ArrayVariant(VARTYPE vt, SAFEARRAY* array) {
    VARIANT raw;
    VariantInit(&raw);
    raw.vt = VT_ARRAY | vt;
    raw.parray = array;
    return _variant_t(raw, false);  // takes the array over
}

}  // namespace

// ---- FakeObject ----------------------------------------------------------------------------

FakeObject::FakeObject() {
    ++g_objectsAlive;
}

FakeObject::~FakeObject() {
    --g_objectsAlive;
}

long FakeObject::Alive() {
    return g_objectsAlive;
}

FakeObject* NewObject() {
    return new FakeObject();
}

FakeObject& FakeObject::Set(const WString& name, const VARIANT& value) {
    properties_[name] = Property{_variant_t(value), S_OK};
    return *this;
}

FakeObject& FakeObject::Fail(const WString& name, HRESULT hr) {
    properties_[name] = Property{_variant_t(), hr};
    return *this;
}

HRESULT FakeObject::Get(LPCWSTR wszName, long lFlags, VARIANT* pVal, CIMTYPE* pType,
                        long* plFlavor) {
    if (!wszName || !pVal || lFlags != 0 || pType || plFlavor)
        return WBEM_E_INVALID_PARAMETER;
    if (onGet_)
        onGet_();
    const auto found = properties_.find(wszName);
    if (found == properties_.end())
        return WBEM_E_NOT_FOUND;
    if (found->second.result != S_OK)
        return found->second.result;
    return VariantCopy(pVal, &found->second.value);
}

_variant_t IntegerArray(const std::vector<int32_t>& elements, LONG lower) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_I4, lower, ULONG(elements.size()));
    for (size_t i = 0; i < elements.size(); ++i) {
        LONG index = lower + LONG(i);
        int32_t element = elements[i];
        SafeArrayPutElement(array, &index, &element);
    }
    return ArrayVariant(VT_I4, array);
}

_variant_t StringArray(const std::vector<WString>& elements) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, ULONG(elements.size()));
    for (size_t i = 0; i < elements.size(); ++i) {
        LONG index = LONG(i);
        BSTR element = SysAllocString(elements[i].c_str());
        SafeArrayPutElement(array, &index, element);
        SysFreeString(element);
    }
    return ArrayVariant(VT_BSTR, array);
}

_variant_t Null() {
    _variant_t value;
    value.vt = VT_NULL;
    return value;
}

// ---- FakeServices --------------------------------------------------------------------------

FakeServices::FakeServices(DeliveryPlan plan) : plan_(std::move(plan)) {
    for (auto& batch : plan_.batches) {
        for (FakeObject* object : batch) {
            if (object)
                object->AddRef();
        }
    }
    if (plan_.statusObject)
        plan_.statusObject->AddRef();
}

FakeServices::~FakeServices() {
    if (worker_.joinable())
        worker_.join();
    for (auto& batch : plan_.batches) {
        for (FakeObject* object : batch) {
            if (object)
                object->Release();
        }
    }
    if (plan_.statusObject)
        plan_.statusObject->Release();
}

WString FakeServices::Language() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return language_;
}

WString FakeServices::Query() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return query_;
}

HRESULT FakeServices::ExecQueryAsync(const BSTR strQueryLanguage, const BSTR strQuery, long lFlags,
                                     IWbemContext* pCtx, IWbemObjectSink* pResponseHandler) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        language_ = Text(strQueryLanguage);
        query_ = Text(strQuery);
    }
    queryFlags_ = lFlags;
    queryContext_ = pCtx != nullptr;
    ++queryCalls_;
    if (plan_.startResult != WBEM_S_NO_ERROR)
        return plan_.startResult;
    if (!pResponseHandler || worker_.joinable())
        return WBEM_E_INVALID_PARAMETER;
    pResponseHandler->AddRef();  // WMI's own reference, held until the status has gone out
    sink_ = pResponseHandler;
    worker_ = std::thread([this, pResponseHandler] { Deliver(pResponseHandler); });
    return WBEM_S_NO_ERROR;
}

HRESULT FakeServices::CancelAsyncCall(IWbemObjectSink* pSink) {
    ++cancelCalls_;
    cancelNamedSink_ = pSink && pSink == sink_;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cancelled_ = true;
    }
    changed_.notify_all();
    return WBEM_S_NO_ERROR;
}

void FakeServices::ReleaseSink() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        releaseAllowed_ = true;
    }
    changed_.notify_all();
}

void FakeServices::Deliver(IWbemObjectSink* sink) {
    size_t delivered = 0;
    for (const auto& batch : plan_.batches) {
        for (FakeObject* object : batch) {
            if (!object || !plan_.statusAfterRowsTaken)
                continue;
            ++delivered;
            object->OnGet([this, read = false]() mutable {
                if (std::exchange(read, true))
                    return;
                std::lock_guard<std::mutex> lock(mutex_);
                ++objectsRead_;
                changed_.notify_all();
            });
        }
    }
    for (const auto& batch : plan_.batches) {
        std::vector<IWbemClassObject*> objects(batch.begin(), batch.end());
        sink->Indicate(long(objects.size()), objects.data());
    }
    // As WMI does, the service keeps nothing it has delivered.
    for (auto& batch : plan_.batches) {
        for (FakeObject* object : batch) {
            if (object)
                object->Release();
        }
    }
    plan_.batches.clear();
    {
        std::unique_lock<std::mutex> lock(mutex_);
        delivered_ = true;
        changed_.notify_all();
        if (plan_.waitForCancel)
            changed_.wait(lock, [this] { return cancelled_.load(); });
        if (plan_.statusAfterRowsTaken)
            changed_.wait(lock, [this, delivered] { return objectsRead_ == delivered; });
    }
    sink->SetStatus(WBEM_STATUS_COMPLETE,
                    plan_.waitForCancel ? WBEM_E_CALL_CANCELLED : plan_.finalResult, nullptr,
                    plan_.statusObject);
    if (plan_.holdSink) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return releaseAllowed_.load(); });
    }
    // Marked before the call: whoever sees the engine go on after the last Release must
    // find the mark already set.
    sinkReleased_ = true;
    sink->Release();
    std::lock_guard<std::mutex> lock(mutex_);
    changed_.notify_all();
}

bool FakeServices::WaitFor(const std::atomic<bool>& flag, unsigned timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&flag] { return flag.load(); });
}

bool FakeServices::WaitDelivered(unsigned timeoutMs) {
    return WaitFor(delivered_, timeoutMs);
}

bool FakeServices::WaitSinkReleased(unsigned timeoutMs) {
    return WaitFor(sinkReleased_, timeoutMs);
}

// ---- FakeLocator ---------------------------------------------------------------------------

FakeLocator::FakeLocator(HRESULT result, IWbemServices* services)
    : result_(result), services_(services) {
    if (services_)
        services_->AddRef();
    ++g_locatorsAlive;
}

FakeLocator::~FakeLocator() {
    if (services_)
        services_->Release();
    --g_locatorsAlive;
}

long FakeLocator::Alive() {
    return g_locatorsAlive;
}

ConnectCall FakeLocator::LastCall() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return last_;
}

HRESULT FakeLocator::ConnectServer(const BSTR strNetworkResource, const BSTR strUser,
                                   const BSTR strPassword, const BSTR strLocale,
                                   long lSecurityFlags, const BSTR strAuthority, IWbemContext* pCtx,
                                   IWbemServices** ppNamespace) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        last_ = ConnectCall{Text(strNetworkResource),
                            strUser != nullptr,
                            strPassword != nullptr,
                            strLocale != nullptr,
                            strAuthority != nullptr,
                            pCtx != nullptr,
                            lSecurityFlags};
    }
    if (!ppNamespace)
        return WBEM_E_INVALID_PARAMETER;
    *ppNamespace = nullptr;
    if (result_ == WBEM_S_NO_ERROR) {
        *ppNamespace = services_;
        if (services_)
            services_->AddRef();
    }
    return result_;
}

void InstallLocator(FakeLocator* locator) {
    if (locator)
        locator->AddRef();
    FakeLocator* previous = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_installedMutex);
        previous = g_installed;
        g_installed = locator;
    }
    if (previous)
        previous->Release();
    kvwin::BuiltinClass entry;
    entry.clsid = CLSID_WbemLocator;
    entry.create = &CreateInstalledLocator;
    if (locator)
        kvwin::RegisterBuiltinClass(entry);
    else
        kvwin::UnregisterBuiltinClass(CLSID_WbemLocator);
}

void RemoveLocator() {
    InstallLocator(nullptr);
}

}  // namespace wmitest
