// The parts of kavrel-script that need no engine: the command line, the choice of engine,
// decoding script files, and the texts it prints.
#include <gtest/gtest.h>

#include <csignal>
#include <future>

#include "script_options.h"
#include "script_source.h"
#include "value_text.h"
#include "watchdog.h"
#include "win/oleauto.h"

namespace {

ScriptToolOptions Parse(const std::vector<std::string>& arguments, std::string* problem = nullptr) {
    ScriptToolOptions options;
    std::string reason;
    const bool parsed = ParseScriptToolOptions(arguments, options, reason);
    if (problem)
        *problem = parsed ? std::string() : reason;
    return options;
}

TEST(ScriptToolOptions, FilesOptionsAndTheArgumentsAfterTheDoubleDash) {
    ScriptToolOptions options =
        Parse({"--engine", "VBScript", "a.txt", "--timeout=250", "b.txt", "--", "--engine", "x"});
    EXPECT_EQ(options.engine, ScriptLanguage::VBScript);
    EXPECT_EQ(options.timeoutMs, 250u);
    EXPECT_EQ(options.files, (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(options.arguments, (std::vector<std::string>{"--engine", "x"}));

    options = Parse({"--engine=jscript", "-", "x.js"});  // "-" is a file name
    EXPECT_EQ(options.engine, ScriptLanguage::JScript);
    EXPECT_EQ(options.files, (std::vector<std::string>{"-", "x.js"}));
    EXPECT_TRUE(Parse({"--help"}).help);
    EXPECT_TRUE(Parse({"--version"}).version);
}

TEST(ScriptToolOptions, BadUsageNamesTheProblem) {
    std::string problem;
    Parse({}, &problem);
    EXPECT_EQ(problem, "no script file given");
    Parse({"a.js", "--", "b.js"}, &problem);  // arguments, not files
    EXPECT_EQ(problem, "");
    Parse({"--", "a.js"}, &problem);
    EXPECT_EQ(problem, "no script file given");
    Parse({"--engine", "perl", "a.js"}, &problem);
    EXPECT_EQ(problem, "unknown engine 'perl' (vbscript or jscript)");
    Parse({"a.js", "--engine"}, &problem);
    EXPECT_EQ(problem, "--engine needs a value");
    for (const char* bad : {"0", "-5", "12ms", "", "99999999999"}) {
        Parse({"--timeout", bad, "a.js"}, &problem);
        EXPECT_EQ(problem, std::string("bad time-out '") + bad + "' (milliseconds, 1 or more)");
    }
    Parse({"--help=yes"}, &problem);
    EXPECT_EQ(problem, "unknown option '--help=yes'");
    Parse({"-x", "a.js"}, &problem);
    EXPECT_EQ(problem, "unknown option '-x'");
}

TEST(ScriptToolOptions, TheEngineComesFromTheOptionOrEveryFilesExtension) {
    EXPECT_EQ(LanguageOfFile("dir.js/Inventory.VBS"), ScriptLanguage::VBScript);
    EXPECT_EQ(LanguageOfFile("x.vbe"), ScriptLanguage::VBScript);
    EXPECT_EQ(LanguageOfFile("x.JS"), ScriptLanguage::JScript);
    EXPECT_EQ(LanguageOfFile("x.jse"), ScriptLanguage::JScript);
    EXPECT_EQ(LanguageOfFile("x.json"), std::nullopt);
    EXPECT_EQ(LanguageOfFile("js"), std::nullopt);

    ScriptLanguage language{};
    std::string problem;
    EXPECT_TRUE(ChooseLanguage(Parse({"a.js", "b.jse"}), language, problem));
    EXPECT_EQ(language, ScriptLanguage::JScript);
    EXPECT_TRUE(
        ChooseLanguage(Parse({"--engine", "vbscript", "a.js", "b.txt"}), language, problem));
    EXPECT_EQ(language, ScriptLanguage::VBScript);
    EXPECT_FALSE(ChooseLanguage(Parse({"a.js", "b.vbs"}), language, problem));
    EXPECT_EQ(problem, "one engine per run: a.js is JScript and b.vbs is VBScript");
    EXPECT_FALSE(ChooseLanguage(Parse({"a.js", "b.txt"}), language, problem));
    EXPECT_EQ(problem,
              "b.txt: the extension names no engine (.vbs, .vbe, .js, .jse); use --engine");
}

TEST(ScriptSource, TextIsUtf8OrUtf16WithItsMark) {
    EXPECT_EQ(DecodeScriptText("x = \xC3\xA9"), u"x = \u00E9");
    EXPECT_EQ(DecodeScriptText("\xEF\xBB\xBFx\r\n"), u"x\r\n");
    EXPECT_EQ(DecodeScriptText(std::string("\xFF\xFEx\0\xE9\0", 6)), u"x\u00E9");
    EXPECT_EQ(DecodeScriptText(std::string("\xFE\xFF\0x\x20\xAC", 6)), u"x\u20AC");
    EXPECT_EQ(DecodeScriptText(std::string("\xFF\xFEx\0y", 5)), u"x");  // an odd last byte
    EXPECT_EQ(DecodeScriptText("a\xFF"), u"a\uFFFD");                   // malformed UTF-8
}

TEST(ValueText, ValuesReadAsEchoPrintsThem) {
    std::u16string text;
    EXPECT_EQ(ValueText(nullptr, text), S_OK);
    EXPECT_EQ(text, u"");
    VARIANT value;
    VariantInit(&value);
    EXPECT_EQ(ValueText(&value, text), S_OK);
    EXPECT_EQ(text, u"");
    value.vt = VT_NULL;
    EXPECT_EQ(ValueText(&value, text), S_OK);
    EXPECT_EQ(text, u"null");
    value.vt = VT_BOOL;
    value.boolVal = VARIANT_TRUE;
    EXPECT_EQ(ValueText(&value, text), S_OK);
    EXPECT_EQ(text, u"True");
    value.vt = VT_R8;
    value.dblVal = 2.5;
    VARIANT byReference;
    byReference.vt = VT_BYREF | VT_VARIANT;
    byReference.pvarVal = &value;
    EXPECT_EQ(ValueText(&byReference, text), S_OK);
    EXPECT_EQ(text, u"2.5");
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    value.vt = VT_ARRAY | VT_VARIANT;
    value.parray = array;
    EXPECT_TRUE(FAILED(ValueText(&value, text)));
    VariantClear(&value);
}

TEST(ValueText, ScriptErrorsAndCodesReadAsTheToolPrintsThem) {
    EXPECT_EQ(FormatScriptError("dir/a.vbs", 3, 7, static_cast<HRESULT>(0x800A000D),
                                u"Type mismatch\r\n"),
              "dir/a.vbs(3, 7) error 800A000D: Type mismatch\n");
    EXPECT_EQ(DescribeHResult(static_cast<HRESULT>(0x80040154)),
              "0x80040154 (The class is not registered)");
    EXPECT_EQ(DescribeHResult(static_cast<HRESULT>(0x8ABC0001)), "0x8ABC0001");
}

TEST(Watchdog, TheTimeLimitStopsTheRunAndARunThatDoesNotEndIsReportedStuck) {
    RunControl control;
    std::promise<void> stuck;
    {
        Watchdog watchdog(
            control, 50, [&stuck] { stuck.set_value(); }, 50);
        // The generous bound only guards the test against a watchdog that never fires.
        ASSERT_EQ(stuck.get_future().wait_for(std::chrono::minutes(2)), std::future_status::ready);
    }
    EXPECT_EQ(control.Reason(), StopReason::TimeOut);
    EXPECT_TRUE(control.Signal().IsRaised());
}

TEST(Watchdog, ARunThatEndsInTimeIsNotStoppedAndCtrlCStopsIt) {
    RunControl control;
    bool stuck = false;
    {
        Watchdog watchdog(control, 3600000, [&stuck] { stuck = true; });
    }
    EXPECT_EQ(control.Reason(), StopReason::None);
    EXPECT_FALSE(stuck);
    EXPECT_FALSE(control.Signal().IsRaised());

    // SIGINT stops the run while a watchdog lives; the previous handling is back after it.
    std::signal(SIGINT, SIG_IGN);
    {
        Watchdog watchdog(control, 0, nullptr);
        ::raise(SIGINT);
        EXPECT_TRUE(control.Signal().Wait(120000));
    }
    EXPECT_EQ(control.Reason(), StopReason::Interrupt);
    struct sigaction now {};
    ::sigaction(SIGINT, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_IGN);
    std::signal(SIGINT, SIG_DFL);
}

}  // namespace
