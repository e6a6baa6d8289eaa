#include <gtest/gtest.h>

#include <string>

#include "win/text.h"

namespace {

// Converts with MultiByteToWideChar the way callers do: size query, then conversion.
// Returns the text, or the last error in `error` when either call fails.
std::u16string ToWide(UINT cp, DWORD flags, const std::string& in, DWORD* error = nullptr) {
    const int n =
        MultiByteToWideChar(cp, flags, in.data(), static_cast<int>(in.size()), nullptr, 0);
    std::u16string out(static_cast<size_t>(n), u'\0');
    if (n == 0 || MultiByteToWideChar(cp, flags, in.data(), static_cast<int>(in.size()), out.data(),
                                      n) != n) {
        if (error)
            *error = GetLastError();
        return u"<failed>";
    }
    return out;
}

std::string ToBytes(UINT cp, DWORD flags, const std::u16string& in, DWORD* error = nullptr,
                    BOOL* used_default = nullptr) {
    const int n = WideCharToMultiByte(cp, flags, in.data(), static_cast<int>(in.size()), nullptr, 0,
                                      nullptr, used_default);
    std::string out(static_cast<size_t>(n), '\0');
    if (n == 0 || WideCharToMultiByte(cp, flags, in.data(), static_cast<int>(in.size()), out.data(),
                                      n, nullptr, used_default) != n) {
        if (error)
            *error = GetLastError();
        return "<failed>";
    }
    return out;
}

TEST(MultiByteToWideChar, DecodesValidUtf8OfEveryLength) {
    EXPECT_EQ(ToWide(CP_UTF8, 0, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"),
              u"a\u00e9\u20ac\U0001F600");
    EXPECT_EQ(ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, "\xF4\x8F\xBF\xBF"), u"\U0010FFFF");
    EXPECT_EQ(ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, "\xEF\xBF\xBF"), u"\uFFFF");
}

TEST(MultiByteToWideChar, InvalidUtf8BecomesReplacementPerMaximalSubpart) {
    EXPECT_EQ(ToWide(CP_UTF8, 0, "\xC0\xAF"), u"\uFFFD\uFFFD") << "overlong '/'";
    EXPECT_EQ(ToWide(CP_UTF8, 0, "\xE0\x80\xAF"), u"\uFFFD\uFFFD\uFFFD") << "overlong 3-byte";
    EXPECT_EQ(ToWide(CP_UTF8, 0, "\xED\xA0\x80x"), u"\uFFFD\uFFFD\uFFFDx") << "encoded surrogate";
    EXPECT_EQ(ToWide(CP_UTF8, 0,
                     "\xE2\x82"
                     "A"),
              u"\uFFFDA")
        << "sequence broken off";
    EXPECT_EQ(ToWide(CP_UTF8, 0, "A\xF0\x9F\x98"), u"A\uFFFD") << "truncated at the end";
    EXPECT_EQ(ToWide(CP_UTF8, 0, "\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD") << "> U+10FFFF";
    EXPECT_EQ(ToWide(CP_UTF8, 0, "\x80\xFF"), u"\uFFFD\uFFFD") << "stray bytes";
}

TEST(MultiByteToWideChar, StrictModeRefusesEveryInvalidForm) {
    for (const char* bad :
         {"\xC0\xAF", "\xED\xA0\x80", "ok\xE2\x82", "\xF8\x88\x80\x80\x80", "\xFE"}) {
        SetLastError(0);
        DWORD error = 0;
        EXPECT_EQ(ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, bad, &error), u"<failed>");
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION)) << bad;
    }
}

TEST(MultiByteToWideChar, LengthsSizeQueriesAndSmallBuffers) {
    // -1 counts and writes the terminator.
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "h\xC3\xA9", -1, nullptr, 0), 3);
    WCHAR buf[8];
    std::fill(std::begin(buf), std::end(buf), u'#');
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "h\xC3\xA9", -1, buf, 8), 3);
    EXPECT_EQ(std::u16string(buf, 3), std::u16string(u"h\u00e9\0", 3));
    EXPECT_EQ(buf[3], u'#') << "nothing written past the result";
    // An explicit length does not add a terminator, and stops at the length.
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 2, buf, 8), 2);

    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abcd", -1, buf, 4), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abcd", -1, buf, 5), 5) << "exactly fits";
}

TEST(MultiByteToWideChar, RefusesBadParameters) {
    WCHAR buf[8];
    char same[16] = "abc";
    struct Case {
        const char* what;
        UINT cp;
        DWORD flags;
        const char* in;
        int in_size;
        WCHAR* out;
        int out_size;
        DWORD error;
    } cases[] = {
        {"null input", CP_UTF8, 0, nullptr, -1, buf, 8, ERROR_INVALID_PARAMETER},
        {"zero length", CP_UTF8, 0, "a", 0, buf, 8, ERROR_INVALID_PARAMETER},
        {"length below -1", CP_UTF8, 0, "a", -2, buf, 8, ERROR_INVALID_PARAMETER},
        {"negative output", CP_UTF8, 0, "a", -1, buf, -1, ERROR_INVALID_PARAMETER},
        {"null output with size", CP_UTF8, 0, "a", -1, nullptr, 8, ERROR_INVALID_PARAMETER},
        {"same buffer", CP_UTF8, 0, same, -1, reinterpret_cast<WCHAR*>(same), 8,
         ERROR_INVALID_PARAMETER},
        {"UTF-16 is no source page", 1200, 0, "a", -1, buf, 8, ERROR_INVALID_PARAMETER},
        {"unknown page", 12345, 0, "a", -1, buf, 8, ERROR_INVALID_PARAMETER},
        {"UTF-8 takes no other flag", CP_UTF8, MB_PRECOMPOSED, "a", -1, buf, 8,
         ERROR_INVALID_FLAGS},
        {"contradicting flags", 1252, MB_PRECOMPOSED | MB_COMPOSITE, "a", -1, buf, 8,
         ERROR_INVALID_FLAGS},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(MultiByteToWideChar(c.cp, c.flags, c.in, c.in_size, c.out, c.out_size), 0)
            << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
}

TEST(MultiByteToWideChar, AnsiAndOemPagesAreWindows1252And437) {
    EXPECT_EQ(ToWide(CP_ACP, 0, "caf\xE9 \x80 \x93x\x94"), u"caf\u00e9 \u20ac \u201cx\u201d");
    EXPECT_EQ(ToWide(CP_THREAD_ACP, 0, "\x9F"), u"\u0178");
    EXPECT_EQ(ToWide(1252, MB_ERR_INVALID_CHARS, "\x81"), u"\u0081") << "holes map to C1";
    EXPECT_EQ(ToWide(CP_OEMCP, 0, "\x82\xC4\xDB\xE1"), u"\u00e9\u2500\u2588\u00df");
    EXPECT_EQ(GetACP(), 1252u);
    EXPECT_EQ(GetOEMCP(), 437u);
    DWORD error = 0;
    EXPECT_EQ(ToWide(20127, MB_ERR_INVALID_CHARS, "a\xE9", &error), u"<failed>");
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

TEST(WideCharToMultiByte, EncodesUtf8AndPairs) {
    EXPECT_EQ(ToBytes(CP_UTF8, 0, u"a\u00e9\u20ac\U0001F600"),
              "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u20ac", -1, nullptr, 0, nullptr, nullptr), 4);
    // A buffer with room for the longest result (three bytes a unit) is written in place:
    // the same bytes and count, nothing past them.
    const std::u16string text = u"a\u00e9\u20ac\U0001F600\xD800z";
    char roomy[3 * 7 + 1];
    std::fill(std::begin(roomy), std::end(roomy), '#');
    ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), roomy,
                                  3 * static_cast<int>(text.size()), nullptr, nullptr),
              14);
    EXPECT_EQ(std::string(roomy, 14), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBDz");
    EXPECT_EQ(roomy[14], '#');
    EXPECT_EQ(ToBytes(CP_UTF8, 0, text), std::string(roomy, 14));
}

TEST(WideCharToMultiByte, LoneSurrogatesWithAndWithoutStrictFlag) {
    const std::u16string lone_high = std::u16string(u"a") + u'\xD83D' + u"b";
    const std::u16string lone_low = std::u16string(1, u'\xDE00');
    const std::u16string high_at_end = std::u16string(u"x") + u'\xD800';
    EXPECT_EQ(ToBytes(CP_UTF8, 0, lone_high),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(ToBytes(CP_UTF8, 0, lone_low), "\xEF\xBF\xBD");
    EXPECT_EQ(ToBytes(CP_UTF8, 0, high_at_end), "x\xEF\xBF\xBD");
    for (const auto& bad : {lone_high, lone_low, high_at_end}) {
        DWORD error = 0;
        EXPECT_EQ(ToBytes(CP_UTF8, WC_ERR_INVALID_CHARS, bad, &error), "<failed>");
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    }
    // A pair split by an explicit length is a lone surrogate too.
    char out[8];
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, u"\U0001F600", 1, out, 8, nullptr,
                                  nullptr),
              0);
}

TEST(WideCharToMultiByte, Utf8RefusesDefaultCharacterArgumentsAndOtherFlags) {
    char out[8];
    BOOL used = FALSE;
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", -1, out, 8, "?", nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", -1, out, 8, nullptr, &used), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_EQ(
        WideCharToMultiByte(CP_UTF8, WC_NO_BEST_FIT_CHARS, u"a", -1, out, 8, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(1252, WC_ERR_INVALID_CHARS, u"a", -1, out, 8, nullptr, nullptr),
              0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS))
        << "strict flag is UTF-8 only";
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(1200, 0, u"a", -1, out, 8, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(WideCharToMultiByte, SizesTerminatorsAndSmallBuffers) {
    char out[8];
    std::fill(std::begin(out), std::end(out), '#');
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u00e9t\u00e9", -1, nullptr, 0, nullptr, nullptr),
              6);
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u00e9t\u00e9", -1, out, 5, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u00e9t\u00e9", -1, out, 6, nullptr, nullptr), 6);
    EXPECT_STREQ(out, "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(out[6], '#');
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, nullptr, -1, out, 8, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", 0, out, 8, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(WideCharToMultiByte, Windows1252BestFitAndDefaultCharacter) {
    BOOL used = TRUE;
    EXPECT_EQ(ToBytes(CP_ACP, 0, u"caf\u00e9 \u20ac", nullptr, &used), "caf\xE9 \x80");
    EXPECT_FALSE(used);
    EXPECT_EQ(ToBytes(1252, 0, u"\u0100\u0107\u0141x", nullptr, &used), "Ac?x")
        << "best fit drops the mark; a letter with no decomposition has none";
    EXPECT_TRUE(used);
    EXPECT_EQ(ToBytes(1252, WC_NO_BEST_FIT_CHARS, u"\u0100", nullptr, &used), "?");
    EXPECT_TRUE(used);
    EXPECT_EQ(ToBytes(1252, 0, u"\u4e2d\U0001F600", nullptr, &used), "??")
        << "a surrogate pair is one character";

    char out[8] = {};
    used = FALSE;
    EXPECT_EQ(WideCharToMultiByte(1252, 0, u"\u4e2d", -1, out, 8, "*", &used), 2);
    EXPECT_STREQ(out, "*");
    EXPECT_TRUE(used);
    EXPECT_EQ(ToBytes(CP_OEMCP, 0, u"\u00e9\u2500"), "\x82\xC4");
}

TEST(WideCharToMultiByte, RoundTripsEveryByteOfTheSingleBytePages) {
    for (UINT cp : {1252u, 437u, 28591u}) {
        std::string all;
        for (int b = 1; b < 256; ++b)
            all.push_back(static_cast<char>(b));
        EXPECT_EQ(ToBytes(cp, WC_NO_BEST_FIT_CHARS, ToWide(cp, 0, all)), all) << cp;
    }
}

}  // namespace
