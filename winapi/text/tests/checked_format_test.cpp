#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "kvwin/format.h"
#include "kvwin/utf.h"

namespace {

using kvwin::Format;

// gtest prints UTF-16 poorly; compare through UTF-8.
std::string W(const std::u16string& s) {
    return kvwin::ToUtf8(s);
}

TEST(CheckedFormat, WideFormatTakesWideTextForSAndNarrowForHs) {
    const std::u16string name = u"Caf\u00e9";
    EXPECT_EQ(W(Format(u"%s|%ls|%ws|%hs|%S", u"w1", name, u"w3", "n\xC3\xA9", "n5")),
              "w1|Caf\xC3\xA9|w3|n\xC3\xA9|n5");
    EXPECT_EQ(Format("%s|%hs|%ls|%ws|%S", "n1", std::string("n2"), u"\u00e9", u"w4", u"w5"),
              "n1|n2|\xC3\xA9|w4|w5");
    EXPECT_EQ(W(Format(u"[%s][%hs]", static_cast<const char16_t*>(nullptr), nullptr)),
              "[(null)][(null)]");
    EXPECT_EQ(W(Format(u"[%.3s]", static_cast<const char16_t*>(nullptr))), "[(nu]");
}

TEST(CheckedFormat, IntegerWidthsFlagsAndSizes) {
    EXPECT_EQ(W(Format(u"[%-6d][%02d][%08X][%x]", 42, 7, 0xBEEFu, 0xBEEFu)),
              "[42    ][07][0000BEEF][beef]");
    EXPECT_EQ(Format("[%d][%5d][%-5d][%05d][%+d][% d]", -12, -12, -12, -12, 5, 5),
              "[-12][  -12][-12  ][-0012][+5][ 5]");
    EXPECT_EQ(Format("%lu %ld", 4294967295u, -2147483647 - 1), "4294967295 -2147483648");
    // %d and %ld are 32 bits: a DWORD above INT_MAX prints negative, as on Windows.
    EXPECT_EQ(Format("%d %ld %u", 0xFFFFFFFFu, 0x80000000u, -1), "-1 -2147483648 4294967295");
    EXPECT_EQ(Format("%I64d %I64u %lld %I64X", INT64_MIN, UINT64_MAX, -5LL, 0xABCDEF0123ULL),
              "-9223372036854775808 18446744073709551615 -5 ABCDEF0123");
    EXPECT_EQ(Format("%zu %Iu %I32d %hd %hhu", size_t{1} << 40, size_t{7}, -3, 70000, 300),
              "1099511627776 7 -3 4464 44");
    EXPECT_EQ(Format("%#x %#X %#o %#x %o", 255, 255, 8, 0, 8), "0xff 0XFF 010 0 10");
    EXPECT_EQ(Format("[%.3d][%.0d][%8.3x][%-#8x]", 5, 0, 10, 10), "[005][][     00a][0xa     ]");
    EXPECT_EQ(Format("[%*d][%-*d][%.*d]", 4, 1, 4, 2, 3, 3), "[   1][2   ][003]");
    EXPECT_EQ(Format("[%*d]", -4, 1), "[1   ]") << "negative width means left-justified";
}

TEST(CheckedFormat, CharactersPercentAndPointers) {
    EXPECT_EQ(W(Format(u"%c%lc%hc%C%%", u'\u00e9', u'x', 'n', 'N')), "\xC3\xA9xnN%");
    EXPECT_EQ(Format("%c%lc%C", 'a', u'\u20ac', u'\u00e9'), "a\xE2\x82\xAC\xC3\xA9");
    EXPECT_EQ(Format("[%3c][%-3c]", 'a', 'b'), "[  a][b  ]");
    int x = 0;
    const std::string p = Format("%p", &x);
    EXPECT_EQ(p.size(), 16u);
    EXPECT_EQ(p.find_first_not_of("0123456789ABCDEF"), std::string::npos) << p;
    EXPECT_EQ(Format("%p", nullptr), "0000000000000000");
}

TEST(CheckedFormat, TextPrecisionWidthAndZeroPadding) {
    EXPECT_EQ(Format("[%.2s][%5s][%-5s|][%05s]", "abcdef", "ab", "ab", "ab"),
              "[ab][   ab][ab   |][000ab]");
    // A precision on converted text never splits a character.
    EXPECT_EQ(Format("[%.3ls]", u"\u00e9\u00e9"), "[\xC3\xA9]");
    EXPECT_EQ(W(Format(u"[%.1hs]", "\xF0\x9F\x98\x80z")), "[]") << "a pair is not split";
    EXPECT_EQ(W(Format(u"[%.2hs]", "\xF0\x9F\x98\x80z")), "[\xF0\x9F\x98\x80]");
    // string_view arguments need no terminator.
    const std::string_view part = std::string_view("abcdef").substr(1, 3);
    EXPECT_EQ(Format("%s", part), "bcd");
}

TEST(CheckedFormat, FloatingPoint) {
    EXPECT_EQ(Format("%f %.2f %e %g %G", 1.5, 3.14159, 12345.678, 0.0001, 1e20),
              "1.500000 3.14 1.234568e+04 0.0001 1E+20");
    EXPECT_EQ(W(Format(u"[%8.3f][%-8.1f][%+.0f]", -2.5, 2.25, 2.5)), "[  -2.500][2.2     ][+2]");
}

TEST(CheckedFormat, MismatchesAndMissingArgumentsRenderMarkers) {
    EXPECT_EQ(W(Format(u"a %s b", 42)), "a <%s got int> b");
    EXPECT_EQ(W(Format(u"%s", "narrow")), "<%s got narrow text>") << "needs %hs";
    EXPECT_EQ(Format("%s", u"wide"), "<%s got wide text>") << "needs %ls";
    EXPECT_EQ(Format("%d", "text"), "<%d got narrow text>");
    EXPECT_EQ(Format("%f", 3), "<%f got int>");
    EXPECT_EQ(Format("%-08.3d|%d", 1.0, 2), "<%-08.3d got double>|2") << "later ones still line up";
    EXPECT_EQ(Format("%d and %u", 1), "1 and <%u got no argument>");
    EXPECT_EQ(Format("%*d|%d", "w", 3, 4), "<%*d got narrow text>|4");
    EXPECT_EQ(Format("%y|%n|%"), "<bad format %y>|<bad format %n>|<bad format %>");
    EXPECT_EQ(Format("%d", nullptr), "<%d got nullptr>");
}

TEST(CheckedFormat, FormatToTruncatesAndTerminates) {
    char16_t buf[6];
    EXPECT_EQ(kvwin::FormatTo(buf, u"%d-%s", 12, u"ab"), 5);
    EXPECT_EQ(W(buf), "12-ab");
    EXPECT_EQ(kvwin::FormatTo(buf, u"%d-%s", 12, u"abc"), -1);
    EXPECT_EQ(W(buf), "12-ab") << "as much as fits, then the terminator";
    char small[1] = {'#'};
    EXPECT_EQ(kvwin::FormatTo(small, "x"), -1);
    EXPECT_EQ(small[0], '\0');
    EXPECT_EQ(kvwin::FormatTo(static_cast<char*>(nullptr), 4, "x"), -1);
}

}  // namespace
