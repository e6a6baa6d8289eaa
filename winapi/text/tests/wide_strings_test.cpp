#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "win/text.h"

namespace {

TEST(WideCase, MapsLettersBeyondAscii) {
    EXPECT_EQ(towlower(u'\u00C9'), u'\u00E9');  // Latin-1
    EXPECT_EQ(towupper(u'\u00FF'), u'\u0178');  // Latin-1 to Latin Extended-A
    EXPECT_EQ(towlower(u'\u0139'), u'\u013A');  // odd/even pairs in Latin Extended-A
    EXPECT_EQ(towupper(u'\u0138'), u'\u0138');  // kra has no uppercase
    EXPECT_EQ(towlower(u'\u03A3'), u'\u03C3');  // Greek
    EXPECT_EQ(towupper(u'\u03C2'), u'\u03A3');  // final sigma
    EXPECT_EQ(towlower(u'\u0416'), u'\u0436');  // Cyrillic
    EXPECT_EQ(towlower(u'\u0401'), u'\u0451');
    EXPECT_EQ(towupper(u'\u00DF'), u'\u00DF');  // sharp s has no single-character uppercase
    EXPECT_EQ(towlower(u'1'), u'1');
    EXPECT_EQ(towlower(u'\u4e2d'), u'\u4e2d');
}

TEST(WideCase, ClassifiesCharacters) {
    EXPECT_TRUE(iswalpha(u'\u00E9'));
    EXPECT_TRUE(iswalpha(u'\u0416'));
    EXPECT_TRUE(iswalpha(u'\u4e2d'));
    EXPECT_FALSE(iswalpha(u'1'));
    EXPECT_FALSE(iswalpha(u'_'));
    EXPECT_TRUE(iswdigit(u'7'));
    EXPECT_TRUE(iswdigit(u'\u0663'));  // Arabic-Indic three
    EXPECT_FALSE(iswdigit(u'a'));
    for (WCHAR c : {u' ', u'\t', u'\n', u'\r', u'\u00A0', u'\u3000'})
        EXPECT_TRUE(iswspace(c)) << static_cast<int>(c);
    EXPECT_FALSE(iswspace(u'x'));
    EXPECT_TRUE(IsCharUpperW(u'\u0416'));
    EXPECT_FALSE(IsCharUpperW(u'\u0436'));
}

TEST(WideCompare, CaseInsensitiveComparesFoldNonAsciiLetters) {
    EXPECT_EQ(_wcsicmp(u"CAF\u00C9", u"caf\u00e9"), 0);
    EXPECT_EQ(
        _wcsicmp(u"\u041C\u043E\u0441\u043A\u0432\u0430", u"\u043C\u041E\u0421\u041A\u0412\u0410"),
        0);
    EXPECT_EQ(lstrcmpiW(u"\u03A3\u03B9\u03C3", u"\u03C3\u0399\u03A3"), 0);
    EXPECT_LT(_wcsicmp(u"abc", u"ABD"), 0);
    EXPECT_GT(_wcsicmp(u"abcd", u"ABC"), 0);
    // Lowering both sides puts '_' (0x5F) before letters, as Windows does.
    EXPECT_LT(_wcsicmp(u"_", u"A"), 0);
    EXPECT_EQ(_wcsnicmp(u"HKEY_LOCAL", u"hkey_lo\u00e9", 7), 0);
    EXPECT_NE(_wcsnicmp(u"HKEY_LOCAL", u"hkey_lo\u00e9", 8), 0);
    EXPECT_EQ(_wcsnicmp(u"ab", u"AB", 10), 0) << "stops at the terminator";
}

TEST(WideCompare, LstrcmpSortsLettersBeforeCase) {
    EXPECT_LT(lstrcmpW(u"apple", u"Banana"), 0) << "letters first, not code units";
    EXPECT_LT(lstrcmpW(u"a", u"A"), 0) << "lowercase first when only case differs";
    EXPECT_GT(lstrcmpW(u"Ab", u"ab"), 0);
    EXPECT_EQ(lstrcmpW(u"same", u"same"), 0);
    EXPECT_LT(lstrcmpW(nullptr, u"x"), 0);
    EXPECT_GT(wcscmp(u"apple", u"Banana"), 0) << "wcscmp stays ordinal";
    EXPECT_LT(wcscmp(u"\u00e9", u"\uFFFF"), 0) << "code units compare unsigned";
    EXPECT_EQ(wcsncmp(u"abcX", u"abcY", 3), 0);
}

TEST(WideStrings, CopyLengthAndSearch) {
    WCHAR buf[6];
    EXPECT_EQ(lstrcpynW(buf, u"truncated", 6), buf);
    EXPECT_EQ(std::u16string(buf), u"trunc");
    lstrcpynW(buf, u"ab", 6);
    EXPECT_EQ(std::u16string(buf), u"ab");
    buf[0] = u'#';
    lstrcpynW(buf, u"ab", 1);
    EXPECT_EQ(buf[0], u'\0') << "size 1 leaves just the terminator";
    EXPECT_EQ(lstrlenW(nullptr), 0);
    EXPECT_EQ(lstrlenW(u"\u00e9\U0001F600"), 3) << "length counts code units";
    EXPECT_EQ(wcslen(u"abc"), 3u);

    const WCHAR* path = u"C:\\dir\\file.txt";
    EXPECT_EQ(wcsrchr(path, u'\\'), path + 6);
    EXPECT_EQ(wcschr(path, u'\0'), path + wcslen(path));
    EXPECT_EQ(wcsstr(path, u"file"), path + 7);
    EXPECT_EQ(wcsstr(path, u"files"), nullptr);
}

TEST(WideStrings, InPlaceCaseMapping) {
    WCHAR text[] = u"Stra\u00dfe \u0110ak";
    CharUpperW(text);
    EXPECT_EQ(std::u16string(text), u"STRA\u00dfE \u0110AK");
    EXPECT_EQ(CharLowerBuffW(text, 4), 4u);
    EXPECT_EQ(std::u16string(text), u"stra\u00dfE \u0110AK");
    // A single character travels in the pointer's low word.
    auto mapped =
        reinterpret_cast<uintptr_t>(CharLowerW(reinterpret_cast<LPWSTR>(uintptr_t{0x00C4})));
    EXPECT_EQ(mapped, 0x00E4u);
}

TEST(WideNumbers, DecimalParsingSaturatesAndStops) {
    EXPECT_EQ(_wtoi(u"  -42abc"), -42);
    EXPECT_EQ(_wtoi(u"+7"), 7);
    EXPECT_EQ(_wtoi(u"x1"), 0);
    EXPECT_EQ(_wtoi(nullptr), 0);
    EXPECT_EQ(_wtoi(u"99999999999"), INT32_MAX);
    EXPECT_EQ(_wtol(u"-99999999999"), INT32_MIN);
    EXPECT_EQ(_wtoi(u"-2147483648"), INT32_MIN);
    EXPECT_EQ(_wtoi64(u"9223372036854775807"), INT64_MAX);
    EXPECT_EQ(_wtoi64(u"-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(_wtoi64(u"12345678901"), 12345678901LL);
}

TEST(WideNumbers, StrtoulRulesWithEndPointer) {
    WCHAR* end = nullptr;
    const WCHAR* text = u"0x1Fz";
    EXPECT_EQ(wcstoul(text, &end, 16), 0x1Fu);
    EXPECT_EQ(end, text + 4);
    EXPECT_EQ(wcstoul(u"0755", nullptr, 0), 0755u);
    EXPECT_EQ(wcstoul(u"0x", &end, 0), 0u) << "a bare 0x is the number 0";
    EXPECT_EQ(*end, u'x');
    text = u"  zz";
    EXPECT_EQ(wcstoul(text, &end, 10), 0u);
    EXPECT_EQ(end, text) << "no digits: end is the start";
    errno = 0;
    EXPECT_EQ(wcstoul(u"4294967296", nullptr, 10), UINT32_MAX) << "ULONG is 32 bits";
    EXPECT_EQ(errno, ERANGE);
    EXPECT_EQ(wcstoul(u"-1", nullptr, 10), UINT32_MAX);
    EXPECT_EQ(wcstol(u"-2147483649", nullptr, 10), INT32_MIN);
    EXPECT_EQ(_wcstoui64(u"FFFFFFFFFFFFFFFF", nullptr, 16), UINT64_MAX);
}

}  // namespace
