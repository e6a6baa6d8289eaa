// Node objects: elements, attributes, text and the other nodes of a parsed tree.
#include "objects.h"

namespace kvxmldom {

namespace {

// One node of a tree. It answers IXMLDOMElement only when it stands for an element; the
// answers never change over its life. Apartment object; AddRef and Release are atomic.
class NodeObject final : public NodeBase<IXMLDOMElement> {
  public:
    NodeObject(DocumentObject* owner, NodeRef ref, const void* key)
        : owner_(owner), ref_(std::move(ref)), key_(key) {
        owner_->AddRef();
    }

    // The last Release takes the object out of its document's cache under the cache's
    // mutex, so MakeNode never finds an object on its way out.
    STDMETHODIMP_(ULONG) Release() override {
        DocumentObject* owner = owner_;
        owner->AddRef();  // the document outlives the node's own reference on it
        ULONG left;
        {
            std::lock_guard lock(owner->NodeCacheMutex());
            const void* key = key_;
            left = NodeBase<IXMLDOMElement>::Release();
            if (left == 0)
                owner->NodeCache().erase(key);
        }
        owner->Release();
        return left;
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

    DocumentObject* owner_;  // one reference held
    const NodeRef ref_;
    const void* key_;  // the tree node, the key of the document's cache
};

}  // namespace

HRESULT MakeNode(IXMLDOMDocument* owner, const NodeRef& ref, IXMLDOMNode** out) noexcept {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!ref.node && !ref.attr)
        return S_FALSE;
    return GuardComCall([&]() -> HRESULT {
        auto* document = static_cast<DocumentObject*>(owner);
        if (!ref.attr && ref.node.type() == pugi::node_document &&
            ref.tree == document->CurrentTree())
            return owner->QueryInterface(__uuidof(IXMLDOMNode), reinterpret_cast<void**>(out));
        const void* key = ref.attr ? static_cast<const void*>(ref.attr.internal_object())
                                   : static_cast<const void*>(ref.node.internal_object());
        std::lock_guard lock(document->NodeCacheMutex());
        auto& cache = document->NodeCache();
        auto [entry, inserted] = cache.try_emplace(key, nullptr);
        if (!inserted) {
            entry->second->AddRef();
            *out = entry->second;
            return S_OK;
        }
        NodeObject* node = nullptr;
        try {
            node = new NodeObject(document, ref, key);
        } catch (...) {
            cache.erase(entry);
            throw;
        }
        IXMLDOMNode* as_node = static_cast<IXMLDOMNode*>(static_cast<IXMLDOMElement*>(node));
        entry->second = as_node;
        *out = as_node;
        return S_OK;
    });
}

}  // namespace kvxmldom
