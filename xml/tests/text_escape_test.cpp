// Replacement and escaping as the agent log's records need them.
#include <gtest/gtest.h>

#include "kvwin/wide_string.h"
#include "xml/text_escape.h"

namespace {

WString Escaped(WString text) {
    EscapeXmlString(text);
    return text;
}

WString CData(WString text) {
    EscapeCDataString(text);
    return text;
}

TEST(ReplaceAll, MatchesDoNotOverlapAndReplacementsAreNotRescanned) {
    WString text = TEXT("aaaa");
    ReplaceAll(text, TEXT("aa"), TEXT("a"), true);
    EXPECT_EQ(text, TEXT("aa"));
    text = TEXT("abab");
    ReplaceAll(text, TEXT("ab"), TEXT("abab"), true);
    EXPECT_EQ(text, TEXT("abababab"));
    text = TEXT("x-y-z");
    ReplaceAll(text, TEXT("-"), nullptr, true);
    EXPECT_EQ(text, TEXT("xyz"));
    text = TEXT("keep");
    ReplaceAll(text, TEXT(""), TEXT("no"), true);
    ReplaceAll(text, nullptr, TEXT("no"), true);
    EXPECT_EQ(text, TEXT("keep"));
}

TEST(ReplaceAll, CaseFlagDecidesWhetherMixedCaseMatches) {
    WString text = TEXT("Select FROM from");
    ReplaceAll(text, TEXT("from"), TEXT("#"), true);
    EXPECT_EQ(text, TEXT("Select FROM #"));
    ReplaceAll(text, TEXT("from"), TEXT("#"), false);
    EXPECT_EQ(text, TEXT("Select # #"));
}

TEST(ReplaceAll, GrowsPastItsFirstReservation) {
    WString text(5000, TEXT('<'));
    ReplaceAll(text, TEXT("<"), TEXT("&lt;"), true);
    ASSERT_EQ(text.size(), 20000u);
    EXPECT_EQ(text.substr(19996), TEXT("&lt;"));
}

TEST(EscapeXml, AmpersandFirstBothQuotesAndExistingEntities) {
    EXPECT_EQ(Escaped(TEXT("&lt;")), TEXT("&amp;lt;"));
    EXPECT_EQ(Escaped(TEXT("a<b>'c'\"d\"")), TEXT("a&lt;b&gt;&apos;c&apos;&quot;d&quot;"));
    EXPECT_EQ(Escaped(TEXT("")), TEXT(""));
}

TEST(EscapeCData, OnlyClosingSequencesChangeAndTheChangeIsReversible) {
    EXPECT_EQ(CData(TEXT("a]]>b")), TEXT("a]]&gt;b"));
    EXPECT_EQ(CData(TEXT("]]x ]] >")), TEXT("]]x ]] >"));
    EXPECT_EQ(CData(TEXT("]]&gt;")), TEXT("]]&amp;gt;"));
    EXPECT_EQ(CData(TEXT("]]]>")), TEXT("]]]&gt;"));
}

}  // namespace
