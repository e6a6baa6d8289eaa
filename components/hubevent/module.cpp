// The module's entry points: the declared event class, its class object, and whether the
// module may be unloaded.
#include "hubevent/hub_event.h"
#include "kvwin/component_module.h"
#include "objects.h"

namespace {

HRESULT CreateHubEventObject(IUnknown* outer, REFIID riid, void** ppv) {
    return kvwin::CreateComInstance<kvhub::HubEvent>(outer, riid, ppv);
}

constexpr kvwin::ComponentClass kClasses[] = {
    {CLSID_ZorHubEvent, u"ZorHub.Event.1", u"ZorHub.Event", u"Both", CreateHubEventObject},
};

}  // namespace

KVWIN_COMPONENT_MODULE(kClasses)

extern "C" KVWIN_API HRESULT DllCanUnloadNow() {
    return kvwin::ModuleCanUnloadNow();
}
