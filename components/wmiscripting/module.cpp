// The module's entry points: the class objects of "winmgmts" (the binder of the prefix
// "winmgmts:"), SWbemLocator, SWbemDateTime and SWbemLastError.
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
    using Create = HRESULT (*)(IUnknown*, REFIID, void**);
    explicit Factory(Create create) : create_(create) {}
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        try {
            return create_(outer, riid, ppv);
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
    Create create_;
    ModuleRef module_ref_;
};

}  // namespace
}  // namespace kvwmiscript

extern "C" KVWIN_API HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    kvwmiscript::Factory::Create create = nullptr;
    if (rclsid == kvwmiscript::CLSID_WinmgmtsMoniker)
        create = kvwmiscript::CreateMonikerBinder;
    else if (rclsid == kvwmiscript::CLSID_SWbemLocator)
        create = kvwmiscript::CreateLocator;
    else if (rclsid == kvwmiscript::CLSID_SWbemDateTime)
        create = kvwmiscript::CreateDateTime;
    else if (rclsid == kvwmiscript::CLSID_SWbemLastError)
        create = kvwmiscript::CreateLastError;
    else
        return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) kvwmiscript::Factory(create);
    if (!factory)
        return E_OUTOFMEMORY;
    HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

extern "C" KVWIN_API HRESULT DllCanUnloadNow() {
    return kvwmiscript::LiveObjects() == 0 && kvwmiscript::ServerLocks() == 0 ? S_OK : S_FALSE;
}
