// .reg text: parsing every kind of line, the faults a file can have, and rendering that
// reads back to the same bytes.
#include "reg_file.h"

#include <gtest/gtest.h>

#include <cstring>

#include "kvwin/utf.h"

using namespace kavrel_reg;

namespace {

std::vector<BYTE> Wide(const std::u16string& text, bool terminated = true) {
    std::vector<BYTE> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<BYTE>(c & 0xFF));
        bytes.push_back(static_cast<BYTE>(c >> 8));
    }
    if (terminated) {
        bytes.push_back(0);
        bytes.push_back(0);
    }
    return bytes;
}

const char kEveryKind[] =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "; a comment\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Kavrel]\r\n"
    "@=\"default\"\r\n"
    "\"Path\"=\"C:\\\\Program Files\\\\\\\"x\\\"\"\r\n"
    "\"Count\"=dword:0000002a\r\n"
    "\"Blob\"=hex:01,02,\\\r\n"
    "  ff\r\n"
    "\"Expand\"=hex(2):25,00,41,00,25,00,00,00\r\n"
    "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
    "\"Big\"=hex(b):01,00,00,00,00,00,00,80\r\n"
    "\"Empty\"=hex(0):\r\n"
    "\"Gone\"=-\r\n"
    "\"Grüße\" = \"straße\"\r\n"
    "\r\n"
    "[-HKCU\\Software\\Old]\r\n";

void ExpectEveryKind(const std::vector<RegFileSection>& sections) {
    ASSERT_EQ(sections.size(), 2u);
    const auto& kept = sections[0];
    EXPECT_EQ(kept.root, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(kept.subkey, u"Software\\Kavrel");
    EXPECT_FALSE(kept.remove);
    EXPECT_EQ(kept.line, 4);
    ASSERT_EQ(kept.values.size(), 10u);
    struct Expected {
        std::u16string name;
        DWORD type;
        std::vector<BYTE> data;
        int line;
    };
    const Expected expected[] = {
        {u"", REG_SZ, Wide(u"default"), 5},
        {u"Path", REG_SZ, Wide(u"C:\\Program Files\\\"x\""), 6},
        {u"Count", REG_DWORD, {42, 0, 0, 0}, 7},
        {u"Blob", REG_BINARY, {1, 2, 0xff}, 8},
        {u"Expand", REG_EXPAND_SZ, Wide(u"%A%"), 10},
        {u"Multi", REG_MULTI_SZ, Wide(std::u16string(u"a\0b\0", 4)), 11},
        {u"Big", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0x80}, 12},
        {u"Empty", REG_NONE, {}, 13},
    };
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(kvwin::ToUtf8(expected[i].name));
        EXPECT_EQ(kept.values[i].name, expected[i].name);
        EXPECT_FALSE(kept.values[i].remove);
        EXPECT_EQ(kept.values[i].type, expected[i].type);
        EXPECT_EQ(kept.values[i].data, expected[i].data);
        EXPECT_EQ(kept.values[i].line, expected[i].line);
    }
    EXPECT_EQ(kept.values[8].name, u"Gone");
    EXPECT_TRUE(kept.values[8].remove);
    EXPECT_EQ(kept.values[9].name, u"Grüße");
    EXPECT_EQ(kept.values[9].data, Wide(u"straße"));

    EXPECT_TRUE(sections[1].remove);
    EXPECT_EQ(sections[1].root, HKEY_CURRENT_USER);
    EXPECT_EQ(sections[1].subkey, u"Software\\Old");
    EXPECT_EQ(sections[1].line, 17);
}

TEST(RegFile, ParsesEveryKindOfLineInEveryEncoding) {
    std::vector<RegFileSection> sections;
    std::string error;
    ASSERT_TRUE(ParseRegFile(kEveryKind, sections, error)) << error;
    ExpectEveryKind(sections);

    // The same text with a UTF-8 byte order mark, with plain LF line ends, and as UTF-16LE.
    ASSERT_TRUE(ParseRegFile(std::string("\xEF\xBB\xBF") + kEveryKind, sections, error)) << error;
    ExpectEveryKind(sections);
    std::string lf;
    for (const char* p = kEveryKind; *p; ++p) {
        if (*p != '\r')
            lf.push_back(*p);
    }
    ASSERT_TRUE(ParseRegFile(lf, sections, error)) << error;
    ExpectEveryKind(sections);
    std::string utf16 = "\xFF\xFE";
    for (char16_t c : kvwin::FromUtf8(kEveryKind)) {
        utf16.push_back(static_cast<char>(c & 0xFF));
        utf16.push_back(static_cast<char>(c >> 8));
    }
    ASSERT_TRUE(ParseRegFile(utf16, sections, error)) << error;
    ExpectEveryKind(sections);
}

TEST(RegFile, FaultsNameTheirLineAndYieldNothing) {
    const std::string header = "Windows Registry Editor Version 5.00\n";
    struct Case {
        std::string text;
        int line;
        const char* reason;
    };
    const Case cases[] = {
        {"", 1, "must start with"},
        {"REGEDIT4\n[HKLM\\x]\n", 1, "must start with"},
        {header + "\"a\"=\"b\"\n", 2, "before the first key"},
        {header + "[HKLM\\x]\n\"a\"=\"b\n", 3, "closing quote"},
        {header + "[HKLM\\x]\n\"a\"=\"b\" junk\n", 3, "after the closing quote"},
        {header + "[HKLM\\x]\n\"a\"=\"\\n\"\n", 3, "unknown escape"},
        {header + "[HKLM\\x]\n\"a\"=dword:123456789\n", 3, "dword"},
        {header + "[HKLM\\x]\n\"a\"=dword:xyz\n", 3, "dword"},
        {header + "[HKLM\\x]\n\"a\"=hex:01,zz\n", 3, "'zz'"},
        {header + "[HKLM\\x]\n\"a\"=hex:01,,02\n", 3, "hex byte"},
        {header + "[HKLM\\x]\n\"a\"=hex(q):01\n", 3, "type"},
        {header + "[HKLM\\x]\n\"a\"=float:1\n", 3, "unknown data kind"},
        {header + "[HKLM\\x]\n\"a\"\n", 3, "'='"},
        {header + "[HKLM\\x]\nnonsense\n", 3, "expected"},
        {header + "[HKLM\\x\n", 2, "']'"},
        {header + "[HKXX\\x]\n", 2, "unknown root"},
        {header + "[-HKLM]\n", 2, "root key cannot be deleted"},
        {header + "[-HKLM\\x]\n\"a\"=\"b\"\n", 3, "being deleted"},
        // A continued line keeps the number of its first line; later lines count on.
        {header + "[HKLM\\x]\n\"a\"=hex:01,\\\n  02,\\\n  0g\n\"b\"=\"c\"\n", 3, "'0g'"},
        {header + "[HKLM\\x]\n\"a\"=hex:01,\\\n  02\n\n\"b\"=bad\n", 6, "data"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<RegFileSection> sections;
        std::string error;
        EXPECT_FALSE(ParseRegFile(c.text, sections, error));
        EXPECT_EQ(error.rfind("line " + std::to_string(c.line) + ": ", 0), 0u) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_TRUE(sections.empty());
    }
}

TEST(RegFile, RenderedValuesReadBackToTheSameBytes) {
    std::vector<BYTE> long_binary(300);
    for (size_t i = 0; i < long_binary.size(); ++i)
        long_binary[i] = static_cast<BYTE>(i * 7);
    struct Case {
        std::u16string name;
        DWORD type;
        std::vector<BYTE> data;
        const char* form;  // how the data part starts
    };
    const Case cases[] = {
        {u"", REG_SZ, Wide(u"default"), "@=\"default\""},
        {u"quote\"back\\slash", REG_SZ, Wide(u"a\"b\\c"), R"("quote\"back\\slash"="a\"b\\c")"},
        {u"unicode", REG_SZ, Wide(u"Grüße 日本"), "\"unicode\"=\"Grüße 日本\""},
        {u"count", REG_DWORD, {7, 0, 0, 0x80}, "\"count\"=dword:80000007"},
        {u"empty sz", REG_SZ, {}, "\"empty sz\"=hex(1):"},
        {u"unterminated", REG_SZ, Wide(u"ab", false), "\"unterminated\"=hex(1):61,00,62,00"},
        {u"odd", REG_SZ, {'A', 0, 'B'}, "\"odd\"=hex(1):41,00,42"},
        {u"line break", REG_SZ, Wide(u"a\r\nb"), "\"line break\"=hex(1):"},
        {u"inner nul", REG_SZ, Wide(std::u16string(u"a\0b", 3)), "\"inner nul\"=hex(1):"},
        {u"lone surrogate", REG_SZ, Wide(std::u16string(1, char16_t(0xD800))), "=hex(1):"},
        {u"short dword", REG_DWORD, {1, 2, 3}, "\"short dword\"=hex(4):01,02,03"},
        {u"expand", REG_EXPAND_SZ, Wide(u"%PATH%"), "\"expand\"=hex(2):25,00"},
        {u"multi", REG_MULTI_SZ, Wide(std::u16string(u"a\0", 2)), "\"multi\"=hex(7):"},
        {u"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}, "\"qword\"=hex(b):01,02"},
        {u"none", REG_NONE, {}, "\"none\"=hex(0):"},
        {u"custom", 0x12345, {9}, "\"custom\"=hex(12345):09"},
        {u"long", REG_BINARY, long_binary, "\"long\"=hex:00,07"},
    };
    std::string text = std::string(kRegFileHeader) + "\n" + RenderSectionLine("HKLM\\x") + "\n";
    for (const auto& c : cases) {
        const std::string line = RenderValueLine(c.name, c.type, c.data);
        EXPECT_NE(line.find(c.form), std::string::npos) << line;
        text += line + "\n";
    }
    // Long data is continued over lines of moderate width.
    size_t widest = 0;
    for (size_t begin = 0, end; begin < text.size(); begin = end + 1) {
        end = text.find('\n', begin);
        widest = std::max(widest, end - begin);
    }
    EXPECT_LE(widest, 80u);

    std::vector<RegFileSection> sections;
    std::string error;
    ASSERT_TRUE(ParseRegFile(text, sections, error)) << error;
    ASSERT_EQ(sections.size(), 1u);
    ASSERT_EQ(sections[0].values.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(kvwin::ToUtf8(cases[i].name));
        EXPECT_EQ(sections[0].values[i].name, cases[i].name);
        EXPECT_EQ(sections[0].values[i].type, cases[i].type);
        EXPECT_EQ(sections[0].values[i].data, cases[i].data);
    }
}

}  // namespace
