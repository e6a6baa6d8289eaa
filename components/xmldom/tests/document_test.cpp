// Loading text: success and parse errors with their positions, attributes, text, markup,
// navigation, settings, and how long nodes keep what they need.
#include "kvtest/held_memory_bound.h"
#include "kvwin/com_runtime.h"
#include "xmldom_test_support.h"

namespace {

using namespace xmldomtest;

TEST(XmlDomLoad, ASuccessfulLoadClearsTheParseErrorAndAFailedOneEmptiesTheDocument) {
    ScopedApartment apartment;
    IXMLDOMDocumentPtr doc = NewDocument();
    VARIANT_BOOL ok = VARIANT_TRUE;
    EXPECT_EQ(doc->loadXML(Bstr(u"<a><b/>"), &ok), S_FALSE);
    EXPECT_EQ(ok, VARIANT_FALSE);
    EXPECT_EQ(doc->loadXML(Bstr(u"<?xml version='1.0'?>\n<a><b/></a>"), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    IXMLDOMParseErrorPtr error;
    ASSERT_EQ(doc->get_parseError(&error), S_OK);
    LONG code = -1;
    EXPECT_EQ(error->get_errorCode(&code), S_OK);
    EXPECT_EQ(code, 0);
    BSTR reason = nullptr;
    EXPECT_EQ(error->get_reason(&reason), S_OK);
    EXPECT_EQ(Take(reason), u"");
    IXMLDOMElementPtr root;
    ASSERT_EQ(doc->get_documentElement(&root), S_OK);
    EXPECT_EQ(NameOf(root), u"a");

    // Nodes of the old tree stay usable after a failed load replaced it.
    EXPECT_EQ(doc->loadXML(Bstr(u"not xml"), &ok), S_FALSE);
    EXPECT_EQ(NameOf(root), u"a");
    EXPECT_EQ(XmlOf(root), u"<a><b/></a>");
    IXMLDOMElementPtr none;
    EXPECT_EQ(doc->get_documentElement(&none), S_FALSE);
    EXPECT_TRUE(none == nullptr);

    // Arguments.
    EXPECT_EQ(doc->loadXML(Bstr(u"<a/>"), nullptr), E_POINTER);
    EXPECT_EQ(doc->get_documentElement(nullptr), E_POINTER);
    EXPECT_EQ(doc->get_parseError(nullptr), E_POINTER);
    EXPECT_EQ(doc->loadXML(nullptr, &ok), S_FALSE);  // no text: no document
}

// Loaded trees count against the bound on what objects hold for scripts: a load past it fails
// with E_OUTOFMEMORY and leaves the document empty; a reload or a release gives the room back.
TEST(XmlDomLoad, TreesShareTheHeldMemoryBound) {
    ScopedApartment apartment;
    const size_t before = kvwin::HeldMemoryInUse();
    kvtest::ScopedHeldMemoryBound bound(before + 1000000);
    const std::u16string big = u"<a>" + std::u16string(400000, u'x') + u"</a>";
    {
        IXMLDOMDocumentPtr first = Load(big);
        IXMLDOMDocumentPtr second = Load(big);
        IXMLDOMDocumentPtr third = NewDocument();
        VARIANT_BOOL ok = VARIANT_TRUE;
        EXPECT_EQ(third->loadXML(Bstr(big), &ok), E_OUTOFMEMORY);
        EXPECT_EQ(ok, VARIANT_FALSE);
        IXMLDOMElementPtr none;
        EXPECT_EQ(third->get_documentElement(&none), S_FALSE);
        // Loading again into a full document replaces what it held.
        EXPECT_EQ(second->loadXML(Bstr(big), &ok), S_OK);
        EXPECT_EQ(third->loadXML(Bstr(u"<small/>"), &ok), S_OK);
    }
    EXPECT_EQ(kvwin::HeldMemoryInUse(), before);
}

TEST(XmlDomLoad, ParseErrorsSayWhatIsWrongAndWhere) {
    ScopedApartment apartment;
    struct Case {
        std::u16string text;
        HRESULT code;
        LONG line, linepos, filepos;
    };
    const Case cases[] = {
        // An end tag for another element: reported at the end tag.
        {u"<a>\n  <b></c>\n</a>", XMLDOM_E_TAG_MISMATCH, 2, 6, 9},
        // Windows line ends count once; positions are in UTF-16 units (the emoji is two).
        {u"<a>\r\n<b x='\U0001F600'\r\n y=></b></a>", XMLDOM_E_BAD_ATTRIBUTE, 3, 4, 19},
        {u"<a><b>", XMLDOM_E_UNCLOSED_ELEMENT, 1, 7, 6},
        {u"<a/><b/>", XMLDOM_E_TEXT_OUTSIDE_ROOT, 1, 5, 4},
        {u"<a/>tail", XMLDOM_E_TEXT_OUTSIDE_ROOT, 1, 5, 4},
        {u"<!-- open", XMLDOM_E_UNCLOSED_COMMENT, 1, 5, 4},
        // No element at all: reported where the text ends.
        {u"<?xml version='1.0'?>", XMLDOM_E_MISSING_ROOT, 1, 22, 21},
        {u"", XMLDOM_E_MISSING_ROOT, 1, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(kvwin::ToUtf8(c.text));
        ErrorFields error = LoadFailure(c.text);
        EXPECT_EQ(error.load_result, S_FALSE);
        EXPECT_EQ(error.ok, VARIANT_FALSE);
        EXPECT_EQ(error.code, c.code);
        EXPECT_EQ(error.line, c.line);
        EXPECT_EQ(error.linepos, c.linepos);
        EXPECT_EQ(error.filepos, c.filepos);
        // The reason is a sentence naming the place.
        EXPECT_NE(error.reason.find(u"line " + kvwin::FromUtf8(std::to_string(c.line)) +
                                    u", position " + kvwin::FromUtf8(std::to_string(c.linepos))),
                  std::u16string::npos)
            << kvwin::ToUtf8(error.reason);
        EXPECT_EQ(error.reason.back(), u'.');
    }
    ErrorFields mismatch = LoadFailure(u"<a>\n  <b></c>\n</a>");
    EXPECT_EQ(mismatch.source, u"  <b></c>");
    EXPECT_NE(mismatch.reason.find(u"near \"</c>\""), std::u16string::npos);
}

TEST(XmlDomElement, AttributesAreTextOrNull) {
    ScopedApartment apartment;
    IXMLDOMDocumentPtr doc = Load(
        u"<item name='disk &amp; tape' empty='' quote=\"&quot;x&quot;\" "
        u"wide='\u00E9\U0001F600'/>");
    IXMLDOMElementPtr item;
    ASSERT_EQ(doc->get_documentElement(&item), S_OK);
    struct Case {
        const char16_t* name;
        const char16_t* value;
    };
    for (const Case& c : {Case{u"name", u"disk & tape"}, Case{u"empty", u""},
                          Case{u"quote", u"\"x\""}, Case{u"wide", u"\u00E9\U0001F600"}}) {
        VARIANT value;
        ASSERT_EQ(item->getAttribute(Bstr(c.name), &value), S_OK);
        ASSERT_EQ(value.vt, VT_BSTR);
        EXPECT_EQ(std::u16string(value.bstrVal), c.value);
        VariantClear(&value);
    }
    VARIANT missing;
    missing.vt = VT_I4;
    EXPECT_EQ(item->getAttribute(Bstr(u"Name"), &missing), S_FALSE);  // names keep their case
    EXPECT_EQ(missing.vt, VT_NULL);
    EXPECT_EQ(item->getAttribute(nullptr, &missing), E_INVALIDARG);
    EXPECT_EQ(item->getAttribute(Bstr(u"name"), nullptr), E_POINTER);
    EXPECT_EQ(XmlOf(item),
              u"<item name=\"disk &amp; tape\" empty=\"\" quote=\"&quot;x&quot;\" "
              u"wide=\"\u00E9\U0001F600\"/>");
}

TEST(XmlDomNode, TextGathersEveryDescendantAndHonoursWhiteSpaceSettings) {
    ScopedApartment apartment;
    const std::u16string text =
        u"<a>\n  one <b>two<c>three</c></b><!--not text--><?pi not text?>"
        u"<![CDATA[<four>]]> &lt;five&gt; \n</a>";
    IXMLDOMDocumentPtr doc = Load(text);
    IXMLDOMElementPtr a;
    ASSERT_EQ(doc->get_documentElement(&a), S_OK);
    EXPECT_EQ(TextOf(a), u"one twothree<four> <five>");
    EXPECT_EQ(TextOf(doc), u"one twothree<four> <five>");
    IXMLDOMNodePtr b = SelectOne(a, u"b");
    EXPECT_EQ(TextOf(b), u"twothree");

    IXMLDOMDocumentPtr keep = NewDocument();
    VARIANT_BOOL flag = VARIANT_TRUE;
    EXPECT_EQ(keep->get_preserveWhiteSpace(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_FALSE);
    EXPECT_EQ(keep->put_preserveWhiteSpace(VARIANT_TRUE), S_OK);
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(keep->loadXML(Bstr(u"<a>\n  <b> x </b>\n</a>"), &ok), S_OK);
    IXMLDOMElementPtr kept;
    ASSERT_EQ(keep->get_documentElement(&kept), S_OK);
    EXPECT_EQ(TextOf(kept), u"\n   x \n");
    IXMLDOMNodeListPtr children;
    ASSERT_EQ(kept->get_childNodes(&children), S_OK);
    LONG length = 0;
    EXPECT_EQ(children->get_length(&length), S_OK);
    EXPECT_EQ(length, 3);  // the white space around <b> is kept as text nodes

    // async is remembered (loads from text are always synchronous).
    EXPECT_EQ(keep->get_async(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_TRUE);
    EXPECT_EQ(keep->put_async(VARIANT_FALSE), S_OK);
    EXPECT_EQ(keep->get_async(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_FALSE);
    EXPECT_EQ(keep->get_async(nullptr), E_POINTER);
    EXPECT_EQ(kept->get_text(nullptr), E_POINTER);
}

TEST(XmlDomNode, NavigationWalksTheTreeAndStopsWithSFalse) {
    ScopedApartment apartment;
    IXMLDOMDocumentPtr doc = Load(u"<r><x/>mid<y k='v'/><!--c--></r>");
    IXMLDOMElementPtr r;
    ASSERT_EQ(doc->get_documentElement(&r), S_OK);

    std::u16string names;
    IXMLDOMNodePtr cur;
    ASSERT_EQ(r->get_firstChild(&cur), S_OK);
    while (cur != nullptr) {
        names += NameOf(cur) + u" ";
        IXMLDOMNodePtr next;
        HRESULT hr = cur->get_nextSibling(&next);
        EXPECT_EQ(hr, next == nullptr ? S_FALSE : S_OK);
        cur = next;
    }
    EXPECT_EQ(names, u"x #text y #comment ");

    IXMLDOMNodePtr y = SelectOne(r, u"y");
    DOMNodeType type = NODE_INVALID;
    EXPECT_EQ(y->get_nodeType(&type), S_OK);
    EXPECT_EQ(type, NODE_ELEMENT);
    IXMLDOMNodePtr parent;
    ASSERT_EQ(y->get_parentNode(&parent), S_OK);
    EXPECT_TRUE(parent == r);  // one node, one object
    IXMLDOMNodePtr y_again = SelectOne(doc, u"//y");
    EXPECT_EQ(static_cast<IXMLDOMNode*>(y_again), static_cast<IXMLDOMNode*>(y));
    EXPECT_TRUE(SelectOne(y, u"@k") == SelectOne(r, u"y/@k"));
    EXPECT_FALSE(SelectOne(r, u"x") == y);
    // The root's parent is the document object itself; the document has none.
    IXMLDOMNodePtr top;
    ASSERT_EQ(r->get_parentNode(&top), S_OK);
    EXPECT_TRUE(top == doc);
    IXMLDOMNodePtr above;
    EXPECT_EQ(doc->get_parentNode(&above), S_FALSE);
    EXPECT_TRUE(above == nullptr);
    IXMLDOMNodePtr attribute = SelectOne(y, u"@k");
    EXPECT_EQ(attribute->get_parentNode(&above), S_FALSE);
    EXPECT_EQ(attribute->get_nodeType(&type), S_OK);
    EXPECT_EQ(type, NODE_ATTRIBUTE);
    VARIANT value;
    ASSERT_EQ(attribute->get_nodeValue(&value), S_OK);
    EXPECT_EQ(value.vt, VT_BSTR);
    VariantClear(&value);
    ASSERT_EQ(y->get_nodeValue(&value), S_FALSE);  // an element has no value
    EXPECT_EQ(value.vt, VT_NULL);

    IXMLDOMNamedNodeMap* map = reinterpret_cast<IXMLDOMNamedNodeMap*>(1);
    EXPECT_EQ(y->get_attributes(&map), E_NOTIMPL);
    EXPECT_EQ(map, nullptr);
    IXMLDOMNodePtr child;
    EXPECT_EQ(y->get_firstChild(&child), S_FALSE);
    EXPECT_EQ(y->get_firstChild(nullptr), E_POINTER);
}

// The text of every node a query selects, in the list's order.
std::u16string SelectedXml(const IXMLDOMNodePtr& context, std::u16string_view query) {
    IXMLDOMNodeListPtr list;
    EXPECT_EQ(context->selectNodes(Bstr(query), &list), S_OK) << kvwin::ToUtf8(query);
    std::u16string all;
    for (IXMLDOMNodePtr node; list && list->nextNode(&node) == S_OK && node;)
        all += XmlOf(node) + u"|";
    return all;
}

// Paths of plain names select what the same steps written out as XPath axes select, in
// document order: elements only, names compared exactly (a prefixed name is another name),
// nested matches below a match not taken for the next step's.
TEST(XmlDomNode, PlainPathsSelectWhatTheirXPathSelects) {
    ScopedApartment apartment;
    IXMLDOMDocumentPtr doc = Load(
        u"<r><a b='attr'><b>1<b>inner</b></b><!--b--><?b pi?><x:b "
        u"xmlns:x='u'>p</x:b>text<B>case</B>"
        u"<b.c-d_e>odd</b.c-d_e></a><c/><a><b>2</b></a><a/><a><b>3<c><d/></c></b></a></r>");
    IXMLDOMNodePtr document(doc);
    IXMLDOMNodePtr root = SelectOne(doc, u"r");
    struct Case {
        IXMLDOMNodePtr context;
        std::u16string plain, xpath;
    };
    const Case cases[] = {
        {document, u"r/a/b", u"child::r/child::a/child::b"},
        {root, u"a/b", u"child::a/child::b"},
        {root, u"a", u"child::a"},
        {root, u"a/b/c/d", u"child::a/child::b/child::c/child::d"},
        {root, u"a/b.c-d_e", u"child::a/child::b.c-d_e"},
        {root, u"a/B", u"child::a/child::B"},
        {root, u"a/x", u"child::a/child::x"},
        {root, u"r", u"child::r"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SelectedXml(c.context, c.plain), SelectedXml(c.context, c.xpath))
            << kvwin::ToUtf8(c.plain);
    EXPECT_EQ(SelectedXml(root, u"a/b"), u"<b>1<b>inner</b></b>|<b>2</b>|<b>3<c><d/></c></b>|");

    // One node: the first in document order, S_FALSE when there is none.
    IXMLDOMNodePtr first = SelectOne(root, u"a/b/c");
    EXPECT_EQ(XmlOf(first), u"<c><d/></c>");
    first = SelectOne(root, u"a/b");
    EXPECT_EQ(XmlOf(first), u"<b>1<b>inner</b></b>");
    IXMLDOMNodePtr none;
    EXPECT_EQ(root->selectSingleNode(Bstr(u"a/none"), &none), S_FALSE);
    EXPECT_TRUE(none == nullptr);

    // Near misses of a plain path still go to XPath, and answer as XPath does.
    EXPECT_EQ(SelectedXml(root, u"a/b/b"), u"<b>inner</b>|");
    EXPECT_EQ(SelectedXml(root, u"a/@b"), u"b=\"attr\"|");
    EXPECT_EQ(SelectedXml(root, u"a/b[2]"), u"");
    EXPECT_EQ(SelectedXml(root, u"./c"), u"<c/>|");
    EXPECT_EQ(SelectedXml(root, u"c/d/e/f/g/h/i/j/k"), u"");  // more steps than a plain walk
    IXMLDOMNodeListPtr list;
    EXPECT_EQ(root->selectNodes(Bstr(u"a/"), &list), E_FAIL);
    EXPECT_EQ(root->selectNodes(Bstr(u"/a"), &list), S_OK);
}

TEST(XmlDomNode, NamesSplitIntoPrefixAndBaseNameWithTheirNamespace) {
    ScopedApartment apartment;
    IXMLDOMDocumentPtr doc =
        Load(u"<?xml version='1.0'?><r xmlns='urn:d' xmlns:p='urn:p'><p:x p:a='1' b='2'/></r>");
    EXPECT_EQ(XmlOf(doc),
              u"<?xml version=\"1.0\"?><r xmlns=\"urn:d\" xmlns:p=\"urn:p\"><p:x p:a=\"1\" "
              u"b=\"2\"/></r>");
    struct Case {
        const char16_t* query;
        const char16_t* prefix;
        const char16_t* base;
        const char16_t* uri;
    };
    for (const Case& c :
         {Case{u"r", u"", u"r", u"urn:d"}, Case{u"r/p:x", u"p", u"x", u"urn:p"},
          Case{u"r/p:x/@p:a", u"p", u"a", u"urn:p"}, Case{u"r/p:x/@b", u"", u"b", u""}}) {
        SCOPED_TRACE(kvwin::ToUtf8(c.query));
        IXMLDOMNodePtr node = SelectOne(doc, c.query);
        ASSERT_TRUE(node != nullptr);
        BSTR text = nullptr;
        ASSERT_EQ(node->get_prefix(&text), S_OK);
        EXPECT_EQ(Take(text), c.prefix);
        ASSERT_EQ(node->get_baseName(&text), S_OK);
        EXPECT_EQ(Take(text), c.base);
        ASSERT_EQ(node->get_namespaceURI(&text), S_OK);
        EXPECT_EQ(Take(text), c.uri);
    }
}

TEST(XmlDomNode, EachKindOfNodeNamesItsType) {
    ScopedApartment apartment;
    IXMLDOMDocumentPtr doc = Load(u"<r a='1'>text<!--note--><?pi data?></r>");
    struct Case {
        const char16_t* query;
        const char16_t* type;
    };
    for (const Case& c : {Case{u"r", u"element"}, Case{u"r/@a", u"attribute"},
                          Case{u"r/text()", u"text"}, Case{u"r/comment()", u"comment"},
                          Case{u"r/processing-instruction()", u"processinginstruction"}}) {
        SCOPED_TRACE(kvwin::ToUtf8(c.query));
        IXMLDOMNodePtr node = SelectOne(doc, c.query);
        ASSERT_TRUE(node != nullptr);
        BSTR text = nullptr;
        ASSERT_EQ(node->get_nodeTypeString(&text), S_OK);
        EXPECT_EQ(Take(text), c.type);
    }
    BSTR text = nullptr;
    ASSERT_EQ(doc->get_nodeTypeString(&text), S_OK);
    EXPECT_EQ(Take(text), u"document");
    EXPECT_EQ(doc->get_nodeTypeString(nullptr), E_POINTER);
    EXPECT_EQ(doc->get_prefix(nullptr), E_POINTER);
}

TEST(XmlDomLifetime, NodesKeepTheirDocumentAliveAndCountReferencesExactly) {
    ScopedApartment apartment;
    IXMLDOMDocument* doc = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IXMLDOMDocument, reinterpret_cast<void**>(&doc)),
              S_OK);
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(doc->loadXML(Bstr(u"<a><b>kept</b></a>"), &ok), S_OK);
    EXPECT_EQ(RefCount(doc), 1u);
    IXMLDOMNode* b = nullptr;
    ASSERT_EQ(doc->selectSingleNode(Bstr(u"a/b"), &b), S_OK);
    EXPECT_EQ(RefCount(doc), 2u);
    EXPECT_EQ(RefCount(b), 1u);
    // Finding the node again gives the same object, one more reference on it.
    IXMLDOMNode* again = nullptr;
    ASSERT_EQ(doc->selectSingleNode(Bstr(u"//b"), &again), S_OK);
    EXPECT_EQ(again, b);
    EXPECT_EQ(RefCount(b), 2u);
    EXPECT_EQ(RefCount(doc), 2u);
    EXPECT_EQ(again->Release(), 1u);
    IXMLDOMNodeList* children = nullptr;
    ASSERT_EQ(b->get_childNodes(&children), S_OK);
    EXPECT_EQ(RefCount(doc), 3u);
    EXPECT_EQ(children->Release(), 0u);
    EXPECT_EQ(RefCount(doc), 2u);

    // The caller lets go of the document; the node still reads it.
    EXPECT_EQ(doc->Release(), 1u);
    BSTR text = nullptr;
    ASSERT_EQ(b->get_text(&text), S_OK);
    EXPECT_EQ(Take(text), u"kept");
    IXMLDOMDocument* owner = nullptr;
    ASSERT_EQ(b->get_ownerDocument(&owner), S_OK);
    EXPECT_EQ(owner, doc);
    // Loading new text into the document leaves the node on the tree it came from.
    ASSERT_EQ(owner->loadXML(Bstr(u"<other/>"), &ok), S_OK);
    ASSERT_EQ(b->get_text(&text), S_OK);
    EXPECT_EQ(Take(text), u"kept");
    EXPECT_EQ(owner->Release(), 1u);
    EXPECT_EQ(b->Release(), 0u);
    CoFreeUnusedLibraries();
    EXPECT_EQ(kvwin::LoadedServerModuleCount(), 0u);  // everything went
}

}  // namespace
