// Script texts built to exhaust the stack: deep nesting in the compiler, in regular
// expressions, in JSON and in calls. Each is refused with a script error, never by running
// out of stack, on a 256 KB thread stack where an unbounded recursion would crash.
#include "kvtest/held_memory_bound.h"
#include "kvtest/script_test_support.h"
#include "kvtest/small_stack.h"

namespace jstest {
namespace {

std::u16string Repeat(std::u16string_view piece, size_t count) {
    std::u16string text;
    text.reserve(piece.size() * count);
    for (size_t i = 0; i < count; ++i)
        text += piece;
    return text;
}

std::u16string Nest(std::u16string_view open, std::u16string_view inner, std::u16string_view close,
                    size_t depth) {
    return Repeat(open, depth) + std::u16string(inner) + Repeat(close, depth);
}

TEST(JScriptHostile, DeepNestingIsAnErrorNotACrashOnASmallStack) {
    const size_t kDeep = 100000;
    const std::u16string compiled[] = {
        u"var x = " + Nest(u"(", u"1", u")", kDeep) + u";",
        u"var x = " + Nest(u"[", u"1", u"]", kDeep) + u";",
        u"var x = " + Nest(u"{a:", u"1", u"}", kDeep) + u";",
        u"var x = " + Repeat(u"-", kDeep) + u"1;",
        u"var x = " + Repeat(u"!", kDeep) + u"1;",
        u"var x = " + Repeat(u"a ? ", kDeep) + u"1" + Repeat(u" : 0", kDeep) + u";",
        Nest(u"{", u"", u"}", kDeep),
        Nest(u"if (1) ", u";", u"", kDeep),
        Nest(u"function f() {", u"", u"}", kDeep),
        Nest(u"(function () {", u"", u"})();", kDeep),
        Nest(u"f(", u"g(1) = 2", u")", kDeep) + u" = 3;",  // assignments to calls
        Repeat(u"a(1) = ", kDeep) + u"1;",                 // (rewritten before compiling)
        Repeat(u"a[", kDeep) + u"b(1) = 2",                // brackets never closed
        Repeat(u"(", kDeep),                               // never closed
    };
    const std::u16string run[] = {
        u"/" + Nest(u"(", u"a", u")", kDeep) + u"/.test('a');",
        u"new RegExp('" + Nest(u"(?:", u"a", u")", kDeep) + u"');",
        u"/(a|b)*c/.test('" + Repeat(u"ab", kDeep) + u"');",
        u"JSON.parse('" + Nest(u"[", u"", u"]", kDeep) + u"');",
        u"JSON.parse('" + Nest(u"{\"a\":", u"1", u"}", kDeep) + u"');",
        u"var a = []; for (var i = 0; i < 100000; ++i) a = [a]; JSON.stringify(a);",
        u"var o = {}; for (var i = 0; i < 100000; ++i) o = {p: o}; String(o);",
        // Not tail calls, which Duktape runs in constant space (an endless loop, which only
        // the time limit stops).
        u"function f(n) { return 1 + f(n + 1); } f(0);",
        u"function g(n) { return [1].map(function () { return g(n + 1); }); } g(0);",
        u"var s = 'x'; for (var i = 0; i < 20; ++i) s = s + s; eval(s.replace(/x/g, '('));",
    };
    ASSERT_TRUE(kvtest::RunOnSmallStack([&] {
        ScopedApartment apartment;
        for (const std::u16string& text : compiled) {
            Script s;
            EXPECT_TRUE(FAILED(s.Parse(text))) << kvwin::ToUtf8(text.substr(0, 40));
        }
        for (const std::u16string& text : run) {
            Script s;
            // The text runs when the engine starts; whether it fails there or not, the engine
            // still works afterwards.
            if (SUCCEEDED(s.Parse(text)))
                s.Start();
            VARIANT result;
            VariantInit(&result);
            EXPECT_EQ(s.Start(), S_OK);
            EXPECT_EQ(s.Parse(u"1 + 1", SCRIPTTEXT_ISEXPRESSION, &result), S_OK);
            EXPECT_EQ(TextOf(&result), u"2");
            VariantClear(&result);
        }
        // Moderate nesting still compiles and runs.
        Script s;
        VARIANT result;
        VariantInit(&result);
        EXPECT_EQ(s.Parse(Nest(u"(", u"1", u")", 50) + u" + " + Nest(u"[", u"2", u"]", 50) +
                              u".toString()",
                          SCRIPTTEXT_ISEXPRESSION, &result),
                  S_OK);
        EXPECT_EQ(TextOf(&result), u"12");
        VariantClear(&result);
    }));
}

TEST(JScriptHostile, AScriptKeepingEverythingItMakesEndsInAnError) {
    // Some 1.5 GB of distinct texts, all kept: past the heap's budget the script gets a
    // error it can catch, and once it lets them go the engine runs on.
    ScopedApartment apartment;
    Script s;
    ASSERT_EQ(s.Parse(u"var kept = [], caught = '';"
                      u"var big = new Array(1 << 20).join('x');"
                      u"try { for (var i = 0; i < 1536; ++i) kept.push(big + i); }"
                      u"catch (e) { caught = String(e); }"
                      u"var count = kept.length; kept = null;"),
              S_OK);
    ASSERT_EQ(s.Start(), S_OK);
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(s.Parse(u"caught + ' ' + (count < 1536)", SCRIPTTEXT_ISEXPRESSION, &result), S_OK);
    EXPECT_EQ(TextOf(&result), u"Error: alloc failed true");
    VariantClear(&result);
    ASSERT_EQ(s.Parse(u"(big + 'y').length", SCRIPTTEXT_ISEXPRESSION, &result), S_OK);
    EXPECT_EQ(TextOf(&result), u"1048576");
    VariantClear(&result);
}

TEST(JScriptHostile, ObjectsAScriptKeepsInNumbersStopAtTheHeldMemoryBound) {
    // Every COM object counts against the bound on what objects hold for scripts: new
    // dictionaries kept in an array, and script objects handed to a dictionary (each one gets
    // a dispatch object), end in an error the script catches; released, the room is back.
    ScopedApartment apartment;
    const size_t before = kvwin::HeldMemoryInUse();
    {
        kvtest::ScopedHeldMemoryBound bound(before + 2000000);
        Script s;
        ASSERT_EQ(s.Parse(u"function fill(make) {"
                          u"  var kept = [];"
                          u"  try { for (var i = 0; i < 1000000; ++i) kept.push(make(i)); }"
                          u"  catch (e) { return e.number + ' ' + kept.length; }"
                          u"  return 'no error';"
                          u"}"
                          u"var made = fill(function () {"
                          u"  return new ActiveXObject('Scripting.Dictionary'); });"
                          u"var bag = new ActiveXObject('Scripting.Dictionary');"
                          u"var given = fill(function (i) { bag.Add(i, {n: i}); return null; });"
                          u"bag = null;"),
                  S_OK);
        ASSERT_EQ(s.Start(), S_OK) << s.Errors();
        for (const char16_t* name : {u"made", u"given"}) {
            VARIANT result;
            VariantInit(&result);
            ASSERT_EQ(s.Parse(name, SCRIPTTEXT_ISEXPRESSION, &result), S_OK);
            const std::u16string text = TextOf(&result);
            VariantClear(&result);
            ASSERT_EQ(text.rfind(u"-2147024882 ", 0), 0u) << kvwin::ToUtf8(text);
            EXPECT_GT(std::stol(kvwin::ToUtf8(text.substr(12))), 1000);
        }
        ASSERT_EQ(s.Parse(u"new ActiveXObject('Scripting.Dictionary').Count"), S_OK);
    }
    EXPECT_EQ(kvwin::HeldMemoryInUse(), before);
}

}  // namespace
}  // namespace jstest
