// The document object: loading text, its root element and its settings.
#include "objects.h"

namespace kvxmldom {

namespace {

template <class T>
HRESULT Flag(bool value, T* out) {
    if (!out)
        return E_POINTER;
    *out = value ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

}  // namespace

DocumentObject::DocumentObject() : tree_(std::make_shared<Tree>()) {}

STDMETHODIMP DocumentObject::get_doctype(IXMLDOMDocumentType** out) {
    return ops::NotImplemented(out);
}
STDMETHODIMP DocumentObject::get_implementation(IXMLDOMImplementation** out) {
    return ops::NotImplemented(out);
}

STDMETHODIMP DocumentObject::get_documentElement(IXMLDOMElement** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    pugi::xml_node root = tree_->doc.document_element();
    if (!root)
        return S_FALSE;
    IXMLDOMNode* node = nullptr;
    HRESULT hr = MakeNode(this, NodeRef{tree_, root, {}}, &node);
    if (hr != S_OK)
        return hr;
    hr = node->QueryInterface(__uuidof(IXMLDOMElement), reinterpret_cast<void**>(out));
    node->Release();
    return hr;
}

STDMETHODIMP DocumentObject::putref_documentElement(IXMLDOMElement*) {
    return E_NOTIMPL;
}
STDMETHODIMP DocumentObject::createElement(BSTR, IXMLDOMElement** out) {
    return ops::NotImplemented(out);
}
STDMETHODIMP DocumentObject::createDocumentFragment(IXMLDOMDocumentFragment** out) {
    return ops::NotImplemented(out);
}
STDMETHODIMP DocumentObject::createTextNode(BSTR, IXMLDOMText** out) {
    return ops::NotImplemented(out);
}
STDMETHODIMP DocumentObject::createComment(BSTR, IXMLDOMComment** out) {
    return ops::NotImplemented(out);
}
STDMETHODIMP DocumentObject::createCDATASection(BSTR, IXMLDOMCDATASection** out) {
    return ops::NotImplemented(out);
}
STDMETHODIMP DocumentObject::createProcessingInstruction(BSTR, BSTR,
                                                         IXMLDOMProcessingInstruction** out) {
    return ops::NotImplemented(out);
}
STDMETHODIMP DocumentObject::createAttribute(BSTR, IXMLDOMAttribute** out) {
    return ops::NotImplemented(out);
}
STDMETHODIMP DocumentObject::createEntityReference(BSTR, IXMLDOMEntityReference** out) {
    return ops::NotImplemented(out);
}
STDMETHODIMP DocumentObject::getElementsByTagName(BSTR name, IXMLDOMNodeList** out) {
    return ops::GetElementsByTagName(this, CurrentRef(), name, out);
}
STDMETHODIMP DocumentObject::createNode(VARIANT, BSTR, BSTR, IXMLDOMNode** out) {
    return ops::NotImplemented(out);
}
STDMETHODIMP DocumentObject::nodeFromID(BSTR, IXMLDOMNode** out) {
    return ops::NotImplemented(out);
}
STDMETHODIMP DocumentObject::load(VARIANT, VARIANT_BOOL* ok) {
    if (!ok)
        return E_POINTER;
    *ok = VARIANT_FALSE;
    return E_NOTIMPL;
}

STDMETHODIMP DocumentObject::get_readyState(LONG* value) {
    if (!value)
        return E_POINTER;
    *value = 4;  // loads are synchronous, so a document is always complete
    return S_OK;
}

STDMETHODIMP DocumentObject::get_parseError(IXMLDOMParseError** out) {
    return MakeParseError(outcome_, out);
}

STDMETHODIMP DocumentObject::get_url(BSTR* out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    return S_FALSE;  // only text is loaded, never a URL
}

STDMETHODIMP DocumentObject::get_async(VARIANT_BOOL* out) {
    return Flag(async_, out);
}
STDMETHODIMP DocumentObject::put_async(VARIANT_BOOL value) {
    async_ = value != VARIANT_FALSE;
    return S_OK;
}
STDMETHODIMP DocumentObject::abort() {
    return S_OK;
}

STDMETHODIMP DocumentObject::loadXML(BSTR text, VARIANT_BOOL* ok) {
    if (!ok)
        return E_POINTER;
    *ok = VARIANT_FALSE;
    return GuardComCall([&]() -> HRESULT {
        std::u16string_view view =
            text ? std::u16string_view(text, SysStringLen(text)) : std::u16string_view();
        // The old tree goes first, so a load is bounded by what the new one needs.
        tree_ = std::make_shared<Tree>();
        outcome_ = ParseOutcome{};
        ParseOutcome outcome;
        TreePtr tree = ParseText(view, preserve_white_space_, outcome);
        tree_ = std::move(tree);
        outcome_ = std::move(outcome);
        if (outcome_.code != 0)
            return S_FALSE;
        *ok = VARIANT_TRUE;
        return S_OK;
    });
}

STDMETHODIMP DocumentObject::save(VARIANT) {
    return E_NOTIMPL;
}
STDMETHODIMP DocumentObject::get_validateOnParse(VARIANT_BOOL* out) {
    return Flag(validate_on_parse_, out);
}
STDMETHODIMP DocumentObject::put_validateOnParse(VARIANT_BOOL value) {
    validate_on_parse_ = value != VARIANT_FALSE;  // kept; documents are never validated
    return S_OK;
}
STDMETHODIMP DocumentObject::get_resolveExternals(VARIANT_BOOL* out) {
    return Flag(resolve_externals_, out);
}
STDMETHODIMP DocumentObject::put_resolveExternals(VARIANT_BOOL value) {
    resolve_externals_ = value != VARIANT_FALSE;  // kept; nothing external is ever fetched
    return S_OK;
}
STDMETHODIMP DocumentObject::get_preserveWhiteSpace(VARIANT_BOOL* out) {
    return Flag(preserve_white_space_, out);
}
STDMETHODIMP DocumentObject::put_preserveWhiteSpace(VARIANT_BOOL value) {
    preserve_white_space_ = value != VARIANT_FALSE;
    return S_OK;
}
STDMETHODIMP DocumentObject::put_onreadystatechange(VARIANT) {
    return E_NOTIMPL;
}
STDMETHODIMP DocumentObject::put_ondataavailable(VARIANT) {
    return E_NOTIMPL;
}
STDMETHODIMP DocumentObject::put_ontransformnode(VARIANT) {
    return E_NOTIMPL;
}

HRESULT CreateDocument(IUnknown* outer, REFIID riid, void** ppv) {
    return kvwin::CreateComInstance<DocumentObject>(outer, riid, ppv);
}

}  // namespace kvxmldom
