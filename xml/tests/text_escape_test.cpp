// Replacement and escaping as the agent log's records need them.
#include <gtest/gtest.h>

#include "xml/text_escape.h"

namespace {

std::u16string Escaped(std::u16string text) {
    EscapeXmlString(text);
    return text;
}

std::u16string CData(std::u16string text) {
    EscapeCDataString(text);
    return text;
}

TEST(ReplaceAll, MatchesDoNotOverlapAndReplacementsAreNotRescanned) {
    std::u16string text = u"aaaa";
    ReplaceAll(text, u"aa", u"a", true);
    EXPECT_EQ(text, u"aa");
    text = u"abab";
    ReplaceAll(text, u"ab", u"abab", true);
    EXPECT_EQ(text, u"abababab");
    text = u"x-y-z";
    ReplaceAll(text, u"-", nullptr, true);
    EXPECT_EQ(text, u"xyz");
    text = u"keep";
    ReplaceAll(text, u"", u"no", true);
    ReplaceAll(text, nullptr, u"no", true);
    EXPECT_EQ(text, u"keep");
}

TEST(ReplaceAll, CaseFlagDecidesWhetherMixedCaseMatches) {
    std::u16string text = u"Select FROM from";
    ReplaceAll(text, u"from", u"#", true);
    EXPECT_EQ(text, u"Select FROM #");
    ReplaceAll(text, u"from", u"#", false);
    EXPECT_EQ(text, u"Select # #");
}

TEST(ReplaceAll, GrowsPastItsFirstReservation) {
    std::u16string text(5000, u'<');
    ReplaceAll(text, u"<", u"&lt;", true);
    ASSERT_EQ(text.size(), 20000u);
    EXPECT_EQ(text.substr(19996), u"&lt;");
}

TEST(EscapeXml, AmpersandFirstBothQuotesAndExistingEntities) {
    EXPECT_EQ(Escaped(u"&lt;"), u"&amp;lt;");
    EXPECT_EQ(Escaped(u"a<b>'c'\"d\""), u"a&lt;b&gt;&apos;c&apos;&quot;d&quot;");
    EXPECT_EQ(Escaped(u""), u"");
}

TEST(EscapeCData, OnlyClosingSequencesChangeAndTheChangeIsReversible) {
    EXPECT_EQ(CData(u"a]]>b"), u"a]]&gt;b");
    EXPECT_EQ(CData(u"]]x ]] >"), u"]]x ]] >");
    EXPECT_EQ(CData(u"]]&gt;"), u"]]&amp;gt;");
    EXPECT_EQ(CData(u"]]]>"), u"]]]&gt;");
}

}  // namespace
