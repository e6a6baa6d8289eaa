// StdRegProv from scripts: the ExecMethod_/InParameters road JScript takes, the by-reference
// call form, and the codes for missing keys and values and for a value of another type.
#include <cstdlib>
#include <fstream>

#include "kvtest/test_env.h"

#include "kvwin/moniker_names.h"
#include "win/registry.h"
#include "wmiscripting_test_support.h"

namespace {

// What every script here starts with: the hive constants, a call of a provider method
// (of the script's `reg`) with named in-parameters through ExecMethod_, and arrays from COM
// read through VBArray, as on Windows.
const std::u16string kPrelude =
    uR"JS(
var HKCU = 0x80000001;
var HKLM = 0x80000002;
function Call(method, values) {
    var inParams = reg.Methods_.Item(method).InParameters.SpawnInstance_();
    for (var name in values)
        inParams.Properties_.Item(name).Value = values[name];
    return reg.ExecMethod_(method, inParams);
}
function Values(a) { return new VBArray(a).toArray(); }
)JS";

void SetValue(HKEY key, const char16_t* name, DWORD type, std::u16string_view data) {
    ASSERT_EQ(RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             DWORD(data.size() * 2)),
              ERROR_SUCCESS);
}

// HKLM\SOFTWARE\KavrelTest\Values with one value of each type, and two subkeys.
void WriteTestKey() {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\KavrelTest\\Values", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    SetValue(key, u"Text", REG_SZ, std::u16string_view(u"hello world", 12));  // with its NUL
    SetValue(key, u"Expand", REG_EXPAND_SZ, u"%KV_REG_TEST%\\bin");
    SetValue(key, u"List", REG_MULTI_SZ, std::u16string_view(u"one\0two\0\0", 9));
    const DWORD number = 0xFFFFFFFEu;
    ASSERT_EQ(RegSetValueExW(key, u"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                             sizeof number),
              ERROR_SUCCESS);
    for (const char16_t* sub : {u"Beta", u"Alpha"}) {
        HKEY child = nullptr;
        ASSERT_EQ(
            RegCreateKeyExW(key, sub, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
            ERROR_SUCCESS);
        RegCloseKey(child);
    }
    RegCloseKey(key);
    setenv("KV_REG_TEST", "/opt/kv", 1);
}

TEST(RegistryScripts, ExecMethodReadsEachValueType) {
    WriteTestKey();
    wmitest::RunScript(kPrelude +
                       uR"JS(
var key = "SOFTWARE\\KavrelTest\\Values";
var reg = GetObject("winmgmts:{impersonationLevel=impersonate}!//./root/default:StdRegProv");
var r = Call("GetStringValue", {hDefKey: HKLM, sSubKeyName: key, sValueName: "Text"});
Test.ok(r.ReturnValue == 0 && r.sValue === "hello world", "string " + r.ReturnValue + " " + r.sValue);
r = Call("GetExpandedStringValue", {hDefKey: HKLM, sSubKeyName: key, sValueName: "Expand"});
Test.ok(r.ReturnValue == 0 && r.sValue === "/opt/kv\\bin", "expanded " + r.sValue);
r = Call("GetDWORDValue", {hDefKey: HKLM, sSubKeyName: key, sValueName: "Number"});
Test.ok(r.ReturnValue == 0 && (r.uValue >>> 0) == 0xFFFFFFFE, "dword " + r.uValue);
r = Call("GetMultiStringValue", {hDefKey: HKLM, sSubKeyName: key, sValueName: "List"});
Test.ok(r.ReturnValue == 0 && Values(r.sValue).join("|") == "one|two", "multi " + r.sValue);
r = Call("EnumKey", {hDefKey: HKLM, sSubKeyName: key});
Test.ok(r.ReturnValue == 0 && Values(r.sNames).join("|") == "Alpha|Beta", "keys " + r.sNames);
r = Call("EnumValues", {hDefKey: HKLM, sSubKeyName: key});
Test.ok(r.ReturnValue == 0 && Values(r.sNames).join("|") == "Text|Expand|List|Number" &&
        Values(r.Types).join("|") == "1|2|7|4", "values " + r.sNames + " / " + r.Types);
r = Call("EnumKey", {hDefKey: HKLM, sSubKeyName: key + "\\Alpha"});
Test.ok(r.ReturnValue == 0 && r.sNames === null, "no subkeys: null names " + r.sNames);

// Properties set directly on the parameter object work too, and hDefKey may be left out.
var inParams = reg.Methods_.Item("GetStringValue").InParameters.SpawnInstance_();
inParams.sSubKeyName = key;
inParams.sValueName = "Text";
Test.ok(reg.ExecMethod_("GetStringValue", inParams).sValue == "hello world", "default hive");

var failures = [["GetStringValue", key + "\\Nope", "Text", 2],
                ["GetStringValue", key, "Nope", 2],
                ["GetStringValue", key, "Number", 0x80041005],
                ["GetDWORDValue", key, "Text", 0x80041005],
                ["EnumValues", key + "\\Nope", null, 2]];
for (var i = 0; i < failures.length; ++i) {
    var f = failures[i];
    var values = {hDefKey: HKLM, sSubKeyName: f[1]};
    if (f[2] !== null)
        values.sValueName = f[2];
    r = Call(f[0], values);
    Test.ok((r.ReturnValue >>> 0) == f[3], f.join(" ") + ": " + r.ReturnValue);
}
r = Call("GetStringValue", {hDefKey: 2147483650,
                            sSubKeyName: "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                            sValueName: "CurrentBuild"});
Test.ok(r.ReturnValue == 0 && /^[0-9]+$/.test(r.sValue), "the seeded build " + r.sValue);
try {
    reg.ExecMethod_("NoSuchMethod", null);
    Test.ok(false, "an unknown method");
} catch (x) {
    Test.ok((x.number >>> 0) == 0x8004102E, "unknown method " + (x.number >>> 0).toString(16));
}
)JS");
}

// Software inventory's walk: the installed packages under Uninstall, read and not writable.
TEST(RegistryScripts, UninstallListsThePackagesReadOnly) {
    const std::string dir = kvtest::MakeTempFolder("dpkg");
    std::ofstream(dir + "/status") << "Package: zeta\nStatus: install ok installed\n"
                                      "Version: 9.1\nMaintainer: Z <z@example.org>\n"
                                      "Installed-Size: 77\n\n"
                                      "Package: eta\nStatus: install ok installed\nVersion: 1\n";
    setenv("KAVREL_DPKG_ADMIN_DIR", dir.c_str(), 1);
    wmitest::RunScript(kPrelude +
                       uR"JS(
var key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
var reg = GetObject("winmgmts:{impersonationLevel=impersonate}!//./root/default:StdRegProv");
var r = Call("EnumKey", {hDefKey: HKLM, sSubKeyName: key});
Test.ok(r.ReturnValue == 0 && Values(r.sNames).join("|") == "eta|zeta", "packages " + r.sNames);
r = Call("GetStringValue", {hDefKey: HKLM, sSubKeyName: key + "\\zeta", sValueName: "Publisher"});
Test.ok(r.ReturnValue == 0 && r.sValue == "Z <z@example.org>", "publisher " + r.sValue);
r = Call("GetDWORDValue", {hDefKey: HKLM, sSubKeyName: key + "\\zeta", sValueName: "EstimatedSize"});
Test.ok(r.ReturnValue == 0 && r.uValue == 77, "size " + r.uValue);
r = Call("SetStringValue", {hDefKey: HKLM, sSubKeyName: key + "\\zeta", sValueName: "DisplayName",
                            sValue: "other"});
Test.ok(r.ReturnValue == 5, "write refused " + r.ReturnValue);
r = Call("DeleteKey", {hDefKey: HKLM, sSubKeyName: key + "\\eta"});
Test.ok(r.ReturnValue == 5, "delete refused " + r.ReturnValue);
)JS");
    unsetenv("KAVREL_DPKG_ADMIN_DIR");
}

// The VBScript form: out parameters as by-reference arguments, ReturnValue as the result.
TEST(RegistryScripts, DirectCallFillsByReferenceArguments) {
    WriteTestKey();
    jstest::ScopedApartment apartment;
    IDispatch* reg = nullptr;
    ASSERT_EQ(CoGetObject(u"winmgmts:root\\default:StdRegProv", nullptr, IID_IDispatch,
                          reinterpret_cast<void**>(&reg)),
              S_OK);
    LPOLESTR name = const_cast<LPOLESTR>(u"GetMultiStringValue");
    DISPID id = 0;
    ASSERT_EQ(reg->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
    VARIANT out;
    VariantInit(&out);
    VARIANT args[4];  // last argument first
    args[0].vt = VT_BYREF | VT_VARIANT;
    args[0].pvarVal = &out;
    args[1].vt = VT_BSTR;
    args[1].bstrVal = SysAllocString(u"List");
    args[2].vt = VT_BSTR;
    args[2].bstrVal = SysAllocString(u"SOFTWARE\\KavrelTest\\Values");
    args[3].vt = VT_I4;
    args[3].lVal = LONG(0x80000002u);
    DISPPARAMS params{args, nullptr, 4, 0};
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(reg->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 0);
    ASSERT_EQ(out.vt, VT_ARRAY | VT_BSTR);
    LONG upper = -1;
    SafeArrayGetUBound(out.parray, 1, &upper);
    EXPECT_EQ(upper, 1);
    VariantClear(&out);
    VariantClear(&args[1]);
    VariantClear(&args[2]);
    reg->Release();
}

}  // namespace

namespace {

// The setters, CreateKey, DeleteValue, DeleteKey and CheckAccess, read back with the getters
// and EnumValues' types through ExecMethod_, the road JScript takes.
TEST(RegistryScripts, SettersAndKeysRoundTrip) {
    wmitest::RunScript(kPrelude +
                       uR"JS(
var reg = GetObject("winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\default:StdRegProv");
var key = "Software\\Kavrel Setters";
Test.ok(reg.CreateKey(HKCU, key) == 0, "CreateKey");
Test.ok(reg.SetStringValue(HKCU, key, "S", "text é") == 0, "SetStringValue");
Test.ok(reg.SetExpandedStringValue(HKCU, key, "E", "%TEMP%") == 0, "SetExpandedStringValue");
Test.ok(reg.SetDWORDValue(HKCU, key, "D", 4294967295) == 0, "SetDWORDValue");
Test.ok(reg.SetQWORDValue(HKCU, key, "Q", "1099511627776") == 0, "SetQWORDValue");
Test.ok(reg.SetMultiStringValue(HKCU, key, "M", ["a", "b c"]) == 0, "SetMultiStringValue");
Test.ok(reg.SetBinaryValue(HKCU, key, "B", [1, 2, 255]) == 0, "SetBinaryValue");
Test.ok(reg.SetBinaryValue(HKCU, key, "Bad", [256]) == 87, "a byte out of range");
Test.ok(reg.SetStringValue(HKCU, "Software\\No Such Key", "S", "x") == 2, "a missing key");

Test.ok(Call("GetStringValue", {hDefKey: HKCU, sSubKeyName: key, sValueName: "S"}).sValue == "text é", "S back");
Test.ok((Call("GetDWORDValue", {hDefKey: HKCU, sSubKeyName: key, sValueName: "D"}).uValue >>> 0) == 4294967295, "D back");
Test.ok(Call("GetQWORDValue", {hDefKey: HKCU, sSubKeyName: key, sValueName: "Q"}).uValue == "1099511627776", "Q back");
Test.ok(Values(Call("GetMultiStringValue", {hDefKey: HKCU, sSubKeyName: key, sValueName: "M"}).sValue).join("|") == "a|b c", "M back");
Test.ok(Values(Call("GetBinaryValue", {hDefKey: HKCU, sSubKeyName: key, sValueName: "B"}).uValue).join(",") == "1,2,255", "B back");
var values = Call("EnumValues", {hDefKey: HKCU, sSubKeyName: key});
var kinds = {};
var names = Values(values.sNames), types = Values(values.Types);
for (var i = 0; i < names.length; ++i) kinds[names[i]] = types[i];
Test.ok(kinds.S == 1 && kinds.E == 2 && kinds.B == 3 && kinds.D == 4 && kinds.M == 7 && kinds.Q == 11,
        "EnumValues types");

var access = Call("CheckAccess", {hDefKey: HKCU, sSubKeyName: key, uRequired: 1});
Test.ok(access.ReturnValue == 0 && access.bGranted === true, "CheckAccess granted");
var none = Call("CheckAccess", {hDefKey: HKCU, sSubKeyName: key + "\\missing", uRequired: 1});
Test.ok(none.ReturnValue == 2 && none.bGranted === false, "CheckAccess on a missing key");

Test.ok(reg.DeleteValue(HKCU, key, "S") == 0, "DeleteValue");
Test.ok(reg.DeleteValue(HKCU, key, "S") == 2, "DeleteValue again");
Test.ok(reg.CreateKey(HKCU, key + "\\Child") == 0, "CreateKey of a child");
Test.ok(reg.DeleteKey(HKCU, key + "\\Child") == 0, "DeleteKey");
Test.ok(reg.DeleteKey(HKCU, key + "\\Child") == 2, "DeleteKey again");
)JS");
}

}  // namespace
