// Node objects: elements, attributes, text and the other nodes of a parsed tree.
#include "objects.h"

namespace kvxmldom {

namespace {

// One node of a tree. It answers IXMLDOMElement only when it stands for an element; the
// answers never change over its life. Apartment object; AddRef and Release are atomic.
class NodeObject final : public NodeBase<IXMLDOMElement> {
  public:
    NodeObject(IXMLDOMDocument* owner, NodeRef ref) : owner_(owner), ref_(std::move(ref)) {
        owner_->AddRef();
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (riid == __uuidof(IXMLDOMElement) && ref_.Type() != NODE_ELEMENT) {
            if (!ppv)
                return E_POINTER;
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        return NodeBase<IXMLDOMElement>::QueryInterface(riid, ppv);
    }

    // IXMLDOMElement
    STDMETHODIMP get_tagName(BSTR* name) override { return ops::GetNodeName(ref_, name); }
    STDMETHODIMP getAttribute(BSTR name, VARIANT* value) override {
        return ops::GetAttribute(ref_, name, value);
    }
    STDMETHODIMP setAttribute(BSTR, VARIANT) override { return E_NOTIMPL; }
    STDMETHODIMP removeAttribute(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP getAttributeNode(BSTR, IXMLDOMAttribute** out) override {
        return ops::NotImplemented(out);
    }
    STDMETHODIMP setAttributeNode(IXMLDOMAttribute*, IXMLDOMAttribute** out) override {
        return ops::NotImplemented(out);
    }
    STDMETHODIMP removeAttributeNode(IXMLDOMAttribute*, IXMLDOMAttribute** out) override {
        return ops::NotImplemented(out);
    }
    STDMETHODIMP getElementsByTagName(BSTR name, IXMLDOMNodeList** out) override {
        return ops::GetElementsByTagName(owner_, ref_, name, out);
    }
    STDMETHODIMP normalize() override { return S_OK; }

  protected:
    NodeRef CurrentRef() override { return ref_; }
    IXMLDOMDocument* Owner() override { return owner_; }

  private:
    ~NodeObject() override { owner_->Release(); }

    IXMLDOMDocument* owner_;  // one reference held
    const NodeRef ref_;
};

}  // namespace

HRESULT MakeNode(IXMLDOMDocument* owner, const NodeRef& ref, IXMLDOMNode** out) noexcept {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!ref.node && !ref.attr)
        return S_FALSE;
    return Guard([&]() -> HRESULT {
        auto* document = static_cast<DocumentObject*>(owner);
        if (!ref.attr && ref.node.type() == pugi::node_document &&
            ref.tree == document->CurrentTree())
            return owner->QueryInterface(__uuidof(IXMLDOMNode), reinterpret_cast<void**>(out));
        auto* node = new NodeObject(owner, ref);
        *out = static_cast<IXMLDOMNode*>(static_cast<IXMLDOMElement*>(node));
        return S_OK;
    });
}

}  // namespace kvxmldom
