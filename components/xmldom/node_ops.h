// The IXMLDOMNode methods, shared by the document object and the node objects. Each works
// on the node a COM object stands for (a NodeRef) and the document that owns it, checks its
// arguments and keeps exceptions inside (every function is noexcept).
#pragma once

#include "dom_tree.h"
#include "win/msxml.h"

namespace kvxmldom::ops {

HRESULT GetNodeName(const NodeRef& ref, BSTR* name) noexcept;
HRESULT GetNodeValue(const NodeRef& ref, VARIANT* value) noexcept;
HRESULT GetNodeType(const NodeRef& ref, DOMNodeType* type) noexcept;
HRESULT GetNodeTypeString(const NodeRef& ref, BSTR* text) noexcept;
HRESULT GetParentNode(IXMLDOMDocument* owner, const NodeRef& ref, IXMLDOMNode** out) noexcept;
HRESULT GetChildNodes(IXMLDOMDocument* owner, const NodeRef& ref, IXMLDOMNodeList** out) noexcept;
enum class Relative { kFirstChild, kLastChild, kPrevious, kNext };
HRESULT GetRelative(IXMLDOMDocument* owner, const NodeRef& ref, Relative which,
                    IXMLDOMNode** out) noexcept;
HRESULT HasChildNodes(const NodeRef& ref, VARIANT_BOOL* out) noexcept;
HRESULT GetOwnerDocument(IXMLDOMDocument* owner, const NodeRef& ref,
                         IXMLDOMDocument** out) noexcept;
HRESULT GetText(const NodeRef& ref, BSTR* text) noexcept;
HRESULT GetXml(const NodeRef& ref, BSTR* xml) noexcept;
HRESULT SelectNodes(IXMLDOMDocument* owner, const NodeRef& ref, BSTR query,
                    IXMLDOMNodeList** out) noexcept;
HRESULT SelectSingleNode(IXMLDOMDocument* owner, const NodeRef& ref, BSTR query,
                         IXMLDOMNode** out) noexcept;
HRESULT GetBaseName(const NodeRef& ref, BSTR* out) noexcept;
HRESULT GetPrefix(const NodeRef& ref, BSTR* out) noexcept;
HRESULT GetNamespaceUri(const NodeRef& ref, BSTR* out) noexcept;
HRESULT GetAttribute(const NodeRef& ref, BSTR name, VARIANT* value) noexcept;
HRESULT GetElementsByTagName(IXMLDOMDocument* owner, const NodeRef& ref, BSTR name,
                             IXMLDOMNodeList** out) noexcept;

// Sets *out to null (when out is not null) and answers E_NOTIMPL, or E_POINTER for a null
// out parameter.
template <class T>
HRESULT NotImplemented(T** out) noexcept {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    return E_NOTIMPL;
}

}  // namespace kvxmldom::ops
