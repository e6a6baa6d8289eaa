// The module's entry points: the declared classes (the VBScript engine and RegExp), their
// class objects, and whether the module may be unloaded.
#include "module.h"
#include "engine.h"
#include "regexp_object.h"

namespace {

constexpr kvwin::ComponentClass kClasses[] = {
    {CLSID_VBScript, u"VBScript", u"", u"Both", kvvbs::CreateEngine},
    {kvvbs::CLSID_VBScriptRegExp, u"VBScript.RegExp", u"", u"Apartment",
     kvvbs::CreateRegExpInstance},
};

}  // namespace

KVWIN_COMPONENT_MODULE(kClasses)

extern "C" KVWIN_API HRESULT DllCanUnloadNow() {
    return kvwin::ModuleCanUnloadNow();
}
