// The engine's COM surface: states, named items, several blocks, GetScriptDispatch,
// OnScriptError positions, expressions, and by-reference arguments through COM.
#include <cstdlib>

#include "kvwin/moniker_names.h"
#include "vbs_test_support.h"
#include "win/registry.h"

namespace vbstest {
namespace {

VARIANT Long(LONG v) {
    VARIANT x;
    x.vt = VT_I4;
    x.lVal = v;
    return x;
}

TEST(VBScriptEngine, RunsAFunctionThroughTheScriptDispatch) {
    ScopedApartment apartment;
    Script s;
    ASSERT_EQ(s.Parse(u"Function Add(a, b)\n  Add = a + b\nEnd Function\n"), S_OK);
    ASSERT_EQ(s.Start(), S_OK);
    _variant_t r;
    ASSERT_EQ(s.Call(u"ADD", &r, {Long(40), Long(2)}), S_OK) << s.Errors();
    EXPECT_EQ(r.vt, VT_I4);
    EXPECT_EQ(r.lVal, 42);
    EXPECT_EQ(s.Call(u"NoSuchFunction", &r), DISP_E_UNKNOWNNAME);
}

TEST(VBScriptEngine, StatesAndCloseAsTheHostSeesThem) {
    ScopedApartment apartment;
    Script s;
    ASSERT_EQ(s.Parse(u"Dim ran : ran = 1"), S_OK);
    VARIANT before;
    VariantInit(&before);
    // Global code waits for the start.
    EXPECT_EQ(s.Parse(u"ran", SCRIPTTEXT_ISEXPRESSION, &before), S_OK);
    EXPECT_EQ(before.vt, VT_EMPTY);
    ASSERT_EQ(s.Start(), S_OK);
    _variant_t after;
    EXPECT_EQ(s.Parse(u"ran + 1", SCRIPTTEXT_ISEXPRESSION, &after), S_OK);
    EXPECT_EQ(after.vt, VT_I2);
    EXPECT_EQ(after.iVal, 2);
    ASSERT_GE(s.site->states.size(), 2u);
    EXPECT_EQ(s.site->states.front(), SCRIPTSTATE_INITIALIZED);
    EXPECT_EQ(s.site->states.back(), SCRIPTSTATE_CONNECTED);
    s.site->AddRef();  // Close lets go of the site
    EXPECT_EQ(s.engine->Close(), S_OK);
    EXPECT_EQ(s.site->states.back(), SCRIPTSTATE_CLOSED);
    s.site->Release();
    EXPECT_EQ(s.Parse(u"1"), E_UNEXPECTED);
    IDispatch* global = nullptr;
    EXPECT_EQ(s.engine->GetScriptDispatch(nullptr, &global), E_UNEXPECTED);
}

TEST(VBScriptEngine, SeveralBlocksShareOneScriptEachWithItsOwnOptionExplicit) {
    ScopedApartment apartment;
    Script s;
    ASSERT_EQ(
        s.Parse(u"Option Explicit\nDim shared\nFunction Twice(x)\n Twice = 2 * x\nEnd Function\n"),
        S_OK);
    ASSERT_EQ(s.Parse(u"Option Explicit\nshared = Twice(21)\n"), S_OK);
    ASSERT_EQ(s.Parse(u"loose = shared + 1\n"), S_OK);  // no Option Explicit here
    ASSERT_EQ(s.Start(), S_OK) << s.Errors();
    _variant_t r;
    ASSERT_EQ(s.Parse(u"loose", SCRIPTTEXT_ISEXPRESSION, &r), S_OK);
    EXPECT_EQ(r.vt, VT_I2);
    EXPECT_EQ(r.iVal, 43);
    EXPECT_EQ(s.Parse(u"Option Explicit\nundeclared = 1\n"), SCRIPT_E_REPORTED);
    ASSERT_EQ(s.site->errors.size(), 1u);
    EXPECT_EQ(s.site->errors[0].code, HRESULT(0x800A01F4));  // 500
    EXPECT_EQ(s.site->errors[0].description, u"Variable is undefined: 'undeclared'");
}

TEST(VBScriptEngine, CompileErrorsReportTheirPosition) {
    ScopedApartment apartment;
    Script s;
    std::u16string code = u"Dim a\na = 1\nIf a Then\n  a = (1 +\nEnd If\n";
    EXPECT_EQ(s.parse->ParseScriptText(code.c_str(), nullptr, nullptr, nullptr, 7, 10, 0, nullptr,
                                       nullptr),
              SCRIPT_E_REPORTED);
    ASSERT_EQ(s.site->errors.size(), 1u);
    const auto& e = s.site->errors[0];
    EXPECT_EQ(e.code, HRESULT(0x800A03FF));  // 1023: expected expression
    EXPECT_EQ(e.source, u"VBScript compilation error");
    EXPECT_EQ(e.line, 13u);  // the fourth line, counted from the starting line 10
    EXPECT_EQ(e.cookie, 7u);
    EXPECT_EQ(e.line_text, u"  a = (1 +");
}

TEST(VBScriptEngine, ABlockThatDoesNotCompileLeavesNothingCallable) {
    ScopedApartment apartment;
    Script s;
    EXPECT_EQ(s.Parse(u"Function Half()\n Half = 1\nEnd Function\nClass C\n Sub M\n"
                      u"  Exit Do\n End Sub\nEnd Class\n"),
              SCRIPT_E_REPORTED);
    ASSERT_EQ(s.Start(), S_OK);
    EXPECT_EQ(s.Parse(u"On Error Resume Next\nx = Half()\nTest.ok Err.Number = 13, Err.Number\n"
                      u"Set o = New C\no.M\n"),
              S_OK)
        << s.Errors();
    s.ExpectChecksPassed(1);
}

TEST(VBScriptEngine, RunTimeErrorsReportLineColumnAndText) {
    ScopedApartment apartment;
    Script s;
    EXPECT_EQ(s.Run(u"Dim a\nSub Inner\n  a = 1 / 0\nEnd Sub\nInner\n"), SCRIPT_E_REPORTED);
    ASSERT_EQ(s.site->errors.size(), 1u);
    const auto& e = s.site->errors[0];
    EXPECT_EQ(e.code, HRESULT(0x800A000B));
    EXPECT_EQ(e.description, u"Division by zero");
    EXPECT_EQ(e.source, u"VBScript runtime error");
    EXPECT_EQ(e.line, 2u);
    EXPECT_EQ(e.column, 2);
    EXPECT_EQ(e.line_text, u"  a = 1 / 0");
}

TEST(VBScriptEngine, RaisedErrorsCarryTheirNumberAndText) {
    ScopedApartment apartment;
    Script s;
    EXPECT_EQ(s.Run(u"Err.Raise vbObjectError + 7, \"src\", \"custom\"\n"), SCRIPT_E_REPORTED);
    ASSERT_EQ(s.site->errors.size(), 1u);
    EXPECT_EQ(s.site->errors[0].code, HRESULT(0x80040007));
    EXPECT_EQ(s.site->errors[0].description, u"custom");
    EXPECT_EQ(s.site->errors[0].source, u"src");
}

// The library's host: a GLOBALMEMBERS item whose object the site never hands out.
TEST(VBScriptEngine, ANamedItemTheSiteDoesNotKnowLeavesTheScriptRunning) {
    ScopedApartment apartment;
    Script s(false);
    ASSERT_EQ(s.engine->AddNamedItem(u"Scripter", SCRIPTITEM_ISVISIBLE | SCRIPTITEM_GLOBALMEMBERS),
              S_OK);
    std::u16string code = u"Function Collect()\n Collect = \"<row/>\" & missing\nEnd Function\n";
    ASSERT_EQ(s.parse->ParseScriptText(code.c_str(), u"Scripter", nullptr, nullptr, 0, 0, 0,
                                       nullptr, nullptr),
              S_OK);
    ASSERT_EQ(s.Start(), S_OK);
    IDispatch* dispatch = nullptr;
    ASSERT_EQ(s.engine->GetScriptDispatch(u"Scripter", &dispatch), S_OK);
    LPOLESTR name = const_cast<LPOLESTR>(u"Collect");
    DISPID id = 0;
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
    DISPPARAMS none{};
    _variant_t result;
    EXPECT_EQ(dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr),
              S_OK)
        << s.Errors();
    EXPECT_EQ(std::u16string(result.bstrVal), u"<row/>");
    dispatch->Release();
}

TEST(VBScriptEngine, OutParametersOfComMethodsReachVariablesAndArrayElements) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\KavrelVbs\\Apps\\One", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::u16string_view text(u"First app", 10);
    ASSERT_EQ(RegSetValueExW(key, u"DisplayName", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(text.data()), DWORD(text.size() * 2)),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\KavrelVbs\\Apps\\Two", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ScopedApartment apartment;
    Script s;
    EXPECT_EQ(
        s.Run(
            u"Const HKLM = &H80000002\n"
            u"Dim reg, keys, name, names(1), rc, k, seen\n"
            u"Set reg = "
            u"GetObject(\"winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\default:"
            u"StdRegProv\")\n"
            u"rc = reg.EnumKey(HKLM, \"SOFTWARE\\KavrelVbs\\Apps\", keys)\n"
            u"Test.ok rc = 0 And IsArray(keys), \"EnumKey fills its out parameter\"\n"
            u"For Each k In keys\n seen = seen & k & \";\"\nNext\n"
            u"Test.ok seen = \"One;Two;\", \"For Each over the returned array: \" & seen\n"
            u"reg.GetStringValue HKLM, \"SOFTWARE\\KavrelVbs\\Apps\\One\", \"DisplayName\", name\n"
            u"Test.ok name = \"First app\", \"a variable by reference: \" & name\n"
            u"reg.GetStringValue HKLM, \"SOFTWARE\\KavrelVbs\\Apps\\One\", \"DisplayName\", "
            u"names(1)\n"
            u"Test.ok names(1) = \"First app\", \"an array element by reference\"\n"
            u"reg.GetStringValue HKLM, \"SOFTWARE\\KavrelVbs\\Apps\\One\", \"DisplayName\", (rc)\n"
            u"Test.ok rc = 0, \"a parenthesised argument stays as it was\"\n"),
        S_OK)
        << s.Errors();
    s.ExpectChecksPassed(5);
}

TEST(VBScriptEngine, ScriptObjectsHandedToComCallBack) {
    ScopedApartment apartment;
    Script s;
    EXPECT_EQ(s.Run(u"Class Box\n Public Value\n Public Function Twice(x)\n  Twice = 2 * x\n"
                    u" End Function\nEnd Class\n"
                    u"Dim b : Set b = New Box : b.Value = 5\n"
                    u"Function Get5()\n Get5 = 5\nEnd Function\n"
                    u"Test.ok Test.Call(GetRef(\"Get5\")) = 5, \"GetRef through COM\"\n"),
              S_OK)
        << s.Errors();
    EXPECT_TRUE(s.helper->failures.empty());
    // The instance seen from outside: members by name without regard to case.
    _variant_t box;
    ASSERT_EQ(s.Parse(u"b", SCRIPTTEXT_ISEXPRESSION, &box), S_OK);
    ASSERT_EQ(box.vt, VT_DISPATCH);
    LPOLESTR name = const_cast<LPOLESTR>(u"TWICE");
    DISPID id = 0;
    ASSERT_EQ(box.pdispVal->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
    VARIANT arg = Long(21);
    DISPPARAMS params{&arg, nullptr, 1, 0};
    _variant_t r;
    ASSERT_EQ(box.pdispVal->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &r, nullptr, nullptr),
              S_OK)
        << s.Errors();
    EXPECT_EQ(r.lVal + r.iVal * (r.vt == VT_I2), 42);
}

}  // namespace
}  // namespace vbstest
