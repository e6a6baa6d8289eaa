// The built-in registrations of the project's components: each class, its names and the
// module beside the layer that serves it.
#include "builtin_components.h"

#include "win/activscp.h"
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
        // The agent's event component.
        {GuidFromLiteral("D415FA5B-7A37-466E-8E1D-E4FC28E44D10"), u"ZorHub.Event.1",
         u"ZorHub.Event", nullptr, u"libkavrel-hubevent.so"},
        // The script engines and the scripting objects.
        {CLSID_JScript, u"JScript", u"", nullptr, u"libkavrel-jscript.so"},
        {CLSID_VBScript, u"VBScript", u"", nullptr, u"libkavrel-vbscript.so"},
        {kvwin::GuidFromLiteral("3F4DACA4-160D-11D2-A8E9-00104B365C9F"), u"VBScript.RegExp", u"",
         nullptr, u"libkavrel-vbscript.so"},
        {kvwin::GuidFromLiteral("EE09B103-97E0-11CF-978F-00A02463E06F"), u"Scripting.Dictionary",
         u"", nullptr, u"libkavrel-scripting.so"},
        {kvwin::GuidFromLiteral("093FF999-1EA0-4079-9525-9614C3504B74"), u"WScript.Network", u"",
         nullptr, u"libkavrel-scripting.so"},
        {kvwin::GuidFromLiteral("0D43FE01-F093-11CF-8940-00A0C9054228"),
         u"Scripting.FileSystemObject", u"", nullptr, u"libkavrel-scripting.so"},
        {kvwin::GuidFromLiteral("72C24DD5-D70A-438B-8A42-98424B88AFB8"), u"WScript.Shell", u"",
         nullptr, u"libkavrel-scripting.so"},
        // The WMI service's locator.
        {CLSID_WbemLocator, u"", u"", nullptr, u"libkavrel-wmi.so"},
        // The WMI scripting face: the class "winmgmts" binds "winmgmts:" display names.
        {kvwin::GuidFromLiteral("172BDDF8-CEEA-11D1-8B05-00600806D9B6"), u"winmgmts", u"", nullptr,
         u"libkavrel-wmiscripting.so"},
        {kvwin::GuidFromLiteral("76A64158-CB41-11D1-8B02-00600806D9B6"),
         u"WbemScripting.SWbemLocator", u"", nullptr, u"libkavrel-wmiscripting.so"},
        {kvwin::GuidFromLiteral("47DFBE54-CF76-11D3-B38F-00105A1F473A"),
         u"WbemScripting.SWbemDateTime", u"", nullptr, u"libkavrel-wmiscripting.so"},
        {kvwin::GuidFromLiteral("C2FEEEAC-CFCD-11D1-8B05-00600806D9B6"),
         u"WbemScripting.SWbemLastError", u"", nullptr, u"libkavrel-wmiscripting.so"},
    };
}

}  // namespace kvwin::com_detail
