// The engine's COM surface: states, named items, GetScriptDispatch, errors and their
// positions, by-reference arguments through COM.
#include "vbs_test_support.h"

namespace vbstest {
namespace {

TEST(VBScriptEngine, RunsAFunctionThroughTheScriptDispatch) {
    ScopedApartment apartment;
    Script s;
    ASSERT_EQ(s.Parse(u"Function Add(a, b)\n  Add = a + b\nEnd Function\n"), S_OK);
    ASSERT_EQ(s.Start(), S_OK);
    VARIANT a, b, r;
    a.vt = VT_I4;
    a.lVal = 40;
    b.vt = VT_I4;
    b.lVal = 2;
    VariantInit(&r);
    ASSERT_EQ(s.Call(u"ADD", &r, {a, b}), S_OK) << s.Errors();
    EXPECT_EQ(r.vt, VT_I4);
    EXPECT_EQ(r.lVal, 42);
}

}  // namespace
}  // namespace vbstest
