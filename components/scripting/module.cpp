// The module's entry points: class objects for Scripting.Dictionary and WScript.Network.
#include "kvwin/com_object.h"
#include "scripting.h"

namespace kvscripting {

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
    explicit Factory(kvwin::CreateInstanceFunction create) : create_(create) {}
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
    kvwin::CreateInstanceFunction create_;
    ModuleRef module_ref_;
};

}  // namespace
}  // namespace kvscripting

extern "C" KVWIN_API HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    kvwin::CreateInstanceFunction create = nullptr;
    if (rclsid == kvscripting::CLSID_Dictionary)
        create = kvscripting::CreateDictionary;
    else if (rclsid == kvscripting::CLSID_WshNetwork)
        create = kvscripting::CreateNetwork;
    else
        return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) kvscripting::Factory(create);
    if (!factory)
        return E_OUTOFMEMORY;
    HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

extern "C" KVWIN_API HRESULT DllCanUnloadNow() {
    return kvscripting::LiveObjects() == 0 && kvscripting::ServerLocks() == 0 ? S_OK : S_FALSE;
}
