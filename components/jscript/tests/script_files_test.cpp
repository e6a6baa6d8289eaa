// The behaviour scripts in scripts/*.js: each runs in a fresh engine with the named item
// "Test" (ok(cond, msg)); every failed check is a test failure.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "kvwin/moniker_names.h"
#include "script_test_support.h"

namespace jstest {
namespace {

std::u16string ReadScript(const std::string& name) {
    std::ifstream in(std::string(KV_JSCRIPT_TEST_SCRIPTS) + "/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return kvwin::FromUtf8(text.str());
}

// GetObject("kvtest:...") hands out a helper whose Name is the display name.
HRESULT BindTestName(LPCOLESTR name, REFIID riid, void** ppv) {
    auto* helper = new TestHelper();
    helper->name = name;
    HRESULT hr = helper->QueryInterface(riid, ppv);
    helper->Release();
    return hr;
}

class ScriptFiles : public ::testing::TestWithParam<const char*> {};

TEST_P(ScriptFiles, PassEveryCheck) {
    ScopedApartment apartment;
    kvwin::RegisterMonikerPrefix(u"kvtest:", BindTestName);
    {
        Script s;
        std::u16string code = ReadScript(GetParam());
        ASSERT_FALSE(code.empty());
        EXPECT_EQ(s.Parse(code), S_OK);
        EXPECT_EQ(s.Start(), S_OK);
        for (const auto& e : s.site->errors)
            ADD_FAILURE() << "script error at line " << e.line + 1 << ": "
                          << kvwin::ToUtf8(e.description);
        for (const auto& f : s.helper->failures)
            ADD_FAILURE() << "check failed: " << f;
        EXPECT_GT(s.helper->checks, 0);
    }
    kvwin::UnregisterMonikerPrefix(u"kvtest:");
}

INSTANTIATE_TEST_SUITE_P(JScript, ScriptFiles,
                         ::testing::Values("language.js", "com_objects.js", "dictionary.js",
                                           "filesystem.js", "shell.js", "conditional.js"),
                         [](const auto& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

// The same objects from VBScript, where the language differs: by-reference out parameters,
// For Each, default members called with arguments. Skipped while no VBScript engine is
// registered.
class VBScriptFiles : public ::testing::TestWithParam<const char*> {};

TEST_P(VBScriptFiles, PassEveryCheck) {
    ScopedApartment apartment;
    IUnknown* probe = nullptr;
    if (FAILED(CoCreateInstance(CLSID_VBScript, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                reinterpret_cast<void**>(&probe))))
        GTEST_SKIP() << "no VBScript engine is registered yet";
    probe->Release();
    Script s(true, CLSID_VBScript);
    std::u16string code = ReadScript(GetParam());
    ASSERT_FALSE(code.empty());
    EXPECT_EQ(s.Parse(code), S_OK);
    EXPECT_EQ(s.Start(), S_OK);
    for (const auto& e : s.site->errors)
        ADD_FAILURE() << "script error at line " << e.line + 1 << ": "
                      << kvwin::ToUtf8(e.description);
    for (const auto& f : s.helper->failures)
        ADD_FAILURE() << "check failed: " << f;
    EXPECT_GT(s.helper->checks, 0);
}

INSTANTIATE_TEST_SUITE_P(VBScript, VBScriptFiles,
                         ::testing::Values("objects.vbs", "dictionary.vbs", "filesystem.vbs"),
                         [](const auto& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

}  // namespace
}  // namespace jstest
