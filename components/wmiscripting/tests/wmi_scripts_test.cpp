// Scripts reading WMI through GetObject("winmgmts:..."): live classes, a fixture namespace
// with exact values, failing queries and bad display names.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "kvtest/com_support.h"
#include "kvtest/held_memory_bound.h"
#include "kvtest/small_stack.h"
#include "kvtest/test_env.h"
#include "kvwin/com_guid_text.h"
#include "kvwin/utf.h"
#include "win/wbemcli.h"
#include "wmiscripting_test_support.h"

namespace {

TEST(WmiScripts, LiveClassesThroughEveryDisplayNameForm) {
    wmitest::RunScript(
        uR"JS(
var names = ["winmgmts:", "winmgmts:\\\\.\\root\\cimv2", "winmgmts:root\\cimv2",
             "winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\cimv2",
             "WINMGMTS:{impersonationLevel=impersonate,(Debug)}!//./root/cimv2"];
for (var i = 0; i < names.length; ++i) {
    var wmi = GetObject(names[i]);
    var set = wmi.ExecQuery("SELECT * FROM Win32_OperatingSystem", "WQL", 16);
    Test.ok(set.Count == 1, names[i] + ": one operating system, not " + set.Count);
    var e = new Enumerator(set);
    var os = e.item();
    Test.ok(typeof os.Caption == "string" && os.Caption.length > 0, "Caption " + os.Caption);
    Test.ok(os.Caption == set.ItemIndex(0).Caption, "ItemIndex(0) is the same object");
    Test.ok(os.Properties_.Item("Caption").Value == os.Caption, "Properties_.Item");
    Test.ok(os.Path_.Class == "Win32_OperatingSystem", "Path_.Class " + os.Path_.Class);
    Test.ok(os.Path_.RelPath.indexOf("Win32_OperatingSystem") == 0, os.Path_.RelPath);
    e.moveNext();
    Test.ok(e.atEnd(), "one item");
}
var wmi = GetObject("winmgmts:");
var n = 0, named = 0;
for (var e = new Enumerator(wmi.ExecQuery("select ProcessId, Name from Win32_Process")); !e.atEnd(); e.moveNext()) {
    var p = e.item();
    ++n;
    if (typeof p.ProcessId == "number" && p.ProcessId > 0 && typeof p.Name == "string") ++named;
}
Test.ok(n > 0 && n == named, n + " processes, " + named + " with an id and a name");
Test.ok(wmi.InstancesOf("Win32_OperatingSystem").Count == 1, "InstancesOf");
var cls = GetObject("winmgmts:root\\cimv2:Win32_OperatingSystem");
Test.ok(cls.Path_.Class == "Win32_OperatingSystem", "class object " + cls.Path_.Class);
try {
    set.ItemIndex(5);
    Test.ok(false, "ItemIndex out of range");
} catch (x) {
    Test.ok((x.number >>> 0) == 0x80041002, "ItemIndex out of range: " + (x.number >>> 0).toString(16));
}
)JS");
}

// The flags scripts pass to ExecQuery and InstancesOf: forward-only sets enumerate once and
// refuse Count; the last failure is there to read as SWbemLastError once.
TEST(WmiScripts, QueryFlagsAndTheLastError) {
    wmitest::RunScript(
        uR"JS(
function CodeOf(f) { try { f(); return 0; } catch (x) { return x.number >>> 0; } }
// Once taken (earlier tests on this thread may have left one), there is no last error.
CodeOf(function () { new ActiveXObject("WbemScripting.SWbemLastError"); });
Test.ok(CodeOf(function () { new ActiveXObject("WbemScripting.SWbemLastError"); }) != 0,
        "no last error");
var wmi = GetObject("winmgmts:");
var os = "SELECT Caption FROM Win32_OperatingSystem";
var flags = [48, 32, 16, 0, undefined];
for (var i = 0; i < flags.length; ++i) {
    var set = flags[i] === undefined ? wmi.ExecQuery(os) : wmi.ExecQuery(os, "WQL", flags[i]);
    var n = 0;
    for (var e = new Enumerator(set); !e.atEnd(); e.moveNext()) ++n;
    Test.ok(n == 1, "flags " + flags[i] + ": one item, not " + n);
    var forward = flags[i] !== undefined && (flags[i] & 32) != 0;
    var count = CodeOf(function () { set.Count; });
    Test.ok(forward ? count == 0x80041001 : count == 0, "flags " + flags[i] + ", Count: " + count.toString(16));
    var again = new Enumerator(set);
    Test.ok(again.atEnd() == forward, "flags " + flags[i] + ": a second pass");
}
Test.ok(CodeOf(function () { wmi.InstancesOf("Win32_OperatingSystem", 48).Count; }) == 0x80041001,
        "InstancesOf forward-only");

Test.ok(CodeOf(function () { wmi.ExecQuery("SELECT * FROM Kv_NoSuchClass WHERE A = 1", "WQL", 0); })
        == 0x80041010, "a failing query");
var last = new ActiveXObject("WbemScripting.SWbemLastError");
Test.ok(last.Operation == "ExecQuery", "Operation " + last.Operation);
Test.ok(last.ParameterInfo == "SELECT * FROM Kv_NoSuchClass WHERE A = 1", "ParameterInfo " + last.ParameterInfo);
Test.ok((last.StatusCode >>> 0) == 0x80041010, "StatusCode " + last.StatusCode);
Test.ok(last.ProviderName == "WinMgmt" && last.Description.length > 0, "ProviderName, Description");
Test.ok(last.Path_.Class == "__ExtendedStatus", "class " + last.Path_.Class);
Test.ok(CodeOf(function () { new ActiveXObject("WbemScripting.SWbemLastError"); }) != 0,
        "taking the last error clears it");
Test.ok(CodeOf(function () { wmi.Get("Kv_NoSuchClass.Name='x'"); }) != 0, "a failing Get");
var again = new ActiveXObject("WbemScripting.SWbemLastError");
Test.ok(again.Operation == "GetObject" && again.ParameterInfo == "Kv_NoSuchClass.Name='x'",
        "the newest failure: " + again.Operation + " " + again.ParameterInfo);
)JS");
}

TEST(WmiScripts, ForwardOnlySetsFromVBScript) {
    wmitest::RunVBScript(
        uR"VB(
Set wmi = GetObject("winmgmts:")
Set col = wmi.ExecQuery("SELECT Caption FROM Win32_OperatingSystem", "WQL", 48)
n = 0
For Each os In col
    n = n + 1
    Test.ok Len(os.Caption) > 0, "Caption"
Next
Test.ok n = 1, "one operating system"
On Error Resume Next
c = col.Count
Test.ok Err.Number = &H80041001, "Count on a forward-only set: " & Hex(Err.Number)
Err.Clear
Set bad = wmi.ExecQuery("SELECT * FROM Kv_NoSuchClass", "WQL", 32)
Test.ok Err.Number = &H80041010, "a failing query: " & Hex(Err.Number)
Err.Clear
Set last = CreateObject("WbemScripting.SWbemLastError")
Test.ok Err.Number = 0 And last.Operation = "ExecQuery", "SWbemLastError after the failure"
)VB");
}

// A scheduled task's actions, triggers, principal and settings are objects of their own to a
// script: an array of them is indexed (task.Actions(0)) and walked with For Each.
TEST(WmiScripts, EmbeddedObjectsOfScheduledTasks) {
    namespace fs = std::filesystem;
    std::error_code error;
    bool any = fs::exists("/etc/crontab", error);
    for (const char* folder :
         {"/lib/systemd/system", "/usr/lib/systemd/system", "/etc/systemd/system"}) {
        for (fs::directory_iterator it(folder, error), end; !any && !error && it != end;
             it.increment(error))
            any = it->path().extension() == ".timer";
    }
    if (!any)
        GTEST_SKIP() << "this machine has neither a crontab nor a systemd timer";
    wmitest::RunVBScript(
        uR"VB(
Set wmi = GetObject("winmgmts:\\.\root\Microsoft\Windows\TaskScheduler")
n = 0
For Each task In wmi.ExecQuery("SELECT * FROM MSFT_ScheduledTask")
    n = n + 1
    Test.ok Len(task.Actions(0).Execute) > 0, task.TaskName & ": Execute"
    Test.ok TypeName(task.Actions(0)) = "SWbemObjectEx", TypeName(task.Actions(0))
    Test.ok task.Principal.Id = "Author", task.TaskName & ": Principal.Id"
    Test.ok task.Settings.Enabled = (task.State = 3), task.TaskName & ": Settings.Enabled"
    k = 0
    For Each trigger In task.Triggers
        k = k + 1
        Test.ok trigger.Enabled, task.TaskName & ": trigger enabled"
        Test.ok Left(trigger.Path_.Class, 9) = "MSFT_Task", trigger.Path_.Class
    Next
    Test.ok UBound(task.Triggers) = k - 1, task.TaskName & ": UBound of Triggers"
Next
Test.ok n > 0, "scheduled tasks: " & n
On Error Resume Next
For Each task In wmi.ExecQuery("SELECT * FROM MSFT_ScheduledTask")
    Set missing = task.Actions(5)
    Test.ok Err.Number = 9, "an index past the end: " & Err.Number
    Exit For
Next
)VB");
}

// A script's query nested far too deep is an invalid query to the script, on a small stack.
TEST(WmiScripts, DeeplyNestedQueriesRaiseInvalidQuery) {
    ASSERT_TRUE(kvtest::RunOnSmallStack([] {
        wmitest::RunScript(
            uR"JS(
function Repeat(text, count) {
    var parts = [];
    for (var i = 0; i < count; ++i) parts.push(text);
    return parts.join("");
}
var wmi = GetObject("winmgmts:");
var select = "SELECT Caption FROM Win32_OperatingSystem WHERE ";
var texts = [select + Repeat("(", 30000) + "Caption <> ''" + Repeat(")", 30000),
             select + Repeat("NOT ", 100000) + "Caption = ''"];
for (var i = 0; i < texts.length; ++i) {
    try {
        wmi.ExecQuery(texts[i]).Count;
        Test.ok(false, "a query nested too deep ran");
    } catch (x) {
        Test.ok((x.number >>> 0) == 0x80041017, "invalid query: " + (x.number >>> 0).toString(16));
    }
}
Test.ok(wmi.ExecQuery(select + Repeat("(", 50) + "Caption <> ''" + Repeat(")", 50)).Count == 1,
        "nesting within the limit runs");
)JS");
    }));
}

TEST(WmiScripts, BadDisplayNamesAndQueriesRaiseWmiCodes) {
    wmitest::RunScript(
        uR"JS(
function CodeOf(f) {
    try { f(); return 0; } catch (x) { return x.number >>> 0; }
}
var cases = [
    ["winmgmts:\\\\.\\root\\nosuch", 0x8004100E],
    ["winmgmts:{impersonationLevel=bogus}!\\\\.\\root\\cimv2", 0x80041021],
    ["winmgmts:{impersonationLevel=impersonate", 0x80041021],
    ["winmgmts:{impersonationLevel=impersonate}root", 0x80041021],
    ["winmgmts:\\\\faraway\\root\\cimv2", 0x80041015],
    ["winmgmts:root\\cimv2:Kv_NoSuchClass", 0x80041002]];
for (var i = 0; i < cases.length; ++i) {
    var code = CodeOf(function () { GetObject(cases[i][0]); });
    Test.ok(code == cases[i][1], cases[i][0] + ": " + code.toString(16));
}
var wmi = GetObject("winmgmts:");
var queries = [["SELECT * FROM", 0x80041017], ["SELECT * FROM Kv_NoSuchClass", 0x80041010],
               ["SELECT Nope FROM Win32_OperatingSystem", 0x80041017]];
for (var i = 0; i < queries.length; ++i) {
    var code = CodeOf(function () { wmi.ExecQuery(queries[i][0], "WQL", 0); });
    Test.ok(code == queries[i][1], queries[i][0] + " (flags 0): " + code.toString(16));
}
Test.ok(CodeOf(function () { wmi.ExecQuery("SELECT * FROM Win32_OperatingSystem", "SQL", 0); })
        == 0x80041018, "a language other than WQL");
)JS");
}

// A bad query fails ExecQuery itself only when the call waits for completion (flags 0 and
// 32); with wbemFlagReturnImmediately (16, 48 and the default) the call succeeds and the set
// reports the failure at its first use, every time it is used.
TEST(WmiScripts, ReturnImmediatelyDefersAQuerysFailureToItsFirstUse) {
    wmitest::RunScript(
        uR"JS(
function CodeOf(f) { try { f(); return 0; } catch (x) { return x.number >>> 0; } }
var wmi = GetObject("winmgmts:");
var queries = [["SELECT * FROM", 0x80041017], ["SELECT * FROM Kv_NoSuchClass", 0x80041010]];
var uses = [function (s) { return s.Count; }, function (s) { return s.ItemIndex(0); },
            function (s) { return new Enumerator(s); }];
for (var q = 0; q < queries.length; ++q) {
    var text = queries[q][0], want = queries[q][1];
    var deferred = [[16], [48], []];
    for (var f = 0; f < deferred.length; ++f) {
        var set = null;
        var code = CodeOf(function () { set = wmi.ExecQuery.apply(wmi, [text, "WQL"].concat(deferred[f])); });
        Test.ok(code == 0 && set != null, text + " flags " + deferred[f] + ": the call succeeds, " + code.toString(16));
        for (var u = 0; u < uses.length; ++u) {
            code = CodeOf(function () { uses[u](set); });
            Test.ok(code == want, text + " flags " + deferred[f] + " use " + u + ": " + code.toString(16));
        }
    }
    var last = new ActiveXObject("WbemScripting.SWbemLastError");
    Test.ok(last.Operation == "ExecQuery" && last.ParameterInfo == text, "last error " + last.Operation);
    Test.ok(CodeOf(function () { wmi.ExecQuery(text, "WQL", 0); }) == want, text + " flags 0");
    Test.ok(CodeOf(function () { wmi.ExecQuery(text, "WQL", 32); }) == want, text + " flags 32");
}
)JS");
    wmitest::RunVBScript(
        uR"VB(
Set wmi = GetObject("winmgmts:")
On Error Resume Next
Set bad = wmi.ExecQuery("SELECT * FROM Kv_NoSuchClass", "WQL", 48)
Test.ok Err.Number = 0 And IsObject(bad), "48: ExecQuery succeeds: " & Hex(Err.Number)
For Each x In bad
Next
Test.ok Err.Number = &H80041010, "48: For Each fails: " & Hex(Err.Number)
Err.Clear
Set bad = wmi.ExecQuery("SELECT * FROM", "WQL", 16)
Test.ok Err.Number = 0, "16: ExecQuery succeeds: " & Hex(Err.Number)
c = bad.Count
Test.ok Err.Number = &H80041017, "16: Count fails: " & Hex(Err.Number)
Err.Clear
Set o = bad.ItemIndex(0)
Test.ok Err.Number = &H80041017, "16: ItemIndex fails: " & Hex(Err.Number)
Err.Clear
Set bad = wmi.ExecQuery("SELECT * FROM Kv_NoSuchClass")
Test.ok Err.Number = 0, "default flags: ExecQuery succeeds: " & Hex(Err.Number)
For Each x In bad
Next
Test.ok Err.Number = &H80041010, "default flags: For Each fails: " & Hex(Err.Number)
Err.Clear
Set bad = wmi.ExecQuery("SELECT * FROM Kv_NoSuchClass", "WQL", 0)
Test.ok Err.Number = &H80041010, "0: ExecQuery fails: " & Hex(Err.Number)
Err.Clear
Set good = wmi.ExecQuery("SELECT Caption FROM Win32_OperatingSystem", "WQL", 48)
For Each os In good
    caption = os.Caption
Next
Test.ok Err.Number = 0 And Len(caption) > 0, "a good query still runs"
)VB");
}

// A folder of fixture namespaces, served by the test build of the WMI module, which is
// registered for the locator's class in this test's state root.
class FixtureFolder {
  public:
    FixtureFolder() : path_(kvtest::TestStateRoot() + "/wmi-fixtures") {
        std::filesystem::create_directories(path_);
        setenv("KAVREL_WMI_FIXTURES", path_.c_str(), 1);
        kvtest::SetClassesRootDefault(
            u"CLSID\\" + kvwin::GuidToText(CLSID_WbemLocator) + u"\\InprocServer32",
            kvwin::FromUtf8(KAVREL_WMI_FIXTURE_MODULE));
    }
    ~FixtureFolder() { unsetenv("KAVREL_WMI_FIXTURES"); }
    void Write(const std::string& name, const std::string& text) {
        std::ofstream(path_ + "/" + name + ".xml") << text;
    }

  private:
    std::string path_;
};

TEST(WmiScripts, FixtureValuesArriveExactlyAndFailuresReachTheScript) {
    FixtureFolder folder;
    folder.Write("disks", R"(<fixture>
  <class name="Kv_Disk">
    <property name="Name" type="string" key="true"/>
    <property name="Size" type="uint64"/>
    <property name="Index" type="uint32"/>
    <property name="Flags" type="uint32[]"/>
    <property name="Labels" type="string[]"/>
    <property name="Removable" type="boolean"/>
    <property name="Model" type="string"/>
    <instance>
      <value name="Name">disk0</value><value name="Size">18446744073709551615</value>
      <value name="Index">4294967295</value>
      <value name="Flags"><item>1</item><item>4294967295</item></value>
      <value name="Labels"><item>a</item><item>b&amp;c</item></value>
      <value name="Removable">true</value>
    </instance>
    <instance><value name="Name">disk1</value><value name="Index">7</value></instance>
  </class>
  <class name="Kv_Broken" start-result="0x80041004">
    <property name="Name" type="string"/>
  </class>
</fixture>)");
    wmitest::RunScript(
        uR"JS(
var wmi = GetObject("winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\kavrel\\fixtures\\disks");
var set = wmi.ExecQuery("SELECT * FROM Kv_Disk");
Test.ok(set.Count == 2, "two disks");
var d = set.ItemIndex(0);
Test.ok(d.Name == "disk0", "Name " + d.Name);
Test.ok(d.Size === "18446744073709551615", "uint64 as text " + d.Size);
Test.ok(d.Index === -1, "uint32 as its bits " + d.Index);
var flags = new VBArray(d.Flags).toArray();
Test.ok(typeof d.Flags == "unknown" && flags.length == 2 && flags[0] === 1 && flags[1] === -1,
        "uint32[] " + flags);
var labels = new VBArray(d.Labels).toArray();
Test.ok(labels.join("|") == "a|b&c", "string[] " + labels.join("|"));
Test.ok(d.Removable === true, "boolean " + d.Removable);
Test.ok(d.Model === null, "null " + d.Model);
Test.ok(d.Path_.RelPath == 'Kv_Disk.Name="disk0"', "RelPath " + d.Path_.RelPath);
Test.ok(d.Properties_.Count == 7, "properties " + d.Properties_.Count);
var one = wmi.ExecQuery("SELECT Name FROM Kv_Disk WHERE Index = 7");
Test.ok(one.Count == 1 && one.ItemIndex(0).Name == "disk1", "WHERE");
Test.ok(wmi.Get('Kv_Disk.Name="disk1"').Index == 7, "Get of an instance path");
try {
    wmi.ExecQuery("SELECT * FROM Kv_Broken", "WQL", 0);
    Test.ok(false, "the failing class");
} catch (x) {
    Test.ok((x.number >>> 0) == 0x80041004, "provider failure " + (x.number >>> 0).toString(16));
}
)JS");
}

// What a script puts into objects it keeps counts against the bound on what objects hold for
// scripts: a put past it fails with error 7 and the property keeps its value; the room comes
// back when the objects go.
TEST(WmiScripts, PutsPastTheHeldMemoryBoundFailWithError7) {
    const size_t before = kvwin::HeldMemoryInUse();
    kvtest::ScopedHeldMemoryBound bound(before + 1000000);
    wmitest::RunVBScript(
        uR"VB(
Set wmi = GetObject("winmgmts:")
Dim kept(20)
On Error Resume Next
For i = 0 To 20
    For Each os In wmi.ExecQuery("SELECT Caption FROM Win32_OperatingSystem")
        Set kept(i) = os
    Next
    caption = kept(i).Caption
    kept(i).Caption = Space(100000)
    If Err Then Exit For
Next
Test.ok Err.Number = 7 And i > 3 And i < 6, Err.Number & " at " & i
Test.ok kept(i).Caption = caption, "the refused put leaves the value"
)VB");
    EXPECT_EQ(kvwin::HeldMemoryInUse(), before);
}

}  // namespace
