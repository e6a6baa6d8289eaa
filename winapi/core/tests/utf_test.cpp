#include "kvwin/utf.h"

#include <gtest/gtest.h>

namespace {

TEST(Utf, RoundTripsEveryPlane) {
    const std::u16string text = u"A\u00e9\u20ac\U0001F600z";
    EXPECT_EQ(kvwin::ToUtf8(text), "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z");
    EXPECT_EQ(kvwin::FromUtf8(kvwin::ToUtf8(text)), text);
}

TEST(Utf, MalformedInputBecomesReplacementCharacters) {
    EXPECT_EQ(kvwin::ToUtf8(std::u16string(1, u'\xD800') + u"a"),
              "\xEF\xBF\xBD"
              "a");
    EXPECT_EQ(kvwin::ToUtf8(std::u16string(1, u'\xDC00')), "\xEF\xBF\xBD");
    EXPECT_EQ(kvwin::FromUtf8("\xFF"
                              "a"),
              u"\uFFFDa");
    EXPECT_EQ(kvwin::FromUtf8("\xC3"), u"\uFFFD") << "truncated sequence at the end";
    EXPECT_EQ(kvwin::FromUtf8("\xC0\xAF"), u"\uFFFD") << "overlong form";
    EXPECT_EQ(kvwin::FromUtf8("\xED\xA0\x80"), u"\uFFFD") << "encoded surrogate";
    EXPECT_EQ(kvwin::FromUtf8("\xE2\x82"
                              "A"),
              u"\uFFFDA");
}

// ASCII is widened several bytes at a time: a character of another length, or a malformed
// byte, at every place of a run (either side of a word boundary, at the very end) comes out
// where it was, and the text around it untouched.
TEST(Utf, EveryPlaceInAnAsciiRun) {
    const std::string ascii = "0123456789abcdefghijklmnopq";
    for (size_t at = 0; at <= ascii.size(); ++at) {
        const std::u16string before = kvwin::FromUtf8(ascii.substr(0, at));
        const std::u16string after = kvwin::FromUtf8(ascii.substr(at));
        for (const std::u16string middle : {u"\u00e9", u"\u20ac", u"\U0001F600"}) {
            const std::u16string text = before + middle + after;
            EXPECT_EQ(kvwin::FromUtf8(kvwin::ToUtf8(text)), text) << at;
        }
        EXPECT_EQ(kvwin::FromUtf8(ascii.substr(0, at) + "\xFF" + ascii.substr(at)),
                  before + u"\uFFFD" + after)
            << at;
        EXPECT_EQ(kvwin::FromUtf8(ascii.substr(0, at) + "\xF0\x9F"), before + u"\uFFFD") << at;
        EXPECT_EQ(after.size(), ascii.size() - at);
    }
    std::u16string out = u"key:";
    kvwin::AppendFromUtf8(out, "caf\xC3\xA9 au lait, du matin");
    EXPECT_EQ(out, u"key:caf\u00e9 au lait, du matin");
    kvwin::AppendFromUtf8(out, "");
    EXPECT_EQ(out, u"key:caf\u00e9 au lait, du matin");
}

}  // namespace
