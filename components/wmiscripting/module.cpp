// The module's entry points: the class object of "winmgmts", the binder of the prefix
// "winmgmts:".
#include <new>

#include "kvwin/com_object.h"
#include "wmiscripting.h"

namespace kvwmiscript {

std::atomic<long>& LiveObjects() {
    static std::atomic<long> count{0};
    return count;
}

namespace {

std::atomic<long>& ServerLocks() {
    static std::atomic<long> count{0};
    return count;
}

// A class factory that keeps the module loaded while it exists.
class Factory final : public kvwin::ComObject<IClassFactory> {
  public:
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        try {
            return CreateMonikerBinder(outer, riid, ppv);
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
}  // namespace kvwmiscript

extern "C" KVWIN_API HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (rclsid != kvwmiscript::CLSID_WinmgmtsMoniker)
        return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) kvwmiscript::Factory();
    if (!factory)
        return E_OUTOFMEMORY;
    HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

extern "C" KVWIN_API HRESULT DllCanUnloadNow() {
    return kvwmiscript::LiveObjects() == 0 && kvwmiscript::ServerLocks() == 0 ? S_OK : S_FALSE;
}
