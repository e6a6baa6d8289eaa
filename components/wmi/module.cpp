// The module's entry points: the declared locator class, its class object, and whether the
// module may be unloaded (no object, no server lock and no delivery thread left).
#include "kvwin/component_module.h"
#include "service/locator.h"
#include "service/module_state.h"

namespace {

constexpr kvwin::ComponentClass kClasses[] = {
    {CLSID_WbemLocator, u"", u"", u"Both", kvwmi::CreateLocator},
};

}  // namespace

KVWIN_COMPONENT_MODULE(kClasses)

extern "C" KVWIN_API HRESULT DllCanUnloadNow() {
    return kvwmi::CanUnloadNow();
}
