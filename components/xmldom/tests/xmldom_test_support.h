// What the XML DOM tests share: an apartment, smart pointers for the interfaces, BSTR
// helpers, and loading a document in one step.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "kvtest/com_support.h"
#include "kvwin/utf.h"
#include "win/comdef.h"
#include "win/msxml.h"

_COM_SMARTPTR_TYPEDEF(IXMLDOMDocument, __uuidof(IXMLDOMDocument));
_COM_SMARTPTR_TYPEDEF(IXMLDOMNode, __uuidof(IXMLDOMNode));
_COM_SMARTPTR_TYPEDEF(IXMLDOMElement, __uuidof(IXMLDOMElement));
_COM_SMARTPTR_TYPEDEF(IXMLDOMNodeList, __uuidof(IXMLDOMNodeList));
_COM_SMARTPTR_TYPEDEF(IXMLDOMParseError, __uuidof(IXMLDOMParseError));

namespace xmldomtest {

using kvtest::ScopedApartment;

using kvtest::Bstr;
using kvtest::Take;

inline IXMLDOMDocumentPtr NewDocument() {
    IXMLDOMDocumentPtr doc;
    EXPECT_EQ(doc.CreateInstance(CLSID_DOMDocument), S_OK);
    return doc;
}

// A document with `text` loaded; the load must succeed.
inline IXMLDOMDocumentPtr Load(std::u16string_view text) {
    IXMLDOMDocumentPtr doc = NewDocument();
    VARIANT_BOOL ok = VARIANT_FALSE;
    EXPECT_EQ(doc->loadXML(Bstr(text), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    return doc;
}

struct ErrorFields {
    HRESULT load_result = S_OK;
    VARIANT_BOOL ok = VARIANT_TRUE;
    LONG code = 0, line = 0, linepos = 0, filepos = 0;
    std::u16string reason, source;
};

// Loads text that must not parse and reads the parse error object.
inline ErrorFields LoadFailure(std::u16string_view text) {
    ErrorFields fields;
    IXMLDOMDocumentPtr doc = NewDocument();
    fields.load_result = doc->loadXML(Bstr(text), &fields.ok);
    IXMLDOMParseErrorPtr error;
    EXPECT_EQ(doc->get_parseError(&error), S_OK);
    EXPECT_EQ(error->get_errorCode(&fields.code), S_OK);
    EXPECT_EQ(error->get_line(&fields.line), S_OK);
    EXPECT_EQ(error->get_linepos(&fields.linepos), S_OK);
    EXPECT_EQ(error->get_filepos(&fields.filepos), S_OK);
    BSTR reason = nullptr, source = nullptr;
    EXPECT_EQ(error->get_reason(&reason), S_OK);
    EXPECT_EQ(error->get_srcText(&source), S_OK);
    fields.reason = Take(reason);
    fields.source = Take(source);
    // A failed load leaves an empty document.
    IXMLDOMElementPtr root;
    EXPECT_EQ(doc->get_documentElement(&root), S_FALSE);
    EXPECT_TRUE(root == nullptr);
    return fields;
}

template <class Node>
std::u16string NameOf(Node& node) {
    BSTR name = nullptr;
    EXPECT_EQ(node->get_nodeName(&name), S_OK);
    return Take(name);
}
template <class Node>
std::u16string TextOf(Node& node) {
    BSTR text = nullptr;
    EXPECT_EQ(node->get_text(&text), S_OK);
    return Take(text);
}
template <class Node>
std::u16string XmlOf(Node& node) {
    BSTR xml = nullptr;
    EXPECT_EQ(node->get_xml(&xml), S_OK);
    return Take(xml);
}

template <class Node>
IXMLDOMNodePtr SelectOne(Node& context, std::u16string_view query) {
    IXMLDOMNodePtr found;
    EXPECT_EQ(context->selectSingleNode(Bstr(query), &found), S_OK) << "query";
    return found;
}

inline ULONG RefCount(IUnknown* p) {
    p->AddRef();
    return p->Release();
}

}  // namespace xmldomtest
