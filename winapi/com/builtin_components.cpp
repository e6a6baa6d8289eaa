// The built-in registrations of the project's components: each class, its names and the
// module beside the layer that serves it.
#include "builtin_components.h"

#include "win/msxml.h"
#include "win/wbemcli.h"

namespace kvwin::com_detail {

std::vector<BuiltinClass> ComponentClasses() {
    const std::u16string xmldom = u"libkavrel-xmldom.so";
    return {
        // The XML DOM: every document class is the same object. The version-independent
        // "Msxml2.DOMDocument" names its own class, as on Windows.
        {CLSID_DOMDocument2x, u"Msxml2.DOMDocument", u"", nullptr, xmldom},
        {CLSID_DOMDocument, u"Microsoft.XMLDOM", u"MSXML.DOMDocument", nullptr, xmldom},
        {CLSID_DOMDocument30, u"Msxml2.DOMDocument.3.0", u"", nullptr, xmldom},
        {CLSID_DOMDocument60, u"Msxml2.DOMDocument.6.0", u"", nullptr, xmldom},
        // The WMI service's locator.
        {CLSID_WbemLocator, u"", u"", nullptr, u"libkavrel-wmi.so"},
    };
}

}  // namespace kvwin::com_detail
