// The behaviour scripts in scripts/*.js: each runs in a fresh engine with the named item
// "Test" (ok(cond, msg)); every failed check is a test failure.
#include <filesystem>
#include "kvtest/script_runs.h"
#include "kvtest/script_test_support.h"
#include "kvwin/moniker_names.h"

namespace jstest {
namespace {

std::string ScriptPath(const char* name) {
    return std::string(KV_JSCRIPT_TEST_SCRIPTS) + "/" + name;
}

class ScriptFiles : public ::testing::TestWithParam<const char*> {};

TEST_P(ScriptFiles, PassEveryCheck) {
    ScopedApartment apartment;
    kvwin::RegisterMonikerPrefix(u"kvtest:", BindTestName);
    {
        Script s;
        kvtest::RunScriptFile(s, ScriptPath(GetParam()));
    }
    kvwin::UnregisterMonikerPrefix(u"kvtest:");
}

INSTANTIATE_TEST_SUITE_P(JScript, ScriptFiles,
                         ::testing::Values("language.js", "com_objects.js", "dictionary.js",
                                           "filesystem.js", "shell.js", "conditional.js",
                                           "call_assignment.js"),
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
    kvtest::RunScriptFile(s, ScriptPath(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(VBScript, VBScriptFiles,
                         ::testing::Values("objects.vbs", "dictionary.vbs", "filesystem.vbs"),
                         [](const auto& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

}  // namespace
}  // namespace jstest
