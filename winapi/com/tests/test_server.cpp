// KvComTestServer: an in-process server module with one class, for the activation tests.
#include <atomic>

#include "kvwin/com_object.h"
#include "test_server.h"

namespace {

// Objects (instances and class objects) alive, and LockServer locks; DllCanUnloadNow
// answers S_OK only when both are zero.
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};

class Counter final : public kvwin::ComObject<ITestCounter, ITestNamed, ISupportErrorInfo> {
  public:
    Counter() { ++g_objects; }

    STDMETHODIMP Increment(LONG* value) override {
        if (!value)
            return E_POINTER;
        *value = ++count_;
        return S_OK;
    }
    STDMETHODIMP Fail(LPCOLESTR description) override {
        ICreateErrorInfo* create = nullptr;
        if (FAILED(CreateErrorInfo(&create)))
            return E_OUTOFMEMORY;
        create->SetDescription(const_cast<LPOLESTR>(description));
        create->SetSource(const_cast<LPOLESTR>(u"KvTest.Counter"));
        create->SetGUID(__uuidof(ITestCounter));
        IErrorInfo* info = nullptr;
        if (SUCCEEDED(create->QueryInterface(&info))) {
            SetErrorInfo(0, info);
            info->Release();
        }
        create->Release();
        return kTestFailure;
    }
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override {
        return riid == __uuidof(ITestCounter) ? S_OK : S_FALSE;
    }

  private:
    ~Counter() override { --g_objects; }
    LONG count_ = 0;
};

class Factory final : public kvwin::ComObject<IClassFactory> {
  public:
    Factory() { ++g_objects; }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        return kvwin::CreateComInstance<Counter>(outer, riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        lock ? ++g_locks : --g_locks;
        return S_OK;
    }

  private:
    ~Factory() override { --g_objects; }
};

}  // namespace

extern "C" KVWIN_API HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (rclsid != kClsidTestCounter)
        return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new Factory();
    HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

extern "C" KVWIN_API HRESULT DllCanUnloadNow() {
    return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE;
}
