// The module's entry points: the class objects of the VBScript engine and of RegExp, and whether
// the module may be unloaded.
#include "module.h"
#include "engine.h"
#include "regexp_object.h"

extern "C" KVWIN_API HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    kvwin::CreateInstanceFunction create = nullptr;
    if (rclsid == CLSID_VBScript)
        create = kvvbs::CreateEngine;
    else if (rclsid == kvvbs::CLSID_VBScriptRegExp)
        create = kvvbs::CreateRegExpInstance;
    return kvwin::GetModuleClassObject(create, riid, ppv);
}

extern "C" KVWIN_API HRESULT DllCanUnloadNow() {
    return kvwin::ModuleCanUnloadNow();
}
