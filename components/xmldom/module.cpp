// The module's entry points: the declared document classes, their class objects, and whether
// the module may be unloaded.
#include "objects.h"

namespace kvxmldom {

HRESULT ReturnText(const std::u16string& text, BSTR* out) {
    *out = SysAllocStringLen(text.data(), UINT(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

namespace {

// Every document class is the same object. The version-independent "Msxml2.DOMDocument"
// names a class of its own, as on Windows.
constexpr kvwin::ComponentClass kClasses[] = {
    {CLSID_DOMDocument2x, u"Msxml2.DOMDocument", u"", u"Both", CreateDocument},
    {CLSID_DOMDocument, u"Microsoft.XMLDOM", u"MSXML.DOMDocument", u"Both", CreateDocument},
    {CLSID_DOMDocument30, u"Msxml2.DOMDocument.3.0", u"", u"Both", CreateDocument},
    {CLSID_DOMDocument60, u"Msxml2.DOMDocument.6.0", u"", u"Both", CreateDocument},
};

}  // namespace

}  // namespace kvxmldom

KVWIN_COMPONENT_MODULE(kvxmldom::kClasses)

extern "C" KVWIN_API HRESULT DllCanUnloadNow() {
    return kvwin::ModuleCanUnloadNow();
}
