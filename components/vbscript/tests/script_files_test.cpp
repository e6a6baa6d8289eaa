// The behaviour scripts in scripts/*.vbs: each runs in a fresh engine with the named item
// "Test" (ok cond, msg); every failed check and every script error is a test failure.
#include <fstream>
#include <sstream>

#include "kvwin/moniker_names.h"
#include "vbs_test_support.h"

namespace vbstest {
namespace {

std::u16string ReadScript(const std::string& name) {
    std::ifstream in(std::string(KV_VBSCRIPT_TEST_SCRIPTS) + "/" + name, std::ios::binary);
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
        Script s(true, SCRIPTITEM_ISVISIBLE | SCRIPTITEM_GLOBALMEMBERS);
        std::u16string code = ReadScript(GetParam());
        ASSERT_FALSE(code.empty());
        EXPECT_EQ(s.Parse(code), S_OK);
        EXPECT_EQ(s.Start(), S_OK);
        for (const auto& e : s.site->errors)
            ADD_FAILURE() << "script error at line " << e.line + 1 << ", column " << e.column + 1
                          << ": " << kvwin::ToUtf8(e.description);
        for (const auto& f : s.helper->failures)
            ADD_FAILURE() << "check failed: " << f;
        EXPECT_GT(s.helper->checks, 0);
    }
    kvwin::UnregisterMonikerPrefix(u"kvtest:");
}

INSTANTIATE_TEST_SUITE_P(VBScript, ScriptFiles,
                         ::testing::Values("statements.vbs", "operators.vbs", "errors.vbs",
                                           "procedures.vbs", "builtins.vbs", "com_objects.vbs",
                                           "classes.vbs", "dates.vbs", "numbers.vbs"),
                         [](const auto& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

}  // namespace
}  // namespace vbstest
