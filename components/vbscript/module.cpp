// The module's entry points: the class object of the VBScript engine, and whether the
// module may be unloaded.
#include "module.h"
#include "engine.h"

extern "C" KVWIN_API HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return kvwin::GetModuleClassObject(rclsid == CLSID_VBScript ? kvvbs::CreateEngine : nullptr,
                                       riid, ppv);
}

extern "C" KVWIN_API HRESULT DllCanUnloadNow() {
    return kvwin::ModuleCanUnloadNow();
}
