// The regular-expression engine below the RegExp object: the bounds of a search and the
// rewriting of the language's syntax where scripts cannot see it directly.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>

#include "errors.h"
#include "regexp_engine.h"

namespace {

using kvvbs::regex::Options;
using kvvbs::regex::Pattern;

TEST(RegexBounds, AStoppedScriptEndsACatastrophicSearch) {
    auto pattern = Pattern::Compile(u"^(a+)+$", Options{});
    std::u16string text(64, u'a');
    text += u'b';
    std::atomic<bool> stop{true};
    Pattern::Search search(*pattern, &stop);
    std::vector<uint32_t> found;
    auto begin = std::chrono::steady_clock::now();
    EXPECT_THROW(search.Find(text, 0, found), kvvbs::ScriptError);
    // The first, limited try runs to its match limit; the watched retry stops at once.
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(30));
}

TEST(RegexBounds, ALongSearchOfARunningScriptRunsToItsEnd) {
    // Some 2^23 backtracking steps: past the first try's limit, so the watched retry runs
    // and must reach the same answer.
    auto pattern = Pattern::Compile(u"^(a+)+$", Options{});
    std::u16string text(23, u'a');
    text += u'b';
    std::atomic<bool> stop{false};
    Pattern::Search search(*pattern, &stop);
    std::vector<uint32_t> found;
    EXPECT_FALSE(search.Find(text, 0, found));
    text.pop_back();
    EXPECT_TRUE(search.Find(text, 0, found));
}

TEST(RegexBounds, DeepBacktrackingMemoryIsCapped) {
    // Each repetition of a group keeps a backtracking frame; a huge text must end in an
    // error, not take unbounded memory.
    auto pattern = Pattern::Compile(u"(?:(a)|b)*$", Options{});
    std::u16string text(20'000'000, u'a');
    text += u'\n';
    Pattern::Search search(*pattern, nullptr);
    std::vector<uint32_t> found;
    try {
        search.Find(text, 0, found);
        ADD_FAILURE() << "the search ended normally";
    } catch (const kvvbs::ScriptError& e) {
        EXPECT_EQ(e.number, kvvbs::kErrOutOfMemory);
    }
}

TEST(RegexSyntax, MultilineAnchorsAreRewrittenForCarriageReturns) {
    Options multiline{false, true};
    auto pattern = Pattern::Compile(u"^b$", multiline);
    Pattern::Search search(*pattern, nullptr);
    std::vector<uint32_t> found;
    ASSERT_TRUE(search.Find(u"a\rb\rc", 0, found));
    EXPECT_EQ(found[0], 2u);
    // Without Multiline the same pattern is anchored at the text's ends only.
    auto plain = Pattern::Compile(u"^b$", Options{});
    Pattern::Search plain_search(*plain, nullptr);
    EXPECT_FALSE(plain_search.Find(u"a\rb\rc", 0, found));
    EXPECT_TRUE(plain_search.Find(u"b", 0, found));
}

TEST(RegexSyntax, VerbsAndOptionSettingsOfOtherEnginesAreRefused) {
    for (const char16_t* p : {u"(*LIMIT_MATCH=1)a", u"(?i)a", u"(?<n>a)", u"a*+", u"a{2}{3}"}) {
        SCOPED_TRACE(std::string(p, p + std::char_traits<char16_t>::length(p)).c_str());
        EXPECT_THROW(Pattern::Compile(p, Options{}), kvvbs::ScriptError);
    }
}

}  // namespace
