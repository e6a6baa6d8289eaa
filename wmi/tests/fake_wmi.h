// Stand-ins for the WMI service, enough to drive CWMIAsyncQuery as WMI drives it:
//
//   FakeObject    an instance whose Get answers chosen values or chosen failures
//   FakeServices  a namespace whose ExecQueryAsync delivers a DeliveryPlan on a thread of
//                 its own: Indicate per batch, SetStatus once, then the sink's last Release
//   FakeLocator   answers ConnectServer with a chosen result and the services
//
// InstallLocator registers a locator as the class CLSID_WbemLocator of this process, the way
// a registered WMI would be activated. Everything here is for tests and benchmarks.
// Thread safety: FakeServices' counters and signals may be read from any thread; a plan is
// set before the query starts.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kvwin/com_object.h"
#include "kvwin/wide_string.h"
#include "win/comdef.h"
#include "win/wbemcli.h"

namespace wmitest {

// IWbemClassObject methods the engine never calls answer WBEM_E_NOT_SUPPORTED.
class FakeObject final : public kvwin::ComObject<IWbemClassObject> {
  public:
    FakeObject();

    // Get(name) answers S_OK and a copy of value.
    FakeObject& Set(const WString& name, const VARIANT& value);
    // Get(name) answers hr (which may be a success code other than S_OK) and no value.
    FakeObject& Fail(const WString& name, HRESULT hr);

    // Objects of this class alive in the process.
    static long Alive();
    // Called on every Get (set before the object is handed out).
    void OnGet(std::function<void()> hook) { onGet_ = std::move(hook); }

    STDMETHOD(Get)
    (LPCWSTR wszName, long lFlags, VARIANT* pVal, CIMTYPE* pType, long* plFlavor) override;

    STDMETHOD(GetQualifierSet)(IWbemQualifierSet**) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHOD(Put)(LPCWSTR, long, VARIANT*, CIMTYPE) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHOD(Delete)(LPCWSTR) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHOD(GetNames)(LPCWSTR, long, VARIANT*, SAFEARRAY**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHOD(BeginEnumeration)(long) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHOD(Next)(long, BSTR*, VARIANT*, CIMTYPE*, long*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHOD(EndEnumeration)() override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHOD(GetPropertyQualifierSet)(LPCWSTR, IWbemQualifierSet**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHOD(Clone)(IWbemClassObject**) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHOD(GetObjectText)(long, BSTR*) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHOD(SpawnDerivedClass)(long, IWbemClassObject**) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHOD(SpawnInstance)(long, IWbemClassObject**) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHOD(CompareTo)(long, IWbemClassObject*) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHOD(GetPropertyOrigin)(LPCWSTR, BSTR*) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHOD(InheritsFrom)(LPCWSTR) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHOD(GetMethod)(LPCWSTR, long, IWbemClassObject**, IWbemClassObject**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHOD(PutMethod)(LPCWSTR, long, IWbemClassObject*, IWbemClassObject*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHOD(DeleteMethod)(LPCWSTR) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHOD(BeginMethodEnumeration)(long) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHOD(NextMethod)(long, BSTR*, IWbemClassObject**, IWbemClassObject**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHOD(EndMethodEnumeration)() override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHOD(GetMethodQualifierSet)(LPCWSTR, IWbemQualifierSet**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHOD(GetMethodOrigin)(LPCWSTR, BSTR*) override { return WBEM_E_NOT_SUPPORTED; }

  private:
    ~FakeObject() override;

    struct Property {
        _variant_t value;
        HRESULT result = S_OK;
    };
    std::map<WString, Property> properties_;
    std::function<void()> onGet_;
};

// A new FakeObject; the caller owns the one reference.
FakeObject* NewObject();

// A VT_ARRAY | vt variant over the given elements (lower bound `lower`).
_variant_t IntegerArray(const std::vector<int32_t>& elements, LONG lower = 0);
_variant_t StringArray(const std::vector<WString>& elements);
_variant_t Null();

struct DeliveryPlan {
    HRESULT startResult = WBEM_S_NO_ERROR;  // ExecQueryAsync's answer; a failure keeps no sink
    std::vector<std::vector<FakeObject*>> batches;  // one Indicate each; null entries allowed
    HRESULT finalResult = WBEM_S_NO_ERROR;          // passed to SetStatus
    FakeObject* statusObject = nullptr;             // passed to SetStatus
    // Hold on after the batches until CancelAsyncCall, then SetStatus(WBEM_E_CALL_CANCELLED).
    bool waitForCancel = false;
    // Keep the sink after SetStatus until ReleaseSink() is called.
    bool holdSink = false;
    // Send the final status only once the consumer has read from every delivered object, so
    // that it arrives while the consumer is fetching.
    bool statusAfterRowsTaken = false;
};

class FakeServices final : public kvwin::ComObject<IWbemServices> {
  public:
    // The plan's objects get a reference of the services' own.
    explicit FakeServices(DeliveryPlan plan);

    // What ExecQueryAsync was given.
    WString Language() const;
    WString Query() const;
    long QueryFlags() const { return queryFlags_; }
    bool QueryHadContext() const { return queryContext_; }
    int QueryCalls() const { return queryCalls_; }
    int CancelCalls() const { return cancelCalls_; }
    bool CancelNamedTheSink() const { return cancelNamedSink_; }

    // Waits (up to timeoutMs) until the batches have been indicated / the sink let go.
    bool WaitDelivered(unsigned timeoutMs);
    bool WaitSinkReleased(unsigned timeoutMs);
    bool SinkReleased() const { return sinkReleased_; }
    // Lets a held sink go (DeliveryPlan::holdSink).
    void ReleaseSink();

    STDMETHOD(ExecQueryAsync)
    (const BSTR strQueryLanguage, const BSTR strQuery, long lFlags, IWbemContext* pCtx,
     IWbemObjectSink* pResponseHandler) override;
    STDMETHOD(CancelAsyncCall)(IWbemObjectSink* pSink) override;

    STDMETHOD(OpenNamespace)
    (const BSTR, long, IWbemContext*, IWbemServices**, IWbemCallResult**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHOD(QueryObjectSink)(long, IWbemObjectSink**) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHOD(GetObject)
    (const BSTR, long, IWbemContext*, IWbemClassObject**, IWbemCallResult**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHOD(GetObjectAsync)(const BSTR, long, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHOD(PutClass)(IWbemClassObject*, long, IWbemContext*, IWbemCallResult**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHOD(PutClassAsync)(IWbemClassObject*, long, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHOD(DeleteClass)(const BSTR, long, IWbemContext*, IWbemCallResult**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHOD(DeleteClassAsync)(const BSTR, long, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHOD(CreateClassEnum)(const BSTR, long, IWbemContext*, IEnumWbemClassObject**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHOD(CreateClassEnumAsync)(const BSTR, long, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHOD(PutInstance)(IWbemClassObject*, long, IWbemContext*, IWbemCallResult**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHOD(PutInstanceAsync)(IWbemClassObject*, long, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHOD(DeleteInstance)(const BSTR, long, IWbemContext*, IWbemCallResult**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHOD(DeleteInstanceAsync)(const BSTR, long, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHOD(CreateInstanceEnum)
    (const BSTR, long, IWbemContext*, IEnumWbemClassObject**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHOD(CreateInstanceEnumAsync)(const BSTR, long, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHOD(ExecQuery)
    (const BSTR, const BSTR, long, IWbemContext*, IEnumWbemClassObject**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHOD(ExecNotificationQuery)
    (const BSTR, const BSTR, long, IWbemContext*, IEnumWbemClassObject**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHOD(ExecNotificationQueryAsync)
    (const BSTR, const BSTR, long, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHOD(ExecMethod)
    (const BSTR, const BSTR, long, IWbemContext*, IWbemClassObject*, IWbemClassObject**,
     IWbemCallResult**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHOD(ExecMethodAsync)
    (const BSTR, const BSTR, long, IWbemContext*, IWbemClassObject*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }

  private:
    ~FakeServices() override;
    void Deliver(IWbemObjectSink* sink);
    bool WaitFor(const std::atomic<bool>& flag, unsigned timeoutMs);

    DeliveryPlan plan_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    WString language_, query_;
    std::atomic<long> queryFlags_{-1};
    std::atomic<bool> queryContext_{false};
    std::atomic<int> queryCalls_{0}, cancelCalls_{0};
    std::atomic<bool> cancelNamedSink_{false};
    std::atomic<bool> cancelled_{false}, releaseAllowed_{false};
    std::atomic<bool> delivered_{false}, sinkReleased_{false};
    std::atomic<size_t> objectsRead_{0};
    IWbemObjectSink* sink_ = nullptr;  // the sink being served, for CancelAsyncCall's check
    std::thread worker_;
};

struct ConnectCall {
    WString resource;
    bool user = false, password = false, locale = false, authority = false, context = false;
    long securityFlags = -1;
};

class FakeLocator final : public kvwin::ComObject<IWbemLocator> {
  public:
    // ConnectServer answers result, and hands out services (may be null) with S_OK.
    FakeLocator(HRESULT result, IWbemServices* services);

    static long Alive();
    ConnectCall LastCall() const;

    STDMETHOD(ConnectServer)
    (const BSTR strNetworkResource, const BSTR strUser, const BSTR strPassword,
     const BSTR strLocale, long lSecurityFlags, const BSTR strAuthority, IWbemContext* pCtx,
     IWbemServices** ppNamespace) override;

  private:
    ~FakeLocator() override;

    HRESULT result_;
    IWbemServices* services_;
    mutable std::mutex mutex_;
    ConnectCall last_;
};

// Makes CoCreateInstance(CLSID_WbemLocator) hand out `locator` (a reference is kept until
// RemoveLocator); a null locator makes the class unknown.
void InstallLocator(FakeLocator* locator);
void RemoveLocator();

}  // namespace wmitest
