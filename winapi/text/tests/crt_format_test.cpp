#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "kvwin/utf.h"
#include "win/format.h"

namespace {

std::string W(const WCHAR* s) {
    return kvwin::ToUtf8(s);
}

TEST(SecureFormat, TruncateWritesWhatFitsAndReturnsMinusOne) {
    WCHAR buf[8];
    EXPECT_EQ(_snwprintf_s(buf, 8, _TRUNCATE, u"%s=%d", u"name", 12345), -1);
    EXPECT_EQ(W(buf), "name=12");
    EXPECT_EQ(_snwprintf_s(buf, 8, _TRUNCATE, u"%s=%d", u"ab", 1), 4);
    EXPECT_EQ(W(buf), "ab=1");
    EXPECT_EQ(_snwprintf_s(buf, _TRUNCATE, u"%hs", "1234567"), 7) << "exactly fits";
    EXPECT_EQ(_snwprintf_s(buf, _TRUNCATE, u"%hs", "12345678"), -1);
    EXPECT_EQ(W(buf), "1234567");
}

TEST(SecureFormat, CountBelowBufferLimitsTheText) {
    char buf[16];
    EXPECT_EQ(_snprintf_s(buf, sizeof buf, 4, "%s", "abcdef"), -1);
    EXPECT_STREQ(buf, "abcd");
    EXPECT_EQ(_snprintf_s(buf, sizeof buf, 6, "%s", "abcdef"), 6);
    EXPECT_STREQ(buf, "abcdef");
    EXPECT_EQ(_snprintf_s(buf, sizeof buf, 0, "%s", "x"), -1);
    EXPECT_STREQ(buf, "");
}

TEST(SecureFormat, TextTooLongForTheBufferIsAnError) {
    char buf[4] = "zz";
    errno = 0;
    EXPECT_EQ(_snprintf_s(buf, sizeof buf, 10, "%s", "abcd"), -1);
    EXPECT_EQ(errno, ERANGE);
    EXPECT_STREQ(buf, "");
    WCHAR wbuf[4] = u"zz";
    errno = 0;
    EXPECT_EQ(swprintf_s(wbuf, 4, u"%d", 1234), -1);
    EXPECT_EQ(errno, ERANGE);
    EXPECT_EQ(wbuf[0], u'\0');
    EXPECT_EQ(swprintf_s(wbuf, u"%d", 123), 3);
    EXPECT_EQ(W(wbuf), "123");
}

TEST(SecureFormat, InvalidParameters) {
    char buf[8] = "keep";
    errno = 0;
    EXPECT_EQ(sprintf_s(nullptr, 8, "x"), -1);
    EXPECT_EQ(errno, EINVAL);
    errno = 0;
    EXPECT_EQ(sprintf_s(buf, 0, "x"), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_STREQ(buf, "keep") << "a zero-sized buffer is not written";
    errno = 0;
    EXPECT_EQ(sprintf_s(buf, sizeof buf, nullptr), -1);
    EXPECT_EQ(errno, EINVAL);
    errno = 0;
    EXPECT_EQ(sprintf_s(buf, sizeof buf, "%d %n", 1, nullptr), -1) << "%n is refused";
    EXPECT_EQ(errno, EINVAL);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(_snprintf_s(nullptr, 0, 0, "x"), 0);
    errno = 0;
    EXPECT_EQ(_snprintf_s(nullptr, 0, 5, "x"), -1);
    EXPECT_EQ(errno, EINVAL);
}

TEST(SecureFormat, WideFormatRulesThroughVarargs) {
    WCHAR buf[128];
    const WCHAR* wide = u"W\u00e9";
    EXPECT_GT(swprintf_s(buf, u"%s|%ls|%hs|%S|%c|%lc|%hc|%%|%-6d|%02d|%08X|%x|%lu|%ld|%I64d|%p",
                         wide, wide, "n\xC3\xA9", "S", u'c', u'\u0416', 'h', 42, 7, 0xBEEFu,
                         0xBEEFu, 4294967295u, -5, -1234567890123LL, nullptr),
              0);
    EXPECT_EQ(
        W(buf),
        "W\xC3\xA9|W\xC3\xA9|n\xC3\xA9|S|c|\xD0\x96|h|%|42    |07|0000BEEF|beef|4294967295|-5|"
        "-1234567890123|0000000000000000");
    char nbuf[64];
    EXPECT_GT(sprintf_s(nbuf, "%s|%ls|%S|%C|%s|%.1f", "n", u"w", u"\u00e9", u'x',
                        static_cast<const char*>(nullptr), 2.25),
              0);
    EXPECT_STREQ(nbuf, "n|w|\xC3\xA9|x|(null)|2.2");
}

TEST(LegacyFormat, TerminatesOnlyWhenShorter) {
    char buf[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(_snprintf(buf, 4, "%s", "abcd"), 4);
    EXPECT_EQ(std::string(buf, 4), "abcd") << "exactly count: no terminator";
    EXPECT_EQ(_snprintf(buf, 4, "%s", "abcde"), -1);
    EXPECT_EQ(std::string(buf, 4), "abcd");
    EXPECT_EQ(_snprintf(buf, 4, "%d", 12), 2);
    EXPECT_STREQ(buf, "12");
    EXPECT_EQ(_snprintf(nullptr, 0, "%d", 12345), 5) << "size query";
    EXPECT_EQ(_scwprintf(u"%s-%d", u"ab", 100), 6);
    EXPECT_EQ(_scprintf("%y"), -1);
}

TEST(UserFormat, WsprintfStopsAt1023Characters) {
    std::u16string big(2000, u'x');
    std::u16string out(2000, u'#');
    EXPECT_EQ(wsprintfW(out.data(), u"%s", big.c_str()), 1023);
    EXPECT_EQ(out[1022], u'x');
    EXPECT_EQ(out[1023], u'\0');
    EXPECT_EQ(out[1024], u'#');
    WCHAR buf[64];
    EXPECT_EQ(wsprintfW(buf, u"%s %S %lu %04x", u"w", "n", 7ul, 0x2Au), 10);
    EXPECT_EQ(W(buf), "w n 7 002a");
    char abuf[16];
    EXPECT_EQ(wsprintfA(abuf, "%s %S", "n", u"w"), 3);
    EXPECT_STREQ(abuf, "n w");
}

}  // namespace
