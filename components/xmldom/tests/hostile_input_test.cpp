// Text that is not a document, or a document built to hurt: never a crash, always a parse
// error with a place, or a document that works.
#include <cstdint>

#include "kvtest/small_stack.h"
#include "xmldom_test_support.h"

namespace {

using namespace xmldomtest;

constexpr size_t kDepthLimit = 10000;  // the documented nesting limit

std::u16string Nested(size_t depth, bool closed) {
    std::u16string text;
    text.reserve(depth * 7);
    for (size_t i = 0; i < depth; ++i)
        text += u"<e>";
    if (closed)
        for (size_t i = 0; i < depth; ++i)
            text += u"</e>";
    return text;
}

TEST(XmlDomHostile, InvalidUtf16AndNonXmlTextGiveParseErrorsWithAPlace) {
    ScopedApartment apartment;
    struct Case {
        std::u16string text;
        HRESULT code;
        LONG line, linepos;
    };
    const Case cases[] = {
        {std::u16string(u"<a>x") + char16_t(0xD800) + u"</a>", XMLDOM_E_INVALID_TEXT, 1, 5},
        {std::u16string(u"<a>\n") + char16_t(0xDC00) + u"</a>", XMLDOM_E_INVALID_TEXT, 2, 1},
        {std::u16string(u"<a/>") + char16_t(0xD83D), XMLDOM_E_INVALID_TEXT, 1, 5},
        // A high surrogate followed by another high one: the first is alone.
        {std::u16string(u"<a>") + char16_t(0xD83D) + char16_t(0xD83D) + char16_t(0xDE00) + u"</a>",
         XMLDOM_E_INVALID_TEXT, 1, 4},
        {std::u16string(u"<a>\0</a>", 8), XMLDOM_E_INVALID_TEXT, 1, 4},
        {u"hello world", XMLDOM_E_MISSING_ROOT, 1, 12},
        {u"   \r\n\t ", XMLDOM_E_MISSING_ROOT, 2, 3},
        {u"{\"json\": true}", XMLDOM_E_MISSING_ROOT, 1, 15},
        {u"<", XMLDOM_E_SYNTAX, 1, 1},
        {u"<<>>", XMLDOM_E_SYNTAX, 1, 2},
        {u"<a b='1' b='2'/>", XMLDOM_E_BAD_ATTRIBUTE, 1, 1},  // at the element
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(kvwin::ToUtf8(c.text));
        ErrorFields error = LoadFailure(c.text);
        EXPECT_EQ(error.load_result, S_FALSE);
        EXPECT_EQ(error.code, c.code);
        EXPECT_EQ(error.line, c.line);
        EXPECT_EQ(error.linepos, c.linepos);
        EXPECT_FALSE(error.reason.empty());
    }
}

TEST(XmlDomHostile, ArbitraryTextNeverBreaksTheParser) {
    ScopedApartment apartment;
    // Fragments of markup glued together at random (a fixed seed), surrogates included.
    const char16_t* pieces[] = {
        u"<",  u">",         u"</",  u"/>", u"a",      u"b:c",    u"='",         u"'",   u"\"",
        u"&",  u"&amp;",     u"&#x", u";",  u"<!--",   u"-->",    u"<![CDATA[",  u"]]>", u"<?",
        u"?>", u"<!DOCTYPE", u" ",   u"\n", u"\xD800", u"\xDC00", u"\U0001F600", u"text"};
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    IXMLDOMDocumentPtr doc = NewDocument();
    size_t loaded = 0;
    for (int round = 0; round < 3000; ++round) {
        std::u16string text = u"<r>";
        size_t count = next() % 24;
        for (size_t i = 0; i < count; ++i)
            text += pieces[next() % (sizeof(pieces) / sizeof(pieces[0]))];
        if (next() % 2)
            text += u"</r>";
        VARIANT_BOOL ok = VARIANT_FALSE;
        HRESULT hr = doc->loadXML(Bstr(text), &ok);
        ASSERT_TRUE(hr == S_OK || hr == S_FALSE);
        IXMLDOMParseErrorPtr error;
        ASSERT_EQ(doc->get_parseError(&error), S_OK);
        LONG code = 0, line = 0, linepos = 0, filepos = -1;
        error->get_errorCode(&code);
        error->get_line(&line);
        error->get_linepos(&linepos);
        error->get_filepos(&filepos);
        if (hr == S_OK) {
            ++loaded;
            EXPECT_EQ(code, 0);
            // Whatever was loaded can be read back and queried.
            XmlOf(doc);
            TextOf(doc);
            IXMLDOMNodeListPtr all;
            EXPECT_EQ(doc->selectNodes(Bstr(u"//node()"), &all), S_OK);
        } else {
            EXPECT_LT(code, 0);
            EXPECT_GE(line, 1);
            EXPECT_GE(linepos, 1);
            EXPECT_LE(size_t(filepos), text.size());
        }
    }
    EXPECT_GT(loaded, 0u);  // the mix does produce documents too
}

TEST(XmlDomHostile, DeepNestingIsRefusedBeyondTheLimitAndWorksBelowIt) {
    ScopedApartment apartment;
    // 100000 levels: refused, at the first element past the limit.
    ErrorFields deep = LoadFailure(Nested(100000, true));
    EXPECT_EQ(deep.code, XMLDOM_E_TOO_DEEP);
    EXPECT_EQ(deep.line, 1);
    EXPECT_EQ(deep.filepos, LONG(kDepthLimit * 3));
    EXPECT_NE(deep.reason.find(u"10000 levels"), std::u16string::npos);
    // Unclosed at that depth: the text ends inside an element.
    EXPECT_EQ(LoadFailure(Nested(100000, false)).code, XMLDOM_E_UNCLOSED_ELEMENT);
    EXPECT_EQ(LoadFailure(Nested(kDepthLimit + 1, true)).code, XMLDOM_E_TOO_DEEP);

    // At the limit the document loads and every walk over it works.
    IXMLDOMDocumentPtr doc = NewDocument();
    VARIANT_BOOL ok = VARIANT_FALSE;
    std::u16string at_limit = Nested(kDepthLimit, false) + u"deepest";
    for (size_t i = 0; i < kDepthLimit; ++i)
        at_limit += u"</e>";
    ASSERT_EQ(doc->loadXML(Bstr(at_limit), &ok), S_OK);
    EXPECT_EQ(TextOf(doc), u"deepest");
    EXPECT_EQ(XmlOf(doc), at_limit);
    IXMLDOMNodeListPtr all;
    ASSERT_EQ(doc->selectNodes(Bstr(u"//e"), &all), S_OK);
    LONG length = 0;
    EXPECT_EQ(all->get_length(&length), S_OK);
    EXPECT_EQ(length, LONG(kDepthLimit));
    IXMLDOMNodePtr last;
    ASSERT_EQ(all->get_item(length - 1, &last), S_OK);
    EXPECT_EQ(TextOf(last), u"deepest");
}

TEST(XmlDomHostile, DeeplyNestedQueriesAreRefusedNotFollowed) {
    ScopedApartment apartment;
    IXMLDOMDocumentPtr doc = Load(u"<a><a/></a>");
    std::u16string parens = std::u16string(100000, u'(') + u"a" + std::u16string(100000, u')');
    std::u16string predicates = u"a";
    for (int i = 0; i < 20000; ++i)
        predicates += u"[a";
    predicates += std::u16string(20000, u']');
    for (const std::u16string& query : {parens, predicates}) {
        IXMLDOMNodePtr node;
        EXPECT_EQ(doc->selectSingleNode(Bstr(query), &node), E_FAIL);
        EXPECT_TRUE(node == nullptr);
    }
}

TEST(XmlDomHostile, LargeDocumentsLoadAndQuery) {
    ScopedApartment apartment;
    const size_t items = 100000;
    std::u16string text = u"<list>";
    text.reserve(items * 48);
    for (size_t i = 0; i < items; ++i) {
        std::string n = std::to_string(i);
        text += u"<item id='" + std::u16string(n.begin(), n.end()) + u"'>value</item>";
    }
    text += u"<big>" + std::u16string(4 * 1024 * 1024, u'x') + u"</big></list>";
    IXMLDOMDocumentPtr doc = Load(text);
    IXMLDOMNodeListPtr list;
    ASSERT_EQ(doc->selectNodes(Bstr(u"list/item"), &list), S_OK);
    LONG length = 0;
    EXPECT_EQ(list->get_length(&length), S_OK);
    EXPECT_EQ(length, LONG(items));
    IXMLDOMNodePtr found = SelectOne(doc, u"list/item[@id='99999']");
    ASSERT_TRUE(found != nullptr);
    EXPECT_EQ(TextOf(found), u"value");
    IXMLDOMNodePtr big = SelectOne(doc, u"list/big");
    EXPECT_EQ(TextOf(big).size(), 4u * 1024 * 1024);

    // The same text broken at its very end still reports the right place.
    text.pop_back();
    ErrorFields error = LoadFailure(text);
    EXPECT_NE(error.code, 0);
    EXPECT_EQ(error.line, 1);
    EXPECT_GE(size_t(error.filepos), text.size() - 8);
}

// The same documents and queries from a thread with a 256 KB stack: loading, walking,
// serialising and releasing a document at the depth limit, and compiling hostile queries,
// never recurse as deep as the input goes.
TEST(XmlDomHostile, DeepDocumentsAndQueriesNeedNoDeepStack) {
    ASSERT_TRUE(kvtest::RunOnSmallStack([] {
        ScopedApartment apartment;
        EXPECT_EQ(LoadFailure(Nested(100000, true)).code, XMLDOM_E_TOO_DEEP);
        std::u16string at_limit = Nested(kDepthLimit, true);
        IXMLDOMDocumentPtr doc = Load(at_limit);
        ASSERT_TRUE(doc != nullptr);
        const std::u16string xml = XmlOf(doc);
        EXPECT_EQ(xml.substr(0, 6), u"<e><e>");
        EXPECT_EQ(xml.substr(xml.size() - 8), u"</e></e>");
        IXMLDOMNodeListPtr all;
        ASSERT_EQ(doc->selectNodes(Bstr(u"//e"), &all), S_OK);
        LONG length = 0;
        EXPECT_EQ(all->get_length(&length), S_OK);
        EXPECT_EQ(length, LONG(kDepthLimit));
        IXMLDOMNodePtr deepest;
        ASSERT_EQ(all->get_item(length - 1, &deepest), S_OK);
        EXPECT_EQ(TextOf(doc), u"");
        all = nullptr;
        deepest = nullptr;
        doc = nullptr;  // the last reference: the whole tree goes

        IXMLDOMDocumentPtr small = Load(u"<a><a/></a>");
        std::u16string parens = std::u16string(100000, u'(') + u"a" + std::u16string(100000, u')');
        std::u16string predicates = u"a";
        for (int i = 0; i < 20000; ++i)
            predicates += u"[a";
        predicates += std::u16string(20000, u']');
        std::u16string negations = u"a[" + std::u16string(100000, u'-') + u"1]";
        for (const std::u16string& query : {parens, predicates, negations}) {
            IXMLDOMNodePtr node;
            EXPECT_EQ(small->selectSingleNode(Bstr(query), &node), E_FAIL);
        }
    }));
}

}  // namespace
