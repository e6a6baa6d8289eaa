// The module's entry points: the class object of the event class, and whether the module may
// be unloaded.
#include "hubevent/hub_event.h"
#include "kvwin/com_object.h"
#include "kvwin/component_module.h"
#include "objects.h"

namespace {

HRESULT CreateHubEventObject(IUnknown* outer, REFIID riid, void** ppv) {
    return kvwin::CreateComInstance<kvhub::HubEvent>(outer, riid, ppv);
}

}  // namespace

extern "C" KVWIN_API HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (rclsid != CLSID_ZorHubEvent)
        return CLASS_E_CLASSNOTAVAILABLE;
    return kvwin::GuardComCall([&] {
        auto* factory =
            new kvwin::SimpleClassFactory(CreateHubEventObject, &kvwin::ModuleServerLocks());
        HRESULT hr = factory->QueryInterface(riid, ppv);
        factory->Release();
        return hr;
    });
}

extern "C" KVWIN_API HRESULT DllCanUnloadNow() {
    return kvwin::ModuleCanUnloadNow();
}
