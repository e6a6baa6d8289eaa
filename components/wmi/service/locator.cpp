#include "service/locator.h"

#include "kvwin/com_object.h"
#include "service/module_state.h"
#include "service/namespace_path.h"
#include "service/namespace_source.h"
#include "service/services.h"

namespace kvwmi {

namespace {

class Locator final : public kvwin::ComObject<IWbemLocator> {
  public:
    STDMETHODIMP ConnectServer(const BSTR network_resource, const BSTR user, const BSTR, const BSTR,
                               long, const BSTR, IWbemContext*, IWbemServices** services) override {
        if (!services)
            return WBEM_E_INVALID_PARAMETER;
        *services = nullptr;
        return Guard([&] {
            std::u16string ns;
            HRESULT hr = ParseNamespacePath(network_resource, ns);
            if (FAILED(hr))
                return hr;
            // Every connection is local; WMI refuses credentials on a local connection.
            if (user && user[0])
                return WBEM_E_LOCAL_CREDENTIALS;
            std::shared_ptr<const NamespaceSource> source;
            hr = OpenNamespace(ns, source);
            if (FAILED(hr))
                return hr;
            hr = source->ConnectResult();
            if (FAILED(hr))
                return hr;
            *services = CreateServices(std::move(source));
            return hr;
        });
    }

  private:
    ~Locator() override = default;
    ModuleRef module_ref_;
};

}  // namespace

HRESULT CreateLocator(IUnknown* outer, REFIID riid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    return Guard([&] {
        auto* locator = new Locator();
        HRESULT hr = locator->QueryInterface(riid, ppv);
        locator->Release();
        return hr;
    });
}

}  // namespace kvwmi
