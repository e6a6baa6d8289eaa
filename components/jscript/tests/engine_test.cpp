// The engine as a host drives it: states, named items, parsing, calls through
// GetScriptDispatch, and errors reaching the site.
#include <cmath>
#include <set>

#include "kvtest/script_test_support.h"
#include "win/dispex.h"

namespace jstest {
namespace {

TEST(JScriptEngine, MovesThroughTheStatesAndTellsTheSite) {
    ScopedApartment apartment;
    IActiveScriptPtr engine;
    ASSERT_EQ(engine.CreateInstance(CLSID_JScript), S_OK);
    SCRIPTSTATE state = SCRIPTSTATE(-1);
    EXPECT_EQ(engine->GetScriptState(&state), S_OK);
    EXPECT_EQ(state, SCRIPTSTATE_UNINITIALIZED);

    auto* site = new RecordingSite();  // the test's reference, kept to read after Close
    EXPECT_EQ(engine->SetScriptSite(site), S_OK);
    EXPECT_EQ(engine->SetScriptSite(site), E_UNEXPECTED);
    EXPECT_EQ(engine->SetScriptState(SCRIPTSTATE_STARTED), S_OK);
    EXPECT_EQ(engine->SetScriptState(SCRIPTSTATE_CONNECTED), S_OK);
    EXPECT_EQ(engine->GetScriptState(&state), S_OK);
    EXPECT_EQ(state, SCRIPTSTATE_CONNECTED);
    EXPECT_EQ(engine->Close(), S_OK);
    EXPECT_EQ(engine->GetScriptState(&state), S_OK);
    EXPECT_EQ(state, SCRIPTSTATE_CLOSED);
    EXPECT_EQ(site->states, (std::vector<SCRIPTSTATE>{SCRIPTSTATE_INITIALIZED, SCRIPTSTATE_STARTED,
                                                      SCRIPTSTATE_CONNECTED, SCRIPTSTATE_CLOSED}));

    // A closed engine does nothing more.
    IDispatch* global = reinterpret_cast<IDispatch*>(0xdeadbeef);
    EXPECT_EQ(engine->GetScriptDispatch(nullptr, &global), E_UNEXPECTED);
    EXPECT_EQ(global, nullptr);
    EXPECT_EQ(engine->AddNamedItem(u"x", SCRIPTITEM_ISVISIBLE), E_UNEXPECTED);
    EXPECT_EQ(engine->SetScriptState(SCRIPTSTATE_CONNECTED), E_UNEXPECTED);
    EXPECT_EQ(site->Release(), 0u);  // the engine released its reference at Close
}

TEST(JScriptEngine, GlobalCodeWaitsUntilTheEngineIsStarted) {
    ScopedApartment apartment;
    Script s;
    ASSERT_EQ(s.Parse(u"var counter = 1; function f() { return counter; }"), S_OK);
    _variant_t before;
    ASSERT_EQ(s.Parse(u"typeof counter", SCRIPTTEXT_ISEXPRESSION, &before), S_OK);
    EXPECT_EQ(TextOf(&before), u"undefined");

    ASSERT_EQ(s.Start(), S_OK);
    ASSERT_EQ(s.Parse(u"counter += 41;"), S_OK);  // runs at once now
    _variant_t after;
    ASSERT_EQ(s.Call(u"f", &after), S_OK);
    EXPECT_EQ(after.vt, VT_I4);
    EXPECT_EQ(after.lVal, 42);
}

TEST(JScriptEngine, ValuesComeBackAsVariantsOfTheirKind) {
    ScopedApartment apartment;
    Script s;
    ASSERT_EQ(s.Start(), S_OK);
    struct Case {
        const char16_t* expression;
        VARTYPE vt;
        const char16_t* text;  // null: not compared
    } cases[] = {
        {u"6 * 7", VT_I4, u"42"},
        {u"-2147483648", VT_I4, u"-2147483648"},
        {u"2147483648", VT_R8, nullptr},
        {u"0.5", VT_R8, nullptr},
        {u"-0", VT_R8, nullptr},
        {u"'a' + 'b'", VT_BSTR, u"ab"},
        {u"'\\ud800x'", VT_BSTR, u"\xD800x"},
        {u"1 < 2", VT_BOOL, nullptr},
        {u"null", VT_NULL, nullptr},
        {u"undefined", VT_EMPTY, nullptr},
        {u"[1, 2]", VT_DISPATCH, nullptr},
        {u"({a: 1})", VT_DISPATCH, nullptr},
        {u"(function () {})", VT_DISPATCH, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(kvwin::ToUtf8(c.expression));
        VARIANT v;
        VariantInit(&v);
        ASSERT_EQ(s.Parse(c.expression, SCRIPTTEXT_ISEXPRESSION, &v), S_OK);
        EXPECT_EQ(v.vt, c.vt);
        if (c.text) {
            EXPECT_EQ(TextOf(&v), c.text);
        }
        VariantClear(&v);
    }
}

TEST(JScriptEngine, TheHostsNamedItemWorksWithoutAnObject) {
    // The library's site answers TYPE_E_ELEMENTNOTFOUND for every item: the item still
    // carries the code, and its dispatch finds the functions.
    ScopedApartment apartment;
    Script s(false);
    ASSERT_EQ(s.engine->AddNamedItem(u"Scripter", SCRIPTITEM_ISVISIBLE | SCRIPTITEM_ISSOURCE |
                                                      SCRIPTITEM_GLOBALMEMBERS),
              S_OK);
    ASSERT_EQ(s.parse->ParseScriptText(u"function Seven() { return 7; }\n"
                                       u"function Text() { return 'x' + typeof Scripter; }\n"
                                       u"function Nothing() {}\n"
                                       u"function Add(a, b) { return a + b; }",
                                       u"Scripter", nullptr, nullptr, 0, 0, 0, nullptr, nullptr),
              S_OK);
    ASSERT_EQ(s.Start(), S_OK);
    IDispatch* disp = nullptr;
    ASSERT_EQ(s.engine->GetScriptDispatch(u"Scripter", &disp), S_OK);
    ASSERT_NE(disp, nullptr);
    disp->Release();
    EXPECT_EQ(s.engine->GetScriptDispatch(u"NoSuchItem", &disp), E_INVALIDARG);

    _variant_t seven, text, nothing, sum;
    EXPECT_EQ(s.Call(u"Seven", &seven), S_OK);
    EXPECT_EQ(seven.vt, VT_I4);
    EXPECT_EQ(seven.lVal, 7);
    EXPECT_EQ(s.Call(u"Text", &text), S_OK);
    EXPECT_EQ(TextOf(&text), u"xundefined");
    EXPECT_EQ(s.Call(u"Nothing", &nothing), S_OK);
    EXPECT_EQ(nothing.vt, VT_EMPTY);
    VARIANT a, b;
    a.vt = b.vt = VT_I4;
    a.lVal = 40;
    b.lVal = 2;
    EXPECT_EQ(s.Call(u"Add", &sum, {a, b}), S_OK);
    EXPECT_EQ(sum.lVal, 42);

    _variant_t unused;
    EXPECT_EQ(s.Call(u"NotDefined", &unused), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(s.Call(u"seven", &unused), DISP_E_UNKNOWNNAME);  // names keep their case
    EXPECT_TRUE(s.site->errors.empty());
}

TEST(JScriptEngine, ARuntimeErrorReachesTheSiteWithItsPosition) {
    ScopedApartment apartment;
    Script s;
    ASSERT_EQ(s.Parse(u"var a = 1;\r\nvar b = 2;\r\n  notDefined();\r\nvar c;", 0, nullptr, 10),
              S_OK);
    EXPECT_EQ(s.Start(), SCRIPT_E_REPORTED);
    ASSERT_EQ(s.site->errors.size(), 1u);
    const ReportedError& e = s.site->errors[0];
    EXPECT_EQ(e.line, 12u);  // zero-based third line, counted from the starting line 10
    EXPECT_EQ(e.column, 0);
    EXPECT_EQ(e.line_text, u"  notDefined();");
    EXPECT_EQ(e.code, HRESULT(0x800A1391));
    EXPECT_NE(e.description.find(u"notDefined"), std::u16string::npos);
    EXPECT_EQ(e.source, u"JScript runtime error");
    EXPECT_EQ(s.site->entered.load(), s.site->left.load());
}

TEST(JScriptEngine, ASyntaxErrorFailsTheParse) {
    ScopedApartment apartment;
    Script s;
    ASSERT_EQ(s.Start(), S_OK);
    EXPECT_EQ(s.Parse(u"var ok = 1;\nvar = ;\n"), SCRIPT_E_REPORTED);
    ASSERT_EQ(s.site->errors.size(), 1u);
    EXPECT_EQ(s.site->errors[0].source, u"JScript compilation error");
    EXPECT_EQ(s.site->errors[0].code, HRESULT(0x800A03EA));
    EXPECT_EQ(s.site->errors[0].line, 1u);
    EXPECT_EQ(s.site->errors[0].line_text, u"var = ;");
}

TEST(JScriptEngine, AnErrorInACalledFunctionFailsTheCall) {
    ScopedApartment apartment;
    Script s;
    ASSERT_EQ(s.Parse(u"function f() {\n  throw new Error('broken');\n}"), S_OK);
    ASSERT_EQ(s.Start(), S_OK);
    _variant_t result;
    EXPECT_EQ(s.Call(u"f", &result), SCRIPT_E_REPORTED);
    EXPECT_EQ(result.vt, VT_EMPTY);
    ASSERT_EQ(s.site->errors.size(), 1u);
    EXPECT_EQ(s.site->errors[0].description, u"broken");
    EXPECT_EQ(s.site->errors[0].line, 1u);
}

TEST(JScriptEngine, ThrownValuesOfAnyKindAreDescribed) {
    // Regression guard: reading the thrown value runs script, which may throw again.
    ScopedApartment apartment;
    Script s;
    ASSERT_EQ(s.Start(), S_OK);
    EXPECT_EQ(s.Parse(u"throw 'plain text';"), SCRIPT_E_REPORTED);
    EXPECT_EQ(s.Parse(u"throw {get message() { throw 1; }};"), SCRIPT_E_REPORTED);
    EXPECT_EQ(s.Parse(u"throw {number: 0x800A0046 | 0, message: 'denied'};"), SCRIPT_E_REPORTED);
    EXPECT_EQ(s.Parse(u"throw {number: 0x800A0046, message: 'denied'};"), SCRIPT_E_REPORTED);
    ASSERT_EQ(s.site->errors.size(), 4u);
    EXPECT_EQ(s.site->errors[3].code, HRESULT(0x800A0046));
    EXPECT_EQ(s.site->errors[0].description, u"plain text");
    EXPECT_EQ(s.site->errors[1].description, u"Exception thrown and not caught");
    EXPECT_EQ(s.site->errors[2].code, HRESULT(0x800A0046));
    EXPECT_EQ(s.site->errors[2].description, u"denied");
}

TEST(JScriptEngine, NamedItemsAreReachableFromScript) {
    ScopedApartment apartment;
    Script s;
    ASSERT_EQ(
        s.Parse(u"Test.ok(Test.Name == 'helper', 'get');\n"
                u"Test.Name = 'renamed';\n"
                u"Test.ok(Test.Call(function (a, b) { return a * b; }, 6, 7) === 42, 'call');\n"
                u"try { Test.Call(function () { throw new Error('inner'); }); Test.ok(false, 'no "
                u"throw'); }\n"
                u"catch (e) { Test.ok(e.message == 'inner', 'nested error: ' + e.message); }\n"
                u"Test.ok(typeof Test.NoSuchMember == 'undefined', 'unknown member');\n"
                u"Test.ok('ok' in Test && !('nope' in Test), 'in');"),
        S_OK);
    ASSERT_EQ(s.Start(), S_OK);
    EXPECT_TRUE(s.site->errors.empty());
    EXPECT_EQ(s.helper->failures, std::vector<std::string>{});
    EXPECT_EQ(s.helper->checks, 5);
    EXPECT_EQ(s.helper->name, u"renamed");
}

// The script seen from COM offers IDispatchEx: names found with or without regard to case,
// added with fdexNameEnsure (and seen by the script), walked, described, deleted where the
// language allows it. Objects a script hands out offer the same.
TEST(JScriptEngine, TheScriptDispatchIsADispatchEx) {
    ScopedApartment apartment;
    Script s;
    ASSERT_EQ(s.Run(u"var count = 3; function twice(n) { return 2 * n; } var Mixed = 'm';"), S_OK);
    IDispatch* global = nullptr;
    ASSERT_EQ(s.engine->GetScriptDispatch(nullptr, &global), S_OK);
    IDispatchEx* ex = nullptr;
    ASSERT_EQ(global->QueryInterface(IID_PPV_ARGS(&ex)), S_OK);
    global->Release();
    auto id_of = [&](const char16_t* name, DWORD flags, DISPID* id) {
        _bstr_t text(name);
        return ex->GetDispID(text, flags, id);
    };
    auto names_of = [](IDispatchEx* object) {
        std::set<std::u16string> names;
        DISPID id = DISPID_STARTENUM;
        for (int guard = 0; guard < 100 && object->GetNextDispID(fdexEnumAll, id, &id) == S_OK;
             ++guard) {
            BSTR name = nullptr;
            EXPECT_EQ(object->GetMemberName(id, &name), S_OK);
            names.insert(name ? std::u16string(name, SysStringLen(name)) : u"");
            SysFreeString(name);
        }
        return names;
    };

    DISPID twice = 0, upper = 0, missing = 0;
    ASSERT_EQ(id_of(u"twice", fdexNameCaseSensitive, &twice), S_OK);
    EXPECT_EQ(id_of(u"TWICE", fdexNameCaseSensitive, &upper), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(upper, DISPID_UNKNOWN);
    ASSERT_EQ(id_of(u"TWICE", fdexNameCaseInsensitive, &upper), S_OK);
    EXPECT_EQ(upper, twice);
    EXPECT_EQ(id_of(u"nothing", fdexNameCaseInsensitive, &missing), DISP_E_UNKNOWNNAME);

    VARIANT arg, result;
    arg.vt = VT_I4;
    arg.lVal = 21;
    VariantInit(&result);
    DISPPARAMS one{&arg, nullptr, 1, 0};
    ASSERT_EQ(
        ex->InvokeEx(twice, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &one, &result, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 42);

    // The walk gives the script's globals, not the host's or the language's.
    EXPECT_EQ(names_of(ex), (std::set<std::u16string>{u"count", u"twice", u"Mixed"}));

    DISPID added = 0;
    ASSERT_EQ(id_of(u"added", fdexNameEnsure | fdexNameCaseSensitive, &added), S_OK);
    VARIANT seven;
    seven.vt = VT_I4;
    seven.lVal = 7;
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS put_seven{&seven, &put, 1, 1};
    ASSERT_EQ(ex->InvokeEx(added, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &put_seven, nullptr,
                           nullptr, nullptr),
              S_OK);
    ASSERT_EQ(s.Parse(u"added * 2", SCRIPTTEXT_ISEXPRESSION, &result), S_OK);
    EXPECT_EQ(result.lVal, 14);
    EXPECT_EQ(names_of(ex).count(u"added"), 1u);

    DWORD props = 0;
    ASSERT_EQ(ex->GetMemberProperties(twice, grfdexPropAll, &props), S_OK);
    EXPECT_TRUE(props & fdexPropCanCall);
    DISPID count = 0;
    ASSERT_EQ(id_of(u"count", 0, &count), S_OK);
    ASSERT_EQ(ex->GetMemberProperties(count, grfdexPropAll, &props), S_OK);
    EXPECT_TRUE((props & fdexPropCannotCall) && (props & fdexPropCanPut));

    // A declared variable stays; a member added from outside can go.
    EXPECT_EQ(ex->DeleteMemberByName(_bstr_t(u"count"), fdexNameCaseSensitive), S_FALSE);
    EXPECT_EQ(ex->DeleteMemberByDispID(added), S_OK);
    EXPECT_EQ(id_of(u"added", 0, &added), DISP_E_UNKNOWNNAME);
    BSTR name = nullptr;
    EXPECT_EQ(ex->GetMemberName(4000, &name), DISP_E_UNKNOWNNAME);
    DISPID next = 0;
    EXPECT_EQ(ex->GetNextDispID(fdexEnumAll, 4000, &next), E_INVALIDARG);
    IUnknown* parent = nullptr;
    EXPECT_EQ(ex->GetNameSpaceParent(&parent), E_NOTIMPL);

    VARIANT object;
    VariantInit(&object);
    ASSERT_EQ(s.Parse(u"({a: 1, b: 2})", SCRIPTTEXT_ISEXPRESSION, &object), S_OK);
    ASSERT_EQ(object.vt, VT_DISPATCH);
    IDispatchEx* member = nullptr;
    ASSERT_EQ(object.pdispVal->QueryInterface(IID_PPV_ARGS(&member)), S_OK);
    EXPECT_EQ(names_of(member), (std::set<std::u16string>{u"a", u"b"}));
    member->Release();
    VariantClear(&object);

    s.engine->Close();
    EXPECT_EQ(id_of(u"twice", 0, &upper), E_UNEXPECTED);
    ex->Release();
}

}  // namespace
}  // namespace jstest

namespace jstest {
namespace {

// Conditional compilation on hostile text: deep nesting and long chains fail to compile or
// run; they never overflow the stack.
TEST(ConditionalCompilation, BoundedOnHostileText) {
    ScopedApartment apartment;
    const std::u16string deep_parens = u"/*@cc_on @if (" + std::u16string(100000, u'(') + u"1" +
                                       std::u16string(100000, u')') + u") var x = 1; @end @*/";
    const std::u16string deep_not =
        u"/*@cc_on @set @a = " + std::u16string(100000, u'!') + u"1 @*/";
    std::u16string long_chain = u"/*@cc_on @set @a = 1";
    for (int i = 0; i < 20000; ++i)
        long_chain += u" + 1";
    long_chain += u"\nvar sum = @a; @*/";
    const std::u16string unbalanced = u"/*@cc_on @if (1) var y = 2; @*/";
    for (const auto* text : {&deep_parens, &deep_not, &unbalanced}) {
        Script s;
        EXPECT_NE(s.Parse(*text), S_OK);
    }
    Script s;
    EXPECT_EQ(s.Parse(long_chain), S_OK);  // long, not deep
}

}  // namespace
}  // namespace jstest
