// KvDeclaredTestModule: a component module made the way every component is, for the
// registration tests.
#include "declared_module.h"

#include "kvwin/component_module.h"

namespace {

class Probe final : public kvwin::ComObject<IDeclaredProbe> {
  public:
    STDMETHODIMP Answer(LONG* value) override {
        if (!value)
            return E_POINTER;
        *value = 42;
        return S_OK;
    }

  private:
    ~Probe() override = default;
    kvwin::ModuleRef module_ref_;
};

HRESULT CreateProbe(IUnknown* outer, REFIID riid, void** ppv) {
    return kvwin::CreateComInstance<Probe>(outer, riid, ppv);
}

constexpr kvwin::ComponentClass kClasses[] = {
    {kClsidDeclaredProbe, u"KavrelTest.Probe.1", u"KavrelTest.Probe", u"Apartment", CreateProbe},
};

}  // namespace

KVWIN_COMPONENT_MODULE(kClasses)

extern "C" KVWIN_API HRESULT DllCanUnloadNow() {
    return kvwin::ModuleCanUnloadNow();
}
