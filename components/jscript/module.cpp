// The module's entry points: the declared JScript engine class, its class object, and whether
// the module may be unloaded.
#include "module.h"

#include "engine.h"

namespace {

constexpr kvwin::ComponentClass kClasses[] = {
    {CLSID_JScript, u"JScript", u"", u"Both", kvjs::CreateEngine},
};

}  // namespace

KVWIN_COMPONENT_MODULE(kClasses)

extern "C" KVWIN_API HRESULT DllCanUnloadNow() {
    return kvwin::ModuleCanUnloadNow();
}
