// The IXMLDOMNode methods over a tree node, and XPath selection.
#include "node_ops.h"

#include <array>
#include <cstdint>

#include "kvwin/utf.h"
#include "module.h"
#include "objects.h"

namespace kvxmldom::ops {

namespace {

std::u16string_view BstrView(BSTR text) {
    return text ? std::u16string_view(text, SysStringLen(text)) : std::u16string_view();
}

// The XPath context of a node.
pugi::xpath_node Context(const NodeRef& ref) {
    if (ref.attr)
        return pugi::xpath_node(ref.attr, ref.node);
    return pugi::xpath_node(ref.node);
}

NodeRef RefOf(const NodeRef& from, const pugi::xpath_node& found) {
    if (found.attribute())
        return NodeRef{from.tree, found.parent(), found.attribute()};
    return NodeRef{from.tree, found.node(), {}};
}

// Compiles a query that selects nodes; E_INVALIDARG for text that is not UTF-16, E_FAIL for
// one XPath refuses or one that gives a number, text or truth value (it selects no nodes).
HRESULT CompileNodeQuery(BSTR query, std::unique_ptr<pugi::xpath_query>& compiled) {
    std::string utf8;
    if (!query || !kvwin::ToUtf8Strict(BstrView(query), utf8))
        return E_INVALIDARG;
    try {
        compiled = std::make_unique<pugi::xpath_query>(utf8.c_str());
    } catch (const pugi::xpath_exception&) {
        return E_FAIL;
    }
    return *compiled && compiled->return_type() == pugi::xpath_type_node_set ? S_OK : E_FAIL;
}

// A query that is nothing but plain names joined by '/' ("properties/property"), the
// commonest query there is, is answered by walking the children: no XPath is compiled. A
// name here is ASCII letters, digits, '_', '-' and '.', starting with a letter or '_' (no
// prefix, no axis, no predicate, no white space); anything else goes to XPath.
constexpr size_t kMaxPlainSteps = 8;

struct PlainPath {
    std::array<std::u16string_view, kMaxPlainSteps> names;
    size_t count = 0;
};

bool IsNameStart(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
}

bool IsNameChar(char16_t c) {
    return IsNameStart(c) || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
}

bool SplitPlainPath(std::u16string_view query, PlainPath& path) {
    path.count = 0;
    for (size_t start = 0;;) {
        size_t end = query.find(u'/', start);
        std::u16string_view name = query.substr(start, end - start);
        if (name.empty() || !IsNameStart(name[0]) || path.count == kMaxPlainSteps)
            return false;
        for (char16_t c : name) {
            if (!IsNameChar(c))
                return false;
        }
        path.names[path.count++] = name;
        if (end == std::u16string_view::npos)
            return true;
        start = end + 1;
    }
}

// An element's name against a plain (ASCII) name.
bool NameIs(const pugi::xml_node& node, std::u16string_view name) {
    const char* text = node.name();
    for (char16_t c : name) {
        if (*text != static_cast<char>(c))
            return false;
        ++text;
    }
    return *text == 0;
}

// Appends, in document order, the elements the path's steps from `step` on select below
// `node`; stops once `out` holds `limit` nodes. Sibling subtrees do not overlap and are
// walked in order, so the nodes come in document order without sorting.
void CollectPlainPath(const NodeRef& from, const pugi::xml_node& node, const PlainPath& path,
                      size_t step, size_t limit, std::vector<NodeRef>& out) {
    for (pugi::xml_node child = node.first_child(); child && out.size() < limit;
         child = child.next_sibling()) {
        if (child.type() != pugi::node_element || !NameIs(child, path.names[step]))
            continue;
        if (step + 1 == path.count)
            out.push_back(NodeRef{from.tree, child, {}});
        else
            CollectPlainPath(from, child, path, step + 1, limit, out);
    }
}

// Whether the query is a plain path from an element or the document; `out` then holds what
// it selects (at most `limit` nodes).
bool SelectPlainPath(const NodeRef& ref, BSTR query, size_t limit, std::vector<NodeRef>& out) {
    PlainPath path;
    if (ref.IsAttribute() ||
        (ref.node.type() != pugi::node_element && ref.node.type() != pugi::node_document) ||
        !SplitPlainPath(BstrView(query), path))
        return false;
    CollectPlainPath(ref, ref.node, path, 0, limit, out);
    return true;
}

// Names are split at the first colon: prefix and local name.
std::u16string QualifiedName(const NodeRef& ref) {
    if (ref.IsAttribute() || ref.node.type() == pugi::node_element)
        return NodeName(ref);
    return {};
}
std::u16string PrefixOf(const std::u16string& name) {
    const size_t colon = name.find(u':');
    return colon == std::u16string::npos ? std::u16string() : name.substr(0, colon);
}
std::u16string LocalNameOf(const std::u16string& name) {
    const size_t colon = name.find(u':');
    return colon == std::u16string::npos ? name : name.substr(colon + 1);
}

// Answers a text property: E_POINTER without `out`, else a new BSTR of what `text()` gives.
template <class F>
HRESULT ReturnTextOf(BSTR* out, F&& text) noexcept {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    return GuardComCall([&] { return ReturnText(text(), out); });
}

}  // namespace

HRESULT GetNodeName(const NodeRef& ref, BSTR* name) noexcept {
    return ReturnTextOf(name, [&] { return NodeName(ref); });
}

HRESULT GetNodeValue(const NodeRef& ref, VARIANT* value) noexcept {
    if (!value)
        return E_POINTER;
    VariantInit(value);
    return GuardComCall([&]() -> HRESULT {
        switch (ref.Type()) {
            case NODE_ATTRIBUTE:
            case NODE_TEXT:
            case NODE_CDATA_SECTION:
            case NODE_COMMENT:
            case NODE_PROCESSING_INSTRUCTION: {
                std::u16string text =
                    kvwin::FromUtf8(ref.attr ? ref.attr.value() : ref.node.value());
                BSTR bstr = SysAllocStringLen(text.data(), UINT(text.size()));
                if (!bstr)
                    return E_OUTOFMEMORY;
                value->vt = VT_BSTR;
                value->bstrVal = bstr;
                return S_OK;
            }
            default:
                value->vt = VT_NULL;
                return S_FALSE;
        }
    });
}

HRESULT GetNodeType(const NodeRef& ref, DOMNodeType* type) noexcept {
    if (!type)
        return E_POINTER;
    *type = ref.Type();
    return S_OK;
}

HRESULT GetNodeTypeString(const NodeRef& ref, BSTR* text) noexcept {
    const char16_t* name = u"";
    switch (ref.Type()) {
        case NODE_ELEMENT:
            name = u"element";
            break;
        case NODE_ATTRIBUTE:
            name = u"attribute";
            break;
        case NODE_TEXT:
            name = u"text";
            break;
        case NODE_CDATA_SECTION:
            name = u"cdatasection";
            break;
        case NODE_COMMENT:
            name = u"comment";
            break;
        case NODE_PROCESSING_INSTRUCTION:
            name = u"processinginstruction";
            break;
        case NODE_DOCUMENT:
            name = u"document";
            break;
        case NODE_DOCUMENT_TYPE:
            name = u"documenttype";
            break;
        default:
            break;
    }
    return ReturnTextOf(text, [&] { return std::u16string(name); });
}

HRESULT GetParentNode(IXMLDOMDocument* owner, const NodeRef& ref, IXMLDOMNode** out) noexcept {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    // Attributes and the document have no parent.
    if (ref.attr)
        return S_FALSE;
    return MakeNode(owner, NodeRef{ref.tree, ref.node.parent(), {}}, out);
}

HRESULT GetChildNodes(IXMLDOMDocument* owner, const NodeRef& ref, IXMLDOMNodeList** out) noexcept {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    return GuardComCall([&]() -> HRESULT {
        std::vector<NodeRef> children;
        if (!ref.attr)
            for (pugi::xml_node child : ref.node.children())
                children.push_back(NodeRef{ref.tree, child, {}});
        return MakeNodeList(owner, std::move(children), out);
    });
}

HRESULT GetRelative(IXMLDOMDocument* owner, const NodeRef& ref, Relative which,
                    IXMLDOMNode** out) noexcept {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (ref.attr)
        return S_FALSE;
    pugi::xml_node found;
    switch (which) {
        case Relative::kFirstChild:
            found = ref.node.first_child();
            break;
        case Relative::kLastChild:
            found = ref.node.last_child();
            break;
        case Relative::kPrevious:
            found = ref.node.previous_sibling();
            break;
        case Relative::kNext:
            found = ref.node.next_sibling();
            break;
    }
    return MakeNode(owner, NodeRef{ref.tree, found, {}}, out);
}

HRESULT HasChildNodes(const NodeRef& ref, VARIANT_BOOL* out) noexcept {
    if (!out)
        return E_POINTER;
    bool has = !ref.attr && ref.node.first_child();
    *out = has ? VARIANT_TRUE : VARIANT_FALSE;
    return has ? S_OK : S_FALSE;
}

HRESULT GetOwnerDocument(IXMLDOMDocument* owner, const NodeRef& ref,
                         IXMLDOMDocument** out) noexcept {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!ref.attr && ref.node.type() == pugi::node_document)
        return S_FALSE;  // a document has no owner
    owner->AddRef();
    *out = owner;
    return S_OK;
}

HRESULT GetText(const NodeRef& ref, BSTR* text) noexcept {
    return ReturnTextOf(text, [&] { return NodeText(ref); });
}

HRESULT GetXml(const NodeRef& ref, BSTR* xml) noexcept {
    return ReturnTextOf(xml, [&] { return NodeXml(ref); });
}

HRESULT SelectNodes(IXMLDOMDocument* owner, const NodeRef& ref, BSTR query,
                    IXMLDOMNodeList** out) noexcept {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    return GuardComCall([&]() -> HRESULT {
        std::vector<NodeRef> plain;
        if (SelectPlainPath(ref, query, SIZE_MAX, plain))
            return MakeNodeList(owner, std::move(plain), out);
        std::unique_ptr<pugi::xpath_query> compiled;
        HRESULT hr = CompileNodeQuery(query, compiled);
        if (FAILED(hr))
            return hr;
        pugi::xpath_node_set found = compiled->evaluate_node_set(Context(ref));
        found.sort();
        std::vector<NodeRef> nodes;
        nodes.reserve(found.size());
        for (const pugi::xpath_node& node : found)
            nodes.push_back(RefOf(ref, node));
        return MakeNodeList(owner, std::move(nodes), out);
    });
}

HRESULT SelectSingleNode(IXMLDOMDocument* owner, const NodeRef& ref, BSTR query,
                         IXMLDOMNode** out) noexcept {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    return GuardComCall([&]() -> HRESULT {
        std::vector<NodeRef> plain;
        if (SelectPlainPath(ref, query, 1, plain))
            return plain.empty() ? S_FALSE : MakeNode(owner, plain.front(), out);
        std::unique_ptr<pugi::xpath_query> compiled;
        HRESULT hr = CompileNodeQuery(query, compiled);
        if (FAILED(hr))
            return hr;
        pugi::xpath_node found = compiled->evaluate_node(Context(ref));
        if (!found)
            return S_FALSE;
        return MakeNode(owner, RefOf(ref, found), out);
    });
}

HRESULT GetBaseName(const NodeRef& ref, BSTR* out) noexcept {
    return ReturnTextOf(out, [&] { return LocalNameOf(QualifiedName(ref)); });
}

HRESULT GetPrefix(const NodeRef& ref, BSTR* out) noexcept {
    return ReturnTextOf(out, [&] { return PrefixOf(QualifiedName(ref)); });
}

HRESULT GetNamespaceUri(const NodeRef& ref, BSTR* out) noexcept {
    return ReturnTextOf(out, [&]() -> std::u16string {
        std::u16string name = QualifiedName(ref);
        if (name.empty())
            return {};
        std::u16string prefix = PrefixOf(name);
        // An unprefixed attribute is in no namespace.
        if (ref.attr && prefix.empty())
            return {};
        std::string wanted = prefix.empty() ? "xmlns" : "xmlns:";
        if (!prefix.empty()) {
            std::string narrow;
            kvwin::ToUtf8Strict(prefix, narrow);
            wanted += narrow;
        }
        for (pugi::xml_node cur = ref.node; cur; cur = cur.parent())
            if (pugi::xml_attribute decl = cur.attribute(wanted.c_str()))
                return kvwin::FromUtf8(decl.value());
        return {};
    });
}

HRESULT GetAttribute(const NodeRef& ref, BSTR name, VARIANT* value) noexcept {
    if (!value)
        return E_POINTER;
    VariantInit(value);
    if (!name)
        return E_INVALIDARG;
    if (ref.attr || ref.node.type() != pugi::node_element)
        return E_FAIL;
    return GuardComCall([&]() -> HRESULT {
        std::string narrow;
        if (!kvwin::ToUtf8Strict(BstrView(name), narrow))
            return E_INVALIDARG;
        pugi::xml_attribute found = ref.node.attribute(narrow.c_str());
        if (!found) {
            value->vt = VT_NULL;
            return S_FALSE;
        }
        std::u16string text = kvwin::FromUtf8(found.value());
        BSTR bstr = SysAllocStringLen(text.data(), UINT(text.size()));
        if (!bstr)
            return E_OUTOFMEMORY;
        value->vt = VT_BSTR;
        value->bstrVal = bstr;
        return S_OK;
    });
}

HRESULT GetElementsByTagName(IXMLDOMDocument* owner, const NodeRef& ref, BSTR name,
                             IXMLDOMNodeList** out) noexcept {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!name)
        return E_INVALIDARG;
    return GuardComCall([&]() -> HRESULT {
        std::string narrow;
        if (!kvwin::ToUtf8Strict(BstrView(name), narrow))
            return E_INVALIDARG;
        std::vector<NodeRef> nodes;
        if (!ref.attr) {
            // Descendant elements in document order.
            ForEachDescendant(ref.node, [&](pugi::xml_node node) {
                if (node.type() == pugi::node_element && (narrow == "*" || narrow == node.name()))
                    nodes.push_back(NodeRef{ref.tree, node, {}});
            });
        }
        return MakeNodeList(owner, std::move(nodes), out);
    });
}

}  // namespace kvxmldom::ops
