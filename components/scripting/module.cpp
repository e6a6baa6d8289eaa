// The module's entry points: class objects for Scripting.Dictionary,
// Scripting.FileSystemObject, WScript.Shell and WScript.Network.
#include "scripting.h"

extern "C" KVWIN_API HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    kvwin::CreateInstanceFunction create = nullptr;
    if (rclsid == kvscripting::CLSID_Dictionary)
        create = kvscripting::CreateDictionary;
    else if (rclsid == kvscripting::CLSID_FileSystemObject)
        create = kvscripting::CreateFileSystem;
    else if (rclsid == kvscripting::CLSID_WshShell)
        create = kvscripting::CreateShell;
    else if (rclsid == kvscripting::CLSID_WshNetwork)
        create = kvscripting::CreateNetwork;
    return kvwin::GetModuleClassObject(create, riid, ppv);
}

extern "C" KVWIN_API HRESULT DllCanUnloadNow() {
    return kvwin::ModuleCanUnloadNow();
}
