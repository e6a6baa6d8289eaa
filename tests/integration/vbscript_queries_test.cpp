// VBScript queries through the library with the real engine: the predefined functions the
// library appends run and return rows, the time limit stops an endless loop, and every
// VBScript example document gives rows from this machine.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "entry/query_driver.h"
#include "kvtest/com_support.h"
#include "kvtest/test_env.h"
#include "kvwin/utf.h"
#include "script/predefined_functions.h"
#include "script/script_query.h"
#include "vbs_test_support.h"
#include "win/registry.h"
#include "xml/xml_document.h"

namespace {

std::u16string Escaped(const std::u16string& text) {
    std::u16string out;
    for (char16_t c : text) {
        if (c == u'<')
            out += u"&lt;";
        else if (c == u'&')
            out += u"&amp;";
        else
            out += c;
    }
    return out;
}

std::u16string Document(const std::u16string& function, const std::u16string& timeout,
                        const std::u16string& script) {
    return u"<query scriptType='vbscript' function='" + function + u"' timeout='" + timeout +
           u"'><scriptText>" + Escaped(script) + u"</scriptText></query>";
}

struct Outcome {
    HRESULT executed = E_FAIL;
    std::u16string output;
};

Outcome Execute(const std::u16string& document) {
    Outcome outcome;
    CScriptQuery query;
    IXMLDOMElementPtr root = GetRootElement(document.c_str());
    if (SUCCEEDED(query.Initialize(root)))
        outcome.executed = query.Execute(outcome.output);
    return outcome;
}

// The script text of an example, with the predefined functions, run in an engine whose site
// records errors: what a failing example did wrong.
std::string ScriptErrors(const std::u16string& document, const std::u16string& function) {
    std::u16string text;
    size_t open = document.find(u"<![CDATA[");
    size_t close = document.find(u"]]>");
    if (open == std::u16string::npos || close == std::u16string::npos)
        return "no script text";
    text = document.substr(open + 9, close - open - 9);
    AppendPredefinedFunctions(text);
    vbstest::Script s(false);
    s.Run(text);
    _variant_t result;
    HRESULT hr = s.Call(function, &result);
    std::string returned = result.vt == VT_BSTR ? kvwin::ToUtf8(result.bstrVal) : "(not a text)";
    return s.Errors() + "the function gave 0x" + std::to_string(unsigned(hr)) + ": " + returned;
}

class VBScriptQuery : public ::testing::Test {
  protected:
    kvtest::ScopedApartment apartment{COINIT_APARTMENTTHREADED};
};

TEST_F(VBScriptQuery, RowsFromTheDataclassHelper) {
    const Outcome outcome =
        Execute(Document(u"Collect", u"60000",
                         u"Function Collect()\n"
                         u"  Dim rows, row, i\n"
                         u"  Set rows = CreateObject(\"Scripting.Dictionary\")\n"
                         u"  For i = 1 To 2\n"
                         u"    Set row = CreateObject(\"Scripting.Dictionary\")\n"
                         u"    row(\"id\") = i\n"
                         u"    row(\"text\") = \"a<b & \"\"c\"\"\"\n"
                         u"    row(\"skipped\") = Null\n"
                         u"    rows.Add i, row\n"
                         u"  Next\n"
                         u"  Collect = NrvInv_GetDataclassResults(rows)\n"
                         u"End Function\n"));
    EXPECT_EQ(outcome.executed, S_OK);
    EXPECT_EQ(outcome.output,
              u"<row  id=\"1\" text=\"a&lt;b &amp; &quot;c&quot;\"/> "
              u"<row  id=\"2\" text=\"a&lt;b &amp; &quot;c&quot;\"/> ");
}

TEST_F(VBScriptQuery, TheWmiHelperWalksLiveClasses) {
    const Outcome outcome = Execute(
        Document(u"Collect", u"60000",
                 u"Function Collect()\n"
                 u"  Dim processes, p, n\n"
                 u"  Set processes = NrvInv_RunWmiQuery(\"SELECT ProcessId FROM Win32_Process\")\n"
                 u"  For Each p In processes\n"
                 u"    n = n + 1\n"
                 u"  Next\n"
                 u"  Collect = \"<row count=\"\"\" & CStr(n > 0) & \"\"\"/>\"\n"
                 u"End Function\n"));
    EXPECT_EQ(outcome.executed, S_OK);
    EXPECT_EQ(outcome.output, u"<row count=\"True\"/>");
}

TEST_F(VBScriptQuery, TheRegistryHelperFillsOutParameters) {
    HKEY key = nullptr;
    for (const char16_t* path : {u"SOFTWARE\\KavrelVbsQuery\\A", u"SOFTWARE\\KavrelVbsQuery\\B"}) {
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    const Outcome outcome =
        Execute(Document(u"Collect", u"60000",
                         u"Function Collect()\n"
                         u"  Dim reg, keys, k\n"
                         u"  Set reg = NrvInv_GetRegProvider()\n"
                         u"  reg.EnumKey HKEY_LOCAL_MACHINE, \"SOFTWARE\\KavrelVbsQuery\", keys\n"
                         u"  For Each k In keys\n"
                         u"    Collect = Collect & \"<row key=\"\"\" & k & \"\"\"/>\"\n"
                         u"  Next\n"
                         u"End Function\n"));
    EXPECT_EQ(outcome.executed, S_OK);
    EXPECT_EQ(outcome.output, u"<row key=\"A\"/><row key=\"B\"/>");
}

// Runs `Spin`, which does not end by itself, under a 2-second limit: the query succeeds with
// no rows, and not before the limit.
void ExpectStoppedAtTheLimit(const std::u16string& script) {
    const auto start = std::chrono::steady_clock::now();
    const Outcome outcome = Execute(Document(u"Spin", u"2000", script));
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start)
                             .count();
    EXPECT_EQ(outcome.executed, S_OK);
    EXPECT_EQ(outcome.output, u"");
    EXPECT_GE(elapsed, 1950);
    EXPECT_LT(elapsed, 60000);
}

TEST_F(VBScriptQuery, AnEndlessLoopEndsAtTheTimeLimit) {
    ExpectStoppedAtTheLimit(
        u"Function Spin()\n"
        u"  On Error Resume Next\n"
        u"  Do : Loop\n"
        u"  Spin = 1\n"
        u"End Function\n");
}

TEST_F(VBScriptQuery, ACatastrophicRegularExpressionEndsAtTheTimeLimit) {
    // Exponential backtracking over a long text: the search itself must stop at the limit.
    ExpectStoppedAtTheLimit(
        u"Function Spin()\n"
        u"  Dim re\n"
        u"  Set re = New RegExp\n"
        u"  re.Pattern = \"^(\\w+\\s?)*$\"\n"
        u"  re.Test String(5000, \"a\") & \"!\"\n"
        u"  Spin = 1\n"
        u"End Function\n");
}

TEST_F(VBScriptQuery, EveryVBScriptExampleGivesRows) {
    // The library chose the process's temp folder when it was loaded, before this case's
    // state root was in place; the examples that make files (Exec's captures) need one that
    // exists under it.
    const std::string temp = kvtest::MakeTempFolder("temp");
    ::setenv("TMP", temp.c_str(), 1);
    ::setenv("TEMP", temp.c_str(), 1);
    int examples = 0;
    for (const auto& entry : std::filesystem::directory_iterator(KAVREL_EXAMPLES_DIR)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("script-vbs-", 0) != 0 || entry.path().extension() != ".xml")
            continue;
        ++examples;
        std::ifstream file(entry.path(), std::ios::binary);
        const std::u16string document = kvwin::FromUtf8(
            std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()));
        BSTR result = nullptr;
        const HRESULT hr = RunQueryDocument(document.c_str(), &result);
        std::u16string function;
        GetAttributeString(GetRootElement(document.c_str()), u"function", function);
        ASSERT_EQ(hr, S_OK) << name << "\n" << ScriptErrors(document, function);
        const std::string output = kvwin::ToUtf8(std::u16string(result, SysStringLen(result)));
        SysFreeString(result);
        EXPECT_EQ(output.rfind("<result>\n<row ", 0), 0u) << name << ": " << output;
        EXPECT_NO_THROW(GetRootElement(kvwin::FromUtf8(output).c_str())) << name;
    }
    EXPECT_GE(examples, 3);
}

}  // namespace
