// Node lists: the result of a query or a node's children, fixed when the list is made.
#include "objects.h"

namespace kvxmldom {

namespace {

// Apartment object (the iteration cursor is not guarded); AddRef and Release are atomic.
class NodeList final : public NoAutomation<kvwin::ComObject<IXMLDOMNodeList>> {
  public:
    NodeList(IXMLDOMDocument* owner, std::vector<NodeRef> nodes)
        : owner_(owner), nodes_(std::move(nodes)) {
        owner_->AddRef();
    }

    STDMETHODIMP get_item(LONG index, IXMLDOMNode** item) override {
        if (!item)
            return E_POINTER;
        *item = nullptr;
        if (index < 0 || size_t(index) >= nodes_.size())
            return S_FALSE;
        return MakeNode(owner_, nodes_[size_t(index)], item);
    }
    STDMETHODIMP get_length(LONG* length) override {
        if (!length)
            return E_POINTER;
        *length = LONG(nodes_.size());
        return S_OK;
    }
    STDMETHODIMP nextNode(IXMLDOMNode** item) override {
        if (!item)
            return E_POINTER;
        *item = nullptr;
        if (next_ >= nodes_.size())
            return S_FALSE;
        HRESULT hr = MakeNode(owner_, nodes_[next_], item);
        if (SUCCEEDED(hr))
            ++next_;
        return hr;
    }
    STDMETHODIMP reset() override {
        next_ = 0;
        return S_OK;
    }
    STDMETHODIMP get__newEnum(IUnknown** out) override { return ops::NotImplemented(out); }

  private:
    ~NodeList() override { owner_->Release(); }

    ModuleRef module_ref_;
    IXMLDOMDocument* owner_;  // one reference held
    const std::vector<NodeRef> nodes_;
    size_t next_ = 0;
};

}  // namespace

HRESULT MakeNodeList(IXMLDOMDocument* owner, std::vector<NodeRef> nodes,
                     IXMLDOMNodeList** out) noexcept {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    return GuardComCall([&]() -> HRESULT {
        *out = new NodeList(owner, std::move(nodes));
        return S_OK;
    });
}

}  // namespace kvxmldom
