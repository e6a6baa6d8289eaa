// WScript.Shell through IDispatch: RegRead of every value kind the registry holds, and the
// environment sets by name. Run and Exec with real children are in the JScript behaviour
// script components/jscript/tests/scripts/shell.js.
#include "kvtest/held_memory_bound.h"
#include "kvwin/utf.h"
#include "scripting_test_support.h"
#include "win/environment.h"
#include "win/registry.h"

namespace scriptingtest {
namespace {

void Seed(const char16_t* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kavrel Kinds", 0, nullptr, 0,
                              KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

std::vector<_variant_t> Elements(const _variant_t& array) {
    std::vector<_variant_t> out;
    EXPECT_EQ(array.vt, VT_ARRAY | VT_VARIANT);
    if (array.vt != (VT_ARRAY | VT_VARIANT))
        return out;
    LONG low = 0, high = -1;
    SafeArrayGetLBound(array.parray, 1, &low);
    SafeArrayGetUBound(array.parray, 1, &high);
    EXPECT_EQ(low, 0);
    for (LONG i = low; i <= high; ++i) {
        _variant_t v;
        SafeArrayGetElement(array.parray, &i, &v);
        out.push_back(v);
    }
    return out;
}

TEST(WshShell, RegReadGivesEveryValueKindAsScriptsReceiveIt) {
    ScopedApartment apartment;
    IDispatchPtr shell = Create(u"WScript.Shell");
    const char16_t text[] = u"text";
    const char16_t multi[] = u"one\0two\0";
    const BYTE bytes[] = {0, 0x7F, 0xFF};
    const DWORD dword = 0x80000001u;
    const unsigned long long qword = 1ull << 40;
    Seed(u"Sz", REG_SZ, text, sizeof text);
    Seed(u"ExpandSz", REG_EXPAND_SZ, u"%SystemRoot%", 26);
    Seed(u"Multi", REG_MULTI_SZ, multi, sizeof multi);
    Seed(u"Binary", REG_BINARY, bytes, sizeof bytes);
    Seed(u"Dword", REG_DWORD, &dword, sizeof dword);
    Seed(u"Qword", REG_QWORD, &qword, sizeof qword);
    auto read = [&](const std::u16string& value) {
        return Method(shell, u"RegRead", {(u"HKLM\\SOFTWARE\\Kavrel Kinds\\" + value).c_str()});
    };
    EXPECT_EQ(std::u16string(read(u"Sz").result.bstrVal), u"text");
    EXPECT_EQ(std::u16string(read(u"ExpandSz").result.bstrVal), u"%SystemRoot%");
    auto strings = Elements(read(u"Multi").result);
    ASSERT_EQ(strings.size(), 2u);
    EXPECT_EQ(std::u16string(strings[1].bstrVal), u"two");
    auto octets = Elements(read(u"Binary").result);
    ASSERT_EQ(octets.size(), 3u);
    EXPECT_EQ(octets[2].vt, VT_UI1);
    EXPECT_EQ(octets[2].bVal, 0xFF);
    Outcome d = read(u"Dword");
    EXPECT_EQ(d.result.vt, VT_I4);
    EXPECT_EQ(DWORD(d.result.lVal), dword);
    EXPECT_EQ(read(u"Qword").result.dblVal, double(qword));
    Outcome missing = read(u"Missing");
    EXPECT_EQ(missing.scode, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(
        missing.description,
        u"Unable to open registry key \"HKLM\\SOFTWARE\\Kavrel Kinds\\Missing\" for reading.");
}

TEST(WshShell, EnvironmentSetsByName) {
    ScopedApartment apartment;
    IDispatchPtr shell = Create(u"WScript.Shell");
    Outcome process = Method(shell, u"Environment", {u"Process"});
    ASSERT_EQ(process.result.vt, VT_DISPATCH);
    IDispatchPtr env(process.result.pdispVal);
    ASSERT_EQ(Put(env, u"Item", {u"KAVREL_SHELL_VAR", u"v 1"}).hr, S_OK);
    WCHAR buffer[16] = {};
    EXPECT_EQ(GetEnvironmentVariableW(u"KAVREL_SHELL_VAR", buffer, 16), 3u);
    EXPECT_EQ(
        std::u16string(
            Method(shell, u"ExpandEnvironmentStrings", {u"<%KAVREL_SHELL_VAR%>"}).result.bstrVal),
        u"<v 1>");
    EXPECT_EQ(Method(env, u"Remove", {u"KAVREL_SHELL_VAR"}).hr, S_OK);
    EXPECT_EQ(GetEnvironmentVariableW(u"KAVREL_SHELL_VAR", buffer, 16), 0u);

    IDispatchPtr system(Method(shell, u"Environment", {u"SYSTEM"}).result.pdispVal);
    ASSERT_EQ(Put(system, u"Item", {u"KAVREL_MACHINE", u"%WINDIR%\\x"}).hr, S_OK);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                            u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", 0,
                            KEY_READ, &key),
              ERROR_SUCCESS);
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"KAVREL_MACHINE", nullptr, &type, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_EXPAND_SZ);  // a value with a variable in it expands when read
    RegCloseKey(key);
    EXPECT_EQ(Method(shell, u"Environment", {u"Nonsense"}).scode, HRESULT(0x800A0005));
}

// An Exec stream's text counts against the bound on what objects hold for scripts: a read that
// would pass it fails with E_OUTOFMEMORY, and the stream gives its room back when released.
TEST(WshShell, ExecOutputPastTheHeldMemoryBoundFailsTheRead) {
    ScopedApartment apartment;
    const size_t before = kvwin::HeldMemoryInUse();
    kvtest::ScopedHeldMemoryBound bound(before + 1000000);
    {
        IDispatchPtr shell = Create(u"WScript.Shell");
        Outcome exec = Method(shell, u"Exec", {u"sh -c \"yes aaaaaaa | head -c 800000\""});
        ASSERT_EQ(exec.hr, S_OK);
        ASSERT_EQ(exec.result.vt, VT_DISPATCH);
        Outcome out = Method(exec.result.pdispVal, u"StdOut");
        ASSERT_EQ(out.result.vt, VT_DISPATCH);
        Outcome all = Method(out.result.pdispVal, u"ReadAll");
        EXPECT_TRUE(all.hr == E_OUTOFMEMORY ||
                    (all.hr == DISP_E_EXCEPTION && all.scode == E_OUTOFMEMORY))
            << std::hex << all.hr << " " << all.scode;
    }
    EXPECT_EQ(kvwin::HeldMemoryInUse(), before);
}

}  // namespace
}  // namespace scriptingtest
