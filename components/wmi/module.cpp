// The module's entry points: the class object of the locator, and whether the module may be
// unloaded (no object, no server lock and no delivery thread left).
#include "kvwin/com_object.h"
#include "service/locator.h"
#include "service/module_state.h"

namespace {

// The class object; counted as a live object so the module stays while it is held.
class Factory final : public kvwin::ComObject<IClassFactory> {
  public:
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        return kvwmi::CreateLocator(outer, riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        lock ? ++kvwmi::ServerLocks() : --kvwmi::ServerLocks();
        return S_OK;
    }

  private:
    ~Factory() override = default;
    kvwmi::ModuleRef module_ref_;
};

}  // namespace

extern "C" KVWIN_API HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!(rclsid == CLSID_WbemLocator))
        return CLASS_E_CLASSNOTAVAILABLE;
    return kvwmi::Guard([&] {
        auto* factory = new Factory();
        HRESULT hr = factory->QueryInterface(riid, ppv);
        factory->Release();
        return hr;
    });
}

extern "C" KVWIN_API HRESULT DllCanUnloadNow() {
    return kvwmi::CanUnloadNow();
}
