// The module's entry points: the declared classes Scripting.Dictionary,
// Scripting.FileSystemObject, WScript.Shell and WScript.Network, their class objects, and
// whether the module may be unloaded.
#include "scripting.h"

namespace {

constexpr kvwin::ComponentClass kClasses[] = {
    {kvscripting::CLSID_Dictionary, u"Scripting.Dictionary", u"", u"Both",
     kvscripting::CreateDictionary},
    {kvscripting::CLSID_WshNetwork, u"WScript.Network", u"", u"Apartment",
     kvscripting::CreateNetwork},
    {kvscripting::CLSID_FileSystemObject, u"Scripting.FileSystemObject", u"", u"Both",
     kvscripting::CreateFileSystem},
    {kvscripting::CLSID_WshShell, u"WScript.Shell", u"", u"Apartment", kvscripting::CreateShell},
};

}  // namespace

KVWIN_COMPONENT_MODULE(kClasses)

extern "C" KVWIN_API HRESULT DllCanUnloadNow() {
    return kvwin::ModuleCanUnloadNow();
}
