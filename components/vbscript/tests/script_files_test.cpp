// The behaviour scripts in scripts/*.vbs: each runs in a fresh engine with the named item
// "Test" (ok cond, msg); every failed check and every script error is a test failure.
#include "kvtest/script_runs.h"
#include "kvwin/moniker_names.h"
#include "vbs_test_support.h"

namespace vbstest {
namespace {

class ScriptFiles : public ::testing::TestWithParam<const char*> {};

TEST_P(ScriptFiles, PassEveryCheck) {
    ScopedApartment apartment;
    kvwin::RegisterMonikerPrefix(u"kvtest:", BindTestName);
    {
        Script s(true, SCRIPTITEM_ISVISIBLE | SCRIPTITEM_GLOBALMEMBERS);
        kvtest::RunScriptFile(s, std::string(KV_VBSCRIPT_TEST_SCRIPTS) + "/" + GetParam());
    }
    kvwin::UnregisterMonikerPrefix(u"kvtest:");
}

INSTANTIATE_TEST_SUITE_P(VBScript, ScriptFiles,
                         ::testing::Values("statements.vbs", "operators.vbs", "errors.vbs",
                                           "procedures.vbs", "builtins.vbs", "com_objects.vbs",
                                           "classes.vbs", "regexp.vbs", "text.vbs", "dates.vbs",
                                           "numbers.vbs"),
                         [](const auto& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

}  // namespace
}  // namespace vbstest
