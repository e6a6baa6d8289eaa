// The module's entry points: class objects for the document classes, and whether the
// module may be unloaded.
#include <cstring>

#include "objects.h"

namespace kvxmldom {

HRESULT ReturnText(const std::u16string& text, BSTR* out) {
    *out = SysAllocStringLen(text.data(), UINT(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

namespace {

bool IsDocumentClass(REFCLSID clsid) {
    return clsid == CLSID_DOMDocument || clsid == CLSID_DOMDocument2x ||
           clsid == CLSID_DOMDocument30 || clsid == CLSID_DOMDocument60;
}

// The class object; counted as a live object so the module stays while it is held.
class Factory final : public kvwin::ComObject<IClassFactory> {
  public:
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        return Guard([&] { return CreateDocument(outer, riid, ppv); });
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        lock ? ++kvwin::ModuleServerLocks() : --kvwin::ModuleServerLocks();
        return S_OK;
    }

  private:
    ~Factory() override = default;
    ModuleRef module_ref_;
};

}  // namespace

}  // namespace kvxmldom

extern "C" KVWIN_API HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!kvxmldom::IsDocumentClass(rclsid))
        return CLASS_E_CLASSNOTAVAILABLE;
    return kvxmldom::Guard([&] {
        auto* factory = new kvxmldom::Factory();
        HRESULT hr = factory->QueryInterface(riid, ppv);
        factory->Release();
        return hr;
    });
}

extern "C" KVWIN_API HRESULT DllCanUnloadNow() {
    return kvwin::ModuleCanUnloadNow();
}
