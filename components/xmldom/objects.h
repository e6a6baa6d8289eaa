// The component's objects and how they are made.
//
// Every node and node list holds a reference on the document object that produced it, and
// a share of the tree it reads, so a node outlives the caller's document pointer and a
// later load into the same document.
#pragma once

#include <mutex>
#include <unordered_map>
#include <vector>

#include "dom_tree.h"
#include "node_base.h"

namespace kvxmldom {

// The document. Apartment object: one thread at a time; AddRef and Release are atomic.
class DocumentObject final : public NodeBase<IXMLDOMDocument> {
  public:
    DocumentObject();

    // The tree of the last load (an empty one before the first).
    const TreePtr& CurrentTree() const { return tree_; }

    // The live node objects of this document by the tree node they stand for, so that one
    // node is always one object. Entries are added by MakeNode and removed by the node's
    // last Release, both under the mutex (safe from any thread).
    std::mutex& NodeCacheMutex() { return node_cache_mutex_; }
    std::unordered_map<const void*, IXMLDOMNode*>& NodeCache() { return node_cache_; }

    // IXMLDOMDocument
    STDMETHODIMP get_doctype(IXMLDOMDocumentType** out) override;
    STDMETHODIMP get_implementation(IXMLDOMImplementation** out) override;
    STDMETHODIMP get_documentElement(IXMLDOMElement** out) override;
    STDMETHODIMP putref_documentElement(IXMLDOMElement*) override;
    STDMETHODIMP createElement(BSTR, IXMLDOMElement** out) override;
    STDMETHODIMP createDocumentFragment(IXMLDOMDocumentFragment** out) override;
    STDMETHODIMP createTextNode(BSTR, IXMLDOMText** out) override;
    STDMETHODIMP createComment(BSTR, IXMLDOMComment** out) override;
    STDMETHODIMP createCDATASection(BSTR, IXMLDOMCDATASection** out) override;
    STDMETHODIMP createProcessingInstruction(BSTR, BSTR,
                                             IXMLDOMProcessingInstruction** out) override;
    STDMETHODIMP createAttribute(BSTR, IXMLDOMAttribute** out) override;
    STDMETHODIMP createEntityReference(BSTR, IXMLDOMEntityReference** out) override;
    STDMETHODIMP getElementsByTagName(BSTR name, IXMLDOMNodeList** out) override;
    STDMETHODIMP createNode(VARIANT, BSTR, BSTR, IXMLDOMNode** out) override;
    STDMETHODIMP nodeFromID(BSTR, IXMLDOMNode** out) override;
    STDMETHODIMP load(VARIANT, VARIANT_BOOL* ok) override;
    STDMETHODIMP get_readyState(LONG* value) override;
    STDMETHODIMP get_parseError(IXMLDOMParseError** out) override;
    STDMETHODIMP get_url(BSTR* out) override;
    STDMETHODIMP get_async(VARIANT_BOOL* out) override;
    STDMETHODIMP put_async(VARIANT_BOOL value) override;
    STDMETHODIMP abort() override;
    STDMETHODIMP loadXML(BSTR text, VARIANT_BOOL* ok) override;
    STDMETHODIMP save(VARIANT) override;
    STDMETHODIMP get_validateOnParse(VARIANT_BOOL* out) override;
    STDMETHODIMP put_validateOnParse(VARIANT_BOOL value) override;
    STDMETHODIMP get_resolveExternals(VARIANT_BOOL* out) override;
    STDMETHODIMP put_resolveExternals(VARIANT_BOOL value) override;
    STDMETHODIMP get_preserveWhiteSpace(VARIANT_BOOL* out) override;
    STDMETHODIMP put_preserveWhiteSpace(VARIANT_BOOL value) override;
    STDMETHODIMP put_onreadystatechange(VARIANT) override;
    STDMETHODIMP put_ondataavailable(VARIANT) override;
    STDMETHODIMP put_ontransformnode(VARIANT) override;

  protected:
    NodeRef CurrentRef() override { return NodeRef{tree_, tree_->doc, {}}; }
    IXMLDOMDocument* Owner() override { return this; }

  private:
    ~DocumentObject() override = default;

    TreePtr tree_;
    ParseOutcome outcome_;
    std::mutex node_cache_mutex_;
    std::unordered_map<const void*, IXMLDOMNode*> node_cache_;
    bool async_ = true;
    bool validate_on_parse_ = true;
    bool resolve_externals_ = false;
    bool preserve_white_space_ = false;
};

// The node object for `ref`, owned by `owner`: the one already alive for that node, or a
// new one; the document itself for its own document node. S_FALSE and null for a null ref.
HRESULT MakeNode(IXMLDOMDocument* owner, const NodeRef& ref, IXMLDOMNode** out) noexcept;

// A list over a fixed set of nodes.
HRESULT MakeNodeList(IXMLDOMDocument* owner, std::vector<NodeRef> nodes,
                     IXMLDOMNodeList** out) noexcept;

// A snapshot of a parse outcome.
HRESULT MakeParseError(const ParseOutcome& outcome, IXMLDOMParseError** out) noexcept;

// The class factory's creation function for every document class.
HRESULT CreateDocument(IUnknown* outer, REFIID riid, void** ppv);

}  // namespace kvxmldom
