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

}  // namespace
