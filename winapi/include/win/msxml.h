// The XML document object model: the interfaces of the XML DOM component (kavrel-xmldom)
// and the classes it serves.
//
// The interfaces keep the Windows method order and identities, so code written against the
// Windows declarations compiles unchanged. Methods the component does not implement answer
// E_NOTIMPL; docs/components/xmldom.md lists what is implemented.
//
// Objects of the component are apartment objects: one document and the nodes taken from it
// are used by one thread at a time. AddRef and Release are safe from any thread.
#pragma once

#include "win/com.h"
#include "win/oleauto.h"

typedef enum tagDOMNodeType {
    NODE_INVALID = 0,
    NODE_ELEMENT = 1,
    NODE_ATTRIBUTE = 2,
    NODE_TEXT = 3,
    NODE_CDATA_SECTION = 4,
    NODE_ENTITY_REFERENCE = 5,
    NODE_ENTITY = 6,
    NODE_PROCESSING_INSTRUCTION = 7,
    NODE_COMMENT = 8,
    NODE_DOCUMENT = 9,
    NODE_DOCUMENT_TYPE = 10,
    NODE_DOCUMENT_FRAGMENT = 11,
    NODE_NOTATION = 12
} DOMNodeType;

struct IXMLDOMNode;
struct IXMLDOMNodeList;
struct IXMLDOMNamedNodeMap;
struct IXMLDOMDocument;
struct IXMLDOMDocumentType;
struct IXMLDOMImplementation;
struct IXMLDOMElement;
struct IXMLDOMDocumentFragment;
struct IXMLDOMText;
struct IXMLDOMComment;
struct IXMLDOMCDATASection;
struct IXMLDOMProcessingInstruction;
struct IXMLDOMAttribute;
struct IXMLDOMEntityReference;
struct IXMLDOMParseError;

struct IXMLDOMNode : IDispatch {
    STDMETHOD(get_nodeName)(BSTR* name) = 0;
    STDMETHOD(get_nodeValue)(VARIANT* value) = 0;
    STDMETHOD(put_nodeValue)(VARIANT value) = 0;
    STDMETHOD(get_nodeType)(DOMNodeType* type) = 0;
    STDMETHOD(get_parentNode)(IXMLDOMNode** parent) = 0;
    STDMETHOD(get_childNodes)(IXMLDOMNodeList** childList) = 0;
    STDMETHOD(get_firstChild)(IXMLDOMNode** firstChild) = 0;
    STDMETHOD(get_lastChild)(IXMLDOMNode** lastChild) = 0;
    STDMETHOD(get_previousSibling)(IXMLDOMNode** previousSibling) = 0;
    STDMETHOD(get_nextSibling)(IXMLDOMNode** nextSibling) = 0;
    STDMETHOD(get_attributes)(IXMLDOMNamedNodeMap** attributeMap) = 0;
    STDMETHOD(insertBefore)(IXMLDOMNode* newChild, VARIANT refChild, IXMLDOMNode** outNewChild) = 0;
    STDMETHOD(replaceChild)
    (IXMLDOMNode* newChild, IXMLDOMNode* oldChild, IXMLDOMNode** outOldChild) = 0;
    STDMETHOD(removeChild)(IXMLDOMNode* childNode, IXMLDOMNode** oldChild) = 0;
    STDMETHOD(appendChild)(IXMLDOMNode* newChild, IXMLDOMNode** outNewChild) = 0;
    STDMETHOD(hasChildNodes)(VARIANT_BOOL* hasChild) = 0;
    STDMETHOD(get_ownerDocument)(IXMLDOMDocument** document) = 0;
    STDMETHOD(cloneNode)(VARIANT_BOOL deep, IXMLDOMNode** cloneRoot) = 0;
    STDMETHOD(get_nodeTypeString)(BSTR* nodeType) = 0;
    // The text of the node and all its descendants, in document order.
    STDMETHOD(get_text)(BSTR* text) = 0;
    STDMETHOD(put_text)(BSTR text) = 0;
    STDMETHOD(get_specified)(VARIANT_BOOL* isSpecified) = 0;
    STDMETHOD(get_definition)(IXMLDOMNode** definitionNode) = 0;
    STDMETHOD(get_nodeTypedValue)(VARIANT* typedValue) = 0;
    STDMETHOD(put_nodeTypedValue)(VARIANT typedValue) = 0;
    STDMETHOD(get_dataType)(VARIANT* dataTypeName) = 0;
    STDMETHOD(put_dataType)(BSTR dataTypeName) = 0;
    // The node and its descendants as XML text.
    STDMETHOD(get_xml)(BSTR* xmlString) = 0;
    STDMETHOD(transformNode)(IXMLDOMNode* stylesheet, BSTR* xmlString) = 0;
    // XPath queries with this node as the context. selectSingleNode answers S_FALSE and a
    // null node when nothing matches.
    STDMETHOD(selectNodes)(BSTR queryString, IXMLDOMNodeList** resultList) = 0;
    STDMETHOD(selectSingleNode)(BSTR queryString, IXMLDOMNode** resultNode) = 0;
    STDMETHOD(get_parsed)(VARIANT_BOOL* isParsed) = 0;
    STDMETHOD(get_namespaceURI)(BSTR* namespaceURI) = 0;
    STDMETHOD(get_prefix)(BSTR* prefixString) = 0;
    STDMETHOD(get_baseName)(BSTR* nameString) = 0;
    STDMETHOD(transformNodeToObject)(IXMLDOMNode* stylesheet, VARIANT outputObject) = 0;
};
KV_DECLARE_UUID(IXMLDOMNode, "2933BF80-7B36-11D2-B20E-00C04F983E60");

struct IXMLDOMNodeList : IDispatch {
    // The node at a zero-based index; S_FALSE and null past the end.
    STDMETHOD(get_item)(LONG index, IXMLDOMNode** listItem) = 0;
    STDMETHOD(get_length)(LONG* listLength) = 0;
    // The next node of the list's own iteration; S_FALSE and null at the end.
    STDMETHOD(nextNode)(IXMLDOMNode** nextItem) = 0;
    STDMETHOD(reset)() = 0;
    STDMETHOD(get__newEnum)(IUnknown** ppUnk) = 0;
};
KV_DECLARE_UUID(IXMLDOMNodeList, "2933BF82-7B36-11D2-B20E-00C04F983E60");

struct IXMLDOMElement : IXMLDOMNode {
    STDMETHOD(get_tagName)(BSTR* tagName) = 0;
    // The attribute's text as VT_BSTR, or VT_NULL and S_FALSE when the element has none.
    STDMETHOD(getAttribute)(BSTR name, VARIANT* value) = 0;
    STDMETHOD(setAttribute)(BSTR name, VARIANT value) = 0;
    STDMETHOD(removeAttribute)(BSTR name) = 0;
    STDMETHOD(getAttributeNode)(BSTR name, IXMLDOMAttribute** attributeNode) = 0;
    STDMETHOD(setAttributeNode)
    (IXMLDOMAttribute* DOMAttribute, IXMLDOMAttribute** attributeNode) = 0;
    STDMETHOD(removeAttributeNode)
    (IXMLDOMAttribute* DOMAttribute, IXMLDOMAttribute** attributeNode) = 0;
    STDMETHOD(getElementsByTagName)(BSTR tagName, IXMLDOMNodeList** resultList) = 0;
    STDMETHOD(normalize)() = 0;
};
KV_DECLARE_UUID(IXMLDOMElement, "2933BF86-7B36-11D2-B20E-00C04F983E60");

struct IXMLDOMParseError : IDispatch {
    // Zero after a successful load; otherwise one of the XMLDOM_E_* codes below.
    STDMETHOD(get_errorCode)(LONG* errorCode) = 0;
    STDMETHOD(get_url)(BSTR* urlString) = 0;
    // A sentence saying what is wrong; an empty text after a successful load.
    STDMETHOD(get_reason)(BSTR* reasonString) = 0;
    // The line holding the error.
    STDMETHOD(get_srcText)(BSTR* sourceString) = 0;
    // One-based line and column (in UTF-16 code units) of the error.
    STDMETHOD(get_line)(LONG* lineNumber) = 0;
    STDMETHOD(get_linepos)(LONG* linePosition) = 0;
    // Zero-based offset of the error from the start of the text, in UTF-16 code units.
    STDMETHOD(get_filepos)(LONG* filePosition) = 0;
};
KV_DECLARE_UUID(IXMLDOMParseError, "3EFAA426-272F-11D2-836F-0000F87A7782");

struct IXMLDOMDocument : IXMLDOMNode {
    STDMETHOD(get_doctype)(IXMLDOMDocumentType** documentType) = 0;
    STDMETHOD(get_implementation)(IXMLDOMImplementation** impl) = 0;
    // The root element; S_FALSE and null when the document has none.
    STDMETHOD(get_documentElement)(IXMLDOMElement** DOMElement) = 0;
    STDMETHOD(putref_documentElement)(IXMLDOMElement* DOMElement) = 0;
    STDMETHOD(createElement)(BSTR tagName, IXMLDOMElement** element) = 0;
    STDMETHOD(createDocumentFragment)(IXMLDOMDocumentFragment** docFrag) = 0;
    STDMETHOD(createTextNode)(BSTR data, IXMLDOMText** text) = 0;
    STDMETHOD(createComment)(BSTR data, IXMLDOMComment** comment) = 0;
    STDMETHOD(createCDATASection)(BSTR data, IXMLDOMCDATASection** cdata) = 0;
    STDMETHOD(createProcessingInstruction)
    (BSTR target, BSTR data, IXMLDOMProcessingInstruction** pi) = 0;
    STDMETHOD(createAttribute)(BSTR name, IXMLDOMAttribute** attribute) = 0;
    STDMETHOD(createEntityReference)(BSTR name, IXMLDOMEntityReference** entityRef) = 0;
    STDMETHOD(getElementsByTagName)(BSTR tagName, IXMLDOMNodeList** resultList) = 0;
    STDMETHOD(createNode)(VARIANT Type, BSTR name, BSTR namespaceURI, IXMLDOMNode** node) = 0;
    STDMETHOD(nodeFromID)(BSTR idString, IXMLDOMNode** node) = 0;
    STDMETHOD(load)(VARIANT xmlSource, VARIANT_BOOL* isSuccessful) = 0;
    STDMETHOD(get_readyState)(LONG* value) = 0;
    // The outcome of the last load.
    STDMETHOD(get_parseError)(IXMLDOMParseError** errorObj) = 0;
    STDMETHOD(get_url)(BSTR* urlString) = 0;
    STDMETHOD(get_async)(VARIANT_BOOL* isAsync) = 0;
    STDMETHOD(put_async)(VARIANT_BOOL isAsync) = 0;
    STDMETHOD(abort)() = 0;
    // Parses UTF-16 text. S_OK and VARIANT_TRUE when it is a well-formed document; S_FALSE
    // and VARIANT_FALSE otherwise, with the reason in parseError and an empty document.
    STDMETHOD(loadXML)(BSTR bstrXML, VARIANT_BOOL* isSuccessful) = 0;
    STDMETHOD(save)(VARIANT destination) = 0;
    STDMETHOD(get_validateOnParse)(VARIANT_BOOL* isValidating) = 0;
    STDMETHOD(put_validateOnParse)(VARIANT_BOOL isValidating) = 0;
    STDMETHOD(get_resolveExternals)(VARIANT_BOOL* isResolving) = 0;
    STDMETHOD(put_resolveExternals)(VARIANT_BOOL isResolving) = 0;
    STDMETHOD(get_preserveWhiteSpace)(VARIANT_BOOL* isPreserving) = 0;
    STDMETHOD(put_preserveWhiteSpace)(VARIANT_BOOL isPreserving) = 0;
    STDMETHOD(put_onreadystatechange)(VARIANT readystatechangeSink) = 0;
    STDMETHOD(put_ondataavailable)(VARIANT ondataavailableSink) = 0;
    STDMETHOD(put_ontransformnode)(VARIANT ontransformnodeSink) = 0;
};
KV_DECLARE_UUID(IXMLDOMDocument, "2933BF81-7B36-11D2-B20E-00C04F983E60");

// The document classes. All of them are served by the same object.
//   CLSID_DOMDocument          "Microsoft.XMLDOM", "MSXML.DOMDocument"
//   CLSID_DOMDocument2x        "Msxml2.DOMDocument" (the version-independent name)
//   CLSID_DOMDocument30        "Msxml2.DOMDocument.3.0"
//   CLSID_DOMDocument60        "Msxml2.DOMDocument.6.0"
inline constexpr CLSID CLSID_DOMDocument =
    kvwin::GuidFromLiteral("2933BF90-7B36-11D2-B20E-00C04F983E60");
inline constexpr CLSID CLSID_DOMDocument2x =
    kvwin::GuidFromLiteral("F6D90F11-9C73-11D3-B32E-00C04F990BB4");
inline constexpr CLSID CLSID_DOMDocument30 =
    kvwin::GuidFromLiteral("F5078F32-C551-11D3-89B9-0000F81FE221");
inline constexpr CLSID CLSID_DOMDocument60 =
    kvwin::GuidFromLiteral("88D96A05-F192-11D4-A65F-0040963251E5");

inline constexpr IID IID_IXMLDOMNode = __uuidof(IXMLDOMNode);
inline constexpr IID IID_IXMLDOMNodeList = __uuidof(IXMLDOMNodeList);
inline constexpr IID IID_IXMLDOMElement = __uuidof(IXMLDOMElement);
inline constexpr IID IID_IXMLDOMParseError = __uuidof(IXMLDOMParseError);
inline constexpr IID IID_IXMLDOMDocument = __uuidof(IXMLDOMDocument);

// The parse error codes the component reports (IXMLDOMParseError::get_errorCode, as LONG).
#define XMLDOM_E_INVALID_TEXT ((HRESULT)0xC00CE500L)       // not valid UTF-16
#define XMLDOM_E_SYNTAX ((HRESULT)0xC00CE501L)             // malformed markup
#define XMLDOM_E_UNCLOSED_COMMENT ((HRESULT)0xC00CE502L)   // comment, CDATA, PI, DOCTYPE
#define XMLDOM_E_BAD_ATTRIBUTE ((HRESULT)0xC00CE503L)      // attribute syntax or value
#define XMLDOM_E_BAD_REFERENCE ((HRESULT)0xC00CE504L)      // a character or entity reference
#define XMLDOM_E_TAG_MISMATCH ((HRESULT)0xC00CE505L)       // end tag does not match
#define XMLDOM_E_UNCLOSED_ELEMENT ((HRESULT)0xC00CE506L)   // text ends inside an element
#define XMLDOM_E_TOO_DEEP ((HRESULT)0xC00CE507L)           // nesting beyond the limit
#define XMLDOM_E_OUT_OF_MEMORY ((HRESULT)0xC00CE508L)      // not enough memory
#define XMLDOM_E_TEXT_OUTSIDE_ROOT ((HRESULT)0xC00CE509L)  // two roots, or text beside one
#define XMLDOM_E_MISSING_ROOT ((HRESULT)0xC00CE558L)       // no top-level element
