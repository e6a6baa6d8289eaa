// The module's entry points: the class object of the event class, and whether the module may
// be unloaded.
#include "hubevent/hub_event.h"
#include "kvwin/component_module.h"
#include "objects.h"

namespace {

HRESULT CreateHubEventObject(IUnknown* outer, REFIID riid, void** ppv) {
    return kvwin::CreateComInstance<kvhub::HubEvent>(outer, riid, ppv);
}

}  // namespace

extern "C" KVWIN_API HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return kvwin::GetModuleClassObject(rclsid == CLSID_ZorHubEvent ? CreateHubEventObject : nullptr,
                                       riid, ppv);
}

extern "C" KVWIN_API HRESULT DllCanUnloadNow() {
    return kvwin::ModuleCanUnloadNow();
}
