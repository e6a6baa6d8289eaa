// The module's entry points: the declared classes "winmgmts" (the binder of the prefix
// "winmgmts:"), SWbemLocator, SWbemDateTime and SWbemLastError, their class objects, and
// whether the module may be unloaded.
#include "wmiscripting.h"

namespace {

constexpr kvwin::ComponentClass kClasses[] = {
    {kvwmiscript::CLSID_WinmgmtsMoniker, u"winmgmts", u"", u"Both",
     kvwmiscript::CreateMonikerBinder},
    {kvwmiscript::CLSID_SWbemLocator, u"WbemScripting.SWbemLocator", u"", u"Both",
     kvwmiscript::CreateLocator},
    {kvwmiscript::CLSID_SWbemDateTime, u"WbemScripting.SWbemDateTime", u"", u"Both",
     kvwmiscript::CreateDateTime},
    {kvwmiscript::CLSID_SWbemLastError, u"WbemScripting.SWbemLastError", u"", u"Both",
     kvwmiscript::CreateLastError},
};

}  // namespace

KVWIN_COMPONENT_MODULE(kClasses)

extern "C" KVWIN_API HRESULT DllCanUnloadNow() {
    return kvwin::ModuleCanUnloadNow();
}
