// The IXMLDOMNode and IDispatch parts of the document object and the node objects.
//
// Iface is the object's main interface (IXMLDOMDocument or IXMLDOMElement); both derive
// from IXMLDOMNode, which QueryInterface also answers. The derived class says which node it
// stands for (CurrentRef) and which document owns it (Owner). IDispatch gives no type
// information and no late binding yet: GetIDsOfNames and Invoke answer E_NOTIMPL.
// Thread safety: as for the document (one thread at a time); reference counting is atomic.
#pragma once

#include "kvwin/com_object.h"
#include "module.h"
#include "no_automation.h"
#include "node_ops.h"

namespace kvxmldom {

template <class Iface>
class NodeBase
    : public NoAutomation<kvwin::ComObject<Iface, kvwin::AlsoAnswer<IXMLDOMNode, Iface>>> {
  protected:
    virtual NodeRef CurrentRef() = 0;
    virtual IXMLDOMDocument* Owner() = 0;

  public:
    // IXMLDOMNode: what a reader needs.
    STDMETHODIMP get_nodeName(BSTR* name) override { return ops::GetNodeName(CurrentRef(), name); }
    STDMETHODIMP get_nodeValue(VARIANT* value) override {
        return ops::GetNodeValue(CurrentRef(), value);
    }
    STDMETHODIMP get_nodeType(DOMNodeType* type) override {
        return ops::GetNodeType(CurrentRef(), type);
    }
    STDMETHODIMP get_parentNode(IXMLDOMNode** parent) override {
        return ops::GetParentNode(Owner(), CurrentRef(), parent);
    }
    STDMETHODIMP get_childNodes(IXMLDOMNodeList** list) override {
        return ops::GetChildNodes(Owner(), CurrentRef(), list);
    }
    STDMETHODIMP get_firstChild(IXMLDOMNode** out) override {
        return ops::GetRelative(Owner(), CurrentRef(), ops::Relative::kFirstChild, out);
    }
    STDMETHODIMP get_lastChild(IXMLDOMNode** out) override {
        return ops::GetRelative(Owner(), CurrentRef(), ops::Relative::kLastChild, out);
    }
    STDMETHODIMP get_previousSibling(IXMLDOMNode** out) override {
        return ops::GetRelative(Owner(), CurrentRef(), ops::Relative::kPrevious, out);
    }
    STDMETHODIMP get_nextSibling(IXMLDOMNode** out) override {
        return ops::GetRelative(Owner(), CurrentRef(), ops::Relative::kNext, out);
    }
    STDMETHODIMP get_attributes(IXMLDOMNamedNodeMap** map) override {
        return ops::NotImplemented(map);
    }
    STDMETHODIMP hasChildNodes(VARIANT_BOOL* out) override {
        return ops::HasChildNodes(CurrentRef(), out);
    }
    STDMETHODIMP get_ownerDocument(IXMLDOMDocument** out) override {
        return ops::GetOwnerDocument(Owner(), CurrentRef(), out);
    }
    STDMETHODIMP get_nodeTypeString(BSTR* out) override {
        return ops::GetNodeTypeString(CurrentRef(), out);
    }
    STDMETHODIMP get_text(BSTR* text) override { return ops::GetText(CurrentRef(), text); }
    STDMETHODIMP get_xml(BSTR* xml) override { return ops::GetXml(CurrentRef(), xml); }
    STDMETHODIMP selectNodes(BSTR query, IXMLDOMNodeList** out) override {
        return ops::SelectNodes(Owner(), CurrentRef(), query, out);
    }
    STDMETHODIMP selectSingleNode(BSTR query, IXMLDOMNode** out) override {
        return ops::SelectSingleNode(Owner(), CurrentRef(), query, out);
    }
    STDMETHODIMP get_parsed(VARIANT_BOOL* out) override {
        if (!out)
            return E_POINTER;
        *out = VARIANT_TRUE;
        return S_OK;
    }
    STDMETHODIMP get_namespaceURI(BSTR* out) override {
        return ops::GetNamespaceUri(CurrentRef(), out);
    }
    STDMETHODIMP get_prefix(BSTR* out) override { return ops::GetPrefix(CurrentRef(), out); }
    STDMETHODIMP get_baseName(BSTR* out) override { return ops::GetBaseName(CurrentRef(), out); }
    STDMETHODIMP get_specified(VARIANT_BOOL* out) override {
        if (!out)
            return E_POINTER;
        *out = VARIANT_TRUE;
        return S_OK;
    }

    // IXMLDOMNode: changes, typed values and transformations are not implemented.
    STDMETHODIMP put_nodeValue(VARIANT) override { return E_NOTIMPL; }
    STDMETHODIMP insertBefore(IXMLDOMNode*, VARIANT, IXMLDOMNode** out) override {
        return ops::NotImplemented(out);
    }
    STDMETHODIMP replaceChild(IXMLDOMNode*, IXMLDOMNode*, IXMLDOMNode** out) override {
        return ops::NotImplemented(out);
    }
    STDMETHODIMP removeChild(IXMLDOMNode*, IXMLDOMNode** out) override {
        return ops::NotImplemented(out);
    }
    STDMETHODIMP appendChild(IXMLDOMNode*, IXMLDOMNode** out) override {
        return ops::NotImplemented(out);
    }
    STDMETHODIMP cloneNode(VARIANT_BOOL, IXMLDOMNode** out) override {
        return ops::NotImplemented(out);
    }
    STDMETHODIMP put_text(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP get_definition(IXMLDOMNode** out) override { return ops::NotImplemented(out); }
    STDMETHODIMP get_nodeTypedValue(VARIANT* value) override {
        return ops::GetNodeValue(CurrentRef(), value);
    }
    STDMETHODIMP put_nodeTypedValue(VARIANT) override { return E_NOTIMPL; }
    STDMETHODIMP get_dataType(VARIANT* out) override {
        if (!out)
            return E_POINTER;
        VariantInit(out);
        out->vt = VT_NULL;
        return S_FALSE;
    }
    STDMETHODIMP put_dataType(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP transformNode(IXMLDOMNode*, BSTR* out) override {
        return ops::NotImplemented(out);
    }
    STDMETHODIMP transformNodeToObject(IXMLDOMNode*, VARIANT) override { return E_NOTIMPL; }

  private:
    ModuleRef module_ref_;
};

}  // namespace kvxmldom
