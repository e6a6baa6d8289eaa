// Scripts that connect through WbemScripting.SWbemLocator and convert dates with
// WbemScripting.SWbemDateTime.
#include "wmiscripting_test_support.h"

namespace {

TEST(LocatorScripts, ConnectServerGivesTheNamespaceForEveryQueryFlag) {
    wmitest::RunScript(
        uR"JS(
var locator = new ActiveXObject("WbemScripting.SWbemLocator");
locator.Security_.ImpersonationLevel = 3;
Test.ok(locator.Security_.ImpersonationLevel == 3, "ImpersonationLevel kept");
var forms = [[], ["."], ["", "root\\cimv2"], ["localhost", "root/cimv2"]];
for (var i = 0; i < forms.length; ++i) {
    var f = forms[i];
    var wmi = f.length == 0 ? locator.ConnectServer() :
              f.length == 1 ? locator.ConnectServer(f[0]) : locator.ConnectServer(f[0], f[1]);
    Test.ok(wmi.InstancesOf("Win32_OperatingSystem").Count == 1, "form " + i);
}
var wmi = locator.ConnectServer(".", "root\\cimv2");
var flags = [48, 32, 16, 0];
for (var i = 0; i < flags.length; ++i) {
    var n = 0;
    for (var e = new Enumerator(wmi.ExecQuery("select Caption from Win32_OperatingSystem", "WQL", flags[i]));
         !e.atEnd(); e.moveNext())
        ++n;
    Test.ok(n == 1, "flags " + flags[i] + ": " + n);
}
try {
    locator.ConnectServer("far-away-server");
    Test.ok(false, "a remote server should fail");
} catch (x) {
    Test.ok((x.number >>> 0) == 0x800706BA, "remote server: " + (x.number >>> 0).toString(16));
}
try {
    locator.ConnectServer(".", "root\\nosuch");
    Test.ok(false, "a missing namespace should fail");
} catch (x) {
    Test.ok((x.number >>> 0) == 0x8004100E, "missing namespace: " + (x.number >>> 0).toString(16));
}
)JS");
}

TEST(LocatorScripts, ObjectTextAndDerivation) {
    wmitest::RunScript(
        uR"JS(
var wmi = new ActiveXObject("WbemScripting.SWbemLocator").ConnectServer();
var e = new Enumerator(wmi.ExecQuery("select * from Win32_OperatingSystem", "WQL", 16));
var os = e.item();
var text = os.GetObjectText_();
Test.ok(text.indexOf("\ninstance of Win32_OperatingSystem\n{\n") == 0, "MOF head: " + text.slice(0, 40));
Test.ok(text.indexOf("\tCaption = \"" + os.Caption.replace(/\\/g, "\\\\") + "\";\n") > 0, "Caption line");
Test.ok(text.slice(-3) == "};\n", "MOF end");
var d = new VBArray(os.Derivation_).toArray();
Test.ok(d instanceof Array, "Derivation_ is an array of " + d.length);
var p = os.Properties_.Item("Caption");
Test.ok(p.Name == "Caption" && p.CIMType == 8 && !p.IsArray, "Caption property: " + p.CIMType);
)JS");
}

TEST(LocatorScripts, DateTimeValuesAndParts) {
    wmitest::RunScript(
        uR"JS(
var dt = new ActiveXObject("WbemScripting.SWbemDateTime");
dt.Value = "20240229133005.250000+060";
Test.ok(dt.Year == 2024 && dt.Month == 2 && dt.Day == 29, "date parts");
Test.ok(dt.Hours == 13 && dt.Minutes == 30 && dt.Seconds == 5 && dt.Microseconds == 250000, "time parts");
Test.ok(dt.UTC == 60 && !dt.IsInterval, "offset");
var asWritten = new Date(dt.GetVarDate(false));
Test.ok(asWritten.getUTCHours() == 13 && asWritten.getUTCMinutes() == 30, "GetVarDate(false) keeps the wall time");
dt.Minutes = 0;
Test.ok(dt.Value == "20240229130005.250000+060", "Value after a part changed: " + dt.Value);
dt.SetVarDate(new Date(Date.UTC(1999, 11, 31, 23, 59, 58)), false);
Test.ok(dt.Value == "19991231235958.000000+000", "SetVarDate(false): " + dt.Value);
try {
    dt.Value = "not a date";
    Test.ok(false, "a bad value should fail");
} catch (x) {
    Test.ok((x.number >>> 0) == 0x80041021, "bad value: " + (x.number >>> 0).toString(16));
}
)JS");
}

}  // namespace
