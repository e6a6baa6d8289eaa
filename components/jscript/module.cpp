// The module's entry points: the class object of the JScript engine, and whether the module
// may be unloaded.
#include "module.h"

#include "engine.h"
#include "kvwin/com_object.h"

namespace kvjs {

std::atomic<long>& LiveObjects() {
    static std::atomic<long> count{0};
    return count;
}

std::atomic<long>& ServerLocks() {
    static std::atomic<long> count{0};
    return count;
}

namespace {

// The class object; counted as live so the module stays while it is held.
class Factory final : public kvwin::ComObject<IClassFactory> {
  public:
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        try {
            return CreateEngine(outer, riid, ppv);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        lock ? ++ServerLocks() : --ServerLocks();
        return S_OK;
    }

  private:
    ~Factory() override = default;
    ModuleRef module_ref_;
};

}  // namespace
}  // namespace kvjs

extern "C" KVWIN_API HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (rclsid != CLSID_JScript)
        return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) kvjs::Factory();
    if (!factory)
        return E_OUTOFMEMORY;
    HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

extern "C" KVWIN_API HRESULT DllCanUnloadNow() {
    return kvjs::LiveObjects() == 0 && kvjs::ServerLocks() == 0 ? S_OK : S_FALSE;
}
