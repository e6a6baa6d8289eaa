// XPath selection as inventory query documents use it, and node list iteration.
#include "xmldom_test_support.h"

namespace {

using namespace xmldomtest;

const char16_t kInventory[] =
    u"<inventory version='2'>"
    u"<software>"
    u"<product name='Alpha' version='1.0'><vendor>North</vendor></product>"
    u"<product name='Beta'><vendor>South</vendor><note>beta only</note></product>"
    u"<product name='Gamma' version='3.1'><vendor>North</vendor></product>"
    u"</software>"
    u"<settings timeout='30'/>"
    u"</inventory>";

// The names (or text) of every node of a list, walked with nextNode.
std::u16string Walk(IXMLDOMNodeListPtr& list, bool text = false) {
    std::u16string seen;
    IXMLDOMNodePtr node;
    while (list->nextNode(&node) == S_OK) {
        seen += (text ? TextOf(node) : NameOf(node)) + u";";
    }
    EXPECT_TRUE(node == nullptr);
    return seen;
}

TEST(XmlDomQuery, SelectNodesListsMatchesInDocumentOrderAndIterates) {
    ScopedApartment apartment;
    IXMLDOMDocumentPtr doc = Load(kInventory);
    IXMLDOMNodeListPtr products;
    ASSERT_EQ(doc->selectNodes(Bstr(u"inventory/software/product"), &products), S_OK);
    LONG length = 0;
    EXPECT_EQ(products->get_length(&length), S_OK);
    EXPECT_EQ(length, 3);

    std::u16string names;
    IXMLDOMNodePtr node;
    while (products->nextNode(&node) == S_OK) {
        IXMLDOMElementPtr element = node;
        ASSERT_TRUE(element != nullptr);
        VARIANT name;
        ASSERT_EQ(element->getAttribute(Bstr(u"name"), &name), S_OK);
        names += std::u16string(name.bstrVal) + u";";
        VariantClear(&name);
    }
    EXPECT_EQ(names, u"Alpha;Beta;Gamma;");
    EXPECT_EQ(products->nextNode(&node), S_FALSE);  // stays at the end
    EXPECT_TRUE(node == nullptr);
    EXPECT_EQ(products->reset(), S_OK);
    EXPECT_EQ(Walk(products), u"product;product;product;");

    IXMLDOMNodePtr item;
    ASSERT_EQ(products->get_item(1, &item), S_OK);
    EXPECT_EQ(TextOf(item), u"Southbeta only");
    EXPECT_EQ(products->get_item(3, &item), S_FALSE);
    EXPECT_TRUE(item == nullptr);
    EXPECT_EQ(products->get_item(-1, &item), S_FALSE);
    EXPECT_EQ(products->get_length(nullptr), E_POINTER);
    EXPECT_EQ(products->nextNode(nullptr), E_POINTER);

    // Queries that find nothing give an empty list.
    IXMLDOMNodeListPtr nothing;
    ASSERT_EQ(doc->selectNodes(Bstr(u"inventory/hardware"), &nothing), S_OK);
    EXPECT_EQ(nothing->get_length(&length), S_OK);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(nothing->nextNode(&node), S_FALSE);

    IXMLDOMNodeListPtr vendors;
    ASSERT_EQ(doc->selectNodes(Bstr(u"//vendor"), &vendors), S_OK);
    EXPECT_EQ(Walk(vendors, true), u"North;South;North;");
    IXMLDOMElementPtr root;
    ASSERT_EQ(doc->get_documentElement(&root), S_OK);
    IXMLDOMNodeListPtr by_name;
    ASSERT_EQ(root->getElementsByTagName(Bstr(u"vendor"), &by_name), S_OK);
    EXPECT_EQ(Walk(by_name, true), u"North;South;North;");
}

TEST(XmlDomQuery, RelativePathsAttributesAndPredicatesFromAnyContext) {
    ScopedApartment apartment;
    IXMLDOMDocumentPtr doc = Load(kInventory);
    IXMLDOMNodePtr software = SelectOne(doc, u"inventory/software");
    ASSERT_TRUE(software != nullptr);
    EXPECT_EQ(NameOf(software), u"software");

    struct Case {
        const char16_t* query;
        const char16_t* name;
        const char16_t* text;
    };
    const Case cases[] = {
        {u"product/vendor", u"vendor", u"North"},
        {u"product[@name='Beta']/vendor", u"vendor", u"South"},
        {u"product[2]/@name", u"name", u"Beta"},
        {u"product[@version='3.1']", u"product", u"North"},
        {u"product[not(@version)]/note", u"note", u"beta only"},
        {u"product/@version", u"version", u"1.0"},
        {u".", u"software", u"NorthSouthbeta onlyNorth"},
        {u"..", u"inventory", u"NorthSouthbeta onlyNorth"},
        {u"../settings/@timeout", u"timeout", u"30"},
        {u"//settings", u"settings", u""},
        {u"/inventory/@version", u"version", u"2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(kvwin::ToUtf8(c.query));
        IXMLDOMNodePtr found = SelectOne(software, c.query);
        ASSERT_TRUE(found != nullptr);
        EXPECT_EQ(NameOf(found), c.name);
        EXPECT_EQ(TextOf(found), c.text);
    }

    // From an attribute: "." is the attribute, ".." its element.
    IXMLDOMNodePtr attribute = SelectOne(software, u"product/@name");
    EXPECT_EQ(XmlOf(attribute), u"name=\"Alpha\"");
    IXMLDOMNodePtr self = SelectOne(attribute, u".");
    EXPECT_EQ(NameOf(self), u"name");
    IXMLDOMNodePtr owner_element = SelectOne(attribute, u"..");
    EXPECT_EQ(NameOf(owner_element), u"product");

    // Nothing matches: S_FALSE and a null node.
    for (const char16_t* query : {u"product/@missing", u"hardware", u"product[9]"}) {
        IXMLDOMNodePtr none;
        EXPECT_EQ(software->selectSingleNode(Bstr(query), &none), S_FALSE);
        EXPECT_TRUE(none == nullptr);
    }
}

TEST(XmlDomQuery, BadQueriesFailWithoutANode) {
    ScopedApartment apartment;
    IXMLDOMDocumentPtr doc = Load(kInventory);
    for (const char16_t* query : {u"///", u"product[", u"count(//product)", u"@", u""}) {
        SCOPED_TRACE(kvwin::ToUtf8(query));
        IXMLDOMNodePtr node;
        EXPECT_EQ(doc->selectSingleNode(Bstr(query), &node), E_FAIL);
        EXPECT_TRUE(node == nullptr);
        IXMLDOMNodeListPtr list;
        EXPECT_EQ(doc->selectNodes(Bstr(query), &list), E_FAIL);
        EXPECT_TRUE(list == nullptr);
    }
    IXMLDOMNodePtr node;
    EXPECT_EQ(doc->selectSingleNode(nullptr, &node), E_INVALIDARG);
    EXPECT_EQ(doc->selectSingleNode(Bstr(u"a\xD800"), &node), E_INVALIDARG);
    EXPECT_EQ(doc->selectSingleNode(Bstr(u"inventory"), nullptr), E_POINTER);
    EXPECT_EQ(doc->selectNodes(Bstr(u"inventory"), nullptr), E_POINTER);
    // An empty document answers queries with nothing.
    IXMLDOMDocumentPtr empty = NewDocument();
    EXPECT_EQ(empty->selectSingleNode(Bstr(u"//x"), &node), S_FALSE);
}

}  // namespace
