// The built-in registrations come from the components' own declarations, read from the
// registration files the build writes: the set is exactly the classes the components serve,
// each in its module, and each activates on a fresh state root.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <tuple>

#include "kvtest/com_support.h"
#include "kvwin/com_guid_text.h"
#include "kvwin/com_runtime.h"
#include "kvwin/utf.h"

namespace {

struct Expected {
    const char* clsid;
    const char16_t* prog_id;
    const char16_t* version_independent_prog_id;
    const char16_t* module;
};

constexpr Expected kBuiltins[] = {
    {"{F6D90F11-9C73-11D3-B32E-00C04F990BB4}", u"Msxml2.DOMDocument", u"", u"libkavrel-xmldom.so"},
    {"{2933BF90-7B36-11D2-B20E-00C04F983E60}", u"Microsoft.XMLDOM", u"MSXML.DOMDocument",
     u"libkavrel-xmldom.so"},
    {"{F5078F32-C551-11D3-89B9-0000F81FE221}", u"Msxml2.DOMDocument.3.0", u"",
     u"libkavrel-xmldom.so"},
    {"{88D96A05-F192-11D4-A65F-0040963251E5}", u"Msxml2.DOMDocument.6.0", u"",
     u"libkavrel-xmldom.so"},
    {"{D415FA5B-7A37-466E-8E1D-E4FC28E44D10}", u"ZorHub.Event.1", u"ZorHub.Event",
     u"libkavrel-hubevent.so"},
    {"{F414C260-6AC0-11CF-B6D1-00AA00BBBB58}", u"JScript", u"", u"libkavrel-jscript.so"},
    {"{B54F3741-5B07-11CF-A4B0-00AA004A55E8}", u"VBScript", u"", u"libkavrel-vbscript.so"},
    {"{3F4DACA4-160D-11D2-A8E9-00104B365C9F}", u"VBScript.RegExp", u"", u"libkavrel-vbscript.so"},
    {"{EE09B103-97E0-11CF-978F-00A02463E06F}", u"Scripting.Dictionary", u"",
     u"libkavrel-scripting.so"},
    {"{093FF999-1EA0-4079-9525-9614C3504B74}", u"WScript.Network", u"", u"libkavrel-scripting.so"},
    {"{0D43FE01-F093-11CF-8940-00A0C9054228}", u"Scripting.FileSystemObject", u"",
     u"libkavrel-scripting.so"},
    {"{72C24DD5-D70A-438B-8A42-98424B88AFB8}", u"WScript.Shell", u"", u"libkavrel-scripting.so"},
    {"{4590F811-1D3A-11D0-891F-00AA004B2E24}", u"", u"", u"libkavrel-wmi.so"},
    {"{172BDDF8-CEEA-11D1-8B05-00600806D9B6}", u"winmgmts", u"", u"libkavrel-wmiscripting.so"},
    {"{76A64158-CB41-11D1-8B02-00600806D9B6}", u"WbemScripting.SWbemLocator", u"",
     u"libkavrel-wmiscripting.so"},
    {"{47DFBE54-CF76-11D3-B38F-00105A1F473A}", u"WbemScripting.SWbemDateTime", u"",
     u"libkavrel-wmiscripting.so"},
    {"{C2FEEEAC-CFCD-11D1-8B05-00600806D9B6}", u"WbemScripting.SWbemLastError", u"",
     u"libkavrel-wmiscripting.so"},
};

using Row = std::tuple<std::string, std::u16string, std::u16string, std::u16string>;

TEST(BuiltinClasses, AreExactlyTheComponentsDeclaredClassesEachInItsModule) {
    std::set<Row> expected, actual;
    for (const Expected& e : kBuiltins)
        expected.emplace(e.clsid, e.prog_id, e.version_independent_prog_id, e.module);
    for (const kvwin::BuiltinClass& entry : kvwin::BuiltinClasses()) {
        EXPECT_EQ(entry.create, nullptr);
        actual.emplace(kvwin::ToUtf8(kvwin::GuidToText(entry.clsid)), entry.prog_id,
                       entry.version_independent_prog_id, entry.module);
    }
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(kvwin::BuiltinClasses().size(), std::size(kBuiltins)) << "a class declared twice";
}

TEST(BuiltinClasses, EveryDeclaredClassActivatesByItsNamesOnAFreshRoot) {
    kvtest::ScopedApartment apartment;
    for (const Expected& e : kBuiltins) {
        CLSID clsid{};
        ASSERT_TRUE(kvwin::GuidFromText(kvwin::FromUtf8(e.clsid), clsid));
        for (const char16_t* name : {e.prog_id, e.version_independent_prog_id}) {
            if (!*name)
                continue;
            CLSID found{};
            EXPECT_EQ(CLSIDFromProgID(name, &found), S_OK) << kvwin::ToUtf8(name);
            EXPECT_EQ(found, clsid) << kvwin::ToUtf8(name);
        }
        IClassFactory* factory = nullptr;
        EXPECT_EQ(CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, __uuidof(IClassFactory),
                                   reinterpret_cast<void**>(&factory)),
                  S_OK)
            << e.clsid;
        if (factory)
            factory->Release();
    }
}

}  // namespace
