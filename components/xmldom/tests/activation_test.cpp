// Activation of the document classes, the rules of QueryInterface, and the module's life.
#include "kvwin/com_guid_text.h"
#include "kvwin/com_runtime.h"
#include "kvwin/utf.h"
#include "win/registry.h"
#include "xmldom_test_support.h"

namespace {

using namespace xmldomtest;
using kvtest::SetClassesRootDefault;

TEST(XmlDomActivation, EveryDocumentClassAndProgIdMakesADocument) {
    ScopedApartment apartment;
    for (const CLSID& clsid :
         {CLSID_DOMDocument, CLSID_DOMDocument2x, CLSID_DOMDocument30, CLSID_DOMDocument60}) {
        IXMLDOMDocument* doc = nullptr;
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                   reinterpret_cast<void**>(&doc)),
                  S_OK)
            << kvwin::ToUtf8(kvwin::GuidToText(clsid));
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(doc->loadXML(Bstr(u"<a/>"), &ok), S_OK);
        EXPECT_EQ(ok, VARIANT_TRUE);
        EXPECT_EQ(doc->Release(), 0u);
    }

    struct Name {
        const char16_t* prog_id;
        CLSID clsid;
    };
    for (const Name& name : {Name{u"Msxml2.DOMDocument", CLSID_DOMDocument2x},
                             Name{u"MSXML2.DOMDOCUMENT.6.0", CLSID_DOMDocument60},
                             Name{u"Msxml2.DOMDocument.3.0", CLSID_DOMDocument30},
                             Name{u"Microsoft.XMLDOM", CLSID_DOMDocument},
                             Name{u"MSXML.DOMDocument", CLSID_DOMDocument}}) {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(name.prog_id, &clsid), S_OK);
        EXPECT_TRUE(clsid == name.clsid) << kvwin::ToUtf8(name.prog_id);
        IXMLDOMDocumentPtr doc;
        EXPECT_EQ(doc.CreateInstance(name.prog_id), S_OK);
        EXPECT_TRUE(doc != nullptr);
    }
    LPOLESTR prog_id = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(CLSID_DOMDocument2x, &prog_id), S_OK);
    EXPECT_EQ(std::u16string(prog_id), u"Msxml2.DOMDocument");
    CoTaskMemFree(prog_id);

    // The class object refuses aggregation and classes it does not serve.
    IUnknown* outer = reinterpret_cast<IUnknown*>(&apartment);
    IUnknown* inner = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_DOMDocument, outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&inner)),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(inner, nullptr);
}

TEST(XmlDomActivation, ARegistryEntryTakesPrecedenceOverTheBuiltInOne) {
    ScopedApartment apartment;
    const std::u16string key =
        u"CLSID\\" + kvwin::GuidToText(CLSID_DOMDocument) + u"\\InprocServer32";
    SetClassesRootDefault(key, u"C:\\Nowhere\\missing-xmldom.dll");
    IXMLDOMDocumentPtr doc;
    EXPECT_EQ(doc.CreateInstance(CLSID_DOMDocument), HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));

    SetClassesRootDefault(key, kvwin::FromUtf8(KV_XMLDOM_MODULE_PATH));
    EXPECT_EQ(doc.CreateInstance(CLSID_DOMDocument), S_OK);
    // Another class is still found through its built-in registration.
    IXMLDOMDocumentPtr other;
    EXPECT_EQ(other.CreateInstance(CLSID_DOMDocument60), S_OK);
}

TEST(XmlDomActivation, QueryInterfaceFollowsTheIdentityRules) {
    ScopedApartment apartment;
    IXMLDOMDocumentPtr doc = Load(u"<root a='1'>text<child/></root>");
    IUnknown* from_doc = nullptr;
    ASSERT_EQ(doc->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&from_doc)), S_OK);
    IXMLDOMNode* as_node = nullptr;
    ASSERT_EQ(doc->QueryInterface(IID_IXMLDOMNode, reinterpret_cast<void**>(&as_node)), S_OK);
    IUnknown* from_node = nullptr;
    ASSERT_EQ(as_node->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&from_node)), S_OK);
    EXPECT_EQ(from_doc, from_node);
    IDispatch* dispatch = nullptr;
    ASSERT_EQ(as_node->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
    IXMLDOMDocument* back = nullptr;
    ASSERT_EQ(dispatch->QueryInterface(IID_IXMLDOMDocument, reinterpret_cast<void**>(&back)), S_OK);
    EXPECT_EQ(back, static_cast<IXMLDOMDocument*>(doc));
    // IDispatch offers no late binding yet.
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"xml")};
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), E_NOTIMPL);
    for (IUnknown* p : {static_cast<IUnknown*>(back), static_cast<IUnknown*>(dispatch), from_node,
                        static_cast<IUnknown*>(as_node), from_doc})
        p->Release();

    // A document is no element, and nothing answers interfaces it lacks.
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(doc->QueryInterface(IID_IXMLDOMElement, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(doc->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
    EXPECT_EQ(doc->QueryInterface(IID_IXMLDOMNode, nullptr), E_POINTER);

    // An element node answers IXMLDOMElement; a text node and an attribute do not.
    IXMLDOMNodePtr root = SelectOne(doc, u"root");
    IXMLDOMElementPtr element = root;
    EXPECT_TRUE(element != nullptr);
    EXPECT_TRUE(element == root);  // one object, one identity
    for (const char16_t* query : {u"root/text()", u"root/@a"}) {
        IXMLDOMNodePtr node = SelectOne(doc, query);
        ASSERT_TRUE(node != nullptr);
        void* as_element = nullptr;
        EXPECT_EQ(node->QueryInterface(IID_IXMLDOMElement, &as_element), E_NOINTERFACE);
        IDispatch* node_dispatch = nullptr;
        EXPECT_EQ(node->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&node_dispatch)),
                  S_OK);
        node_dispatch->Release();
    }
}

TEST(XmlDomActivation, TheModuleStaysLoadedWhileAnyOfItsObjectsLives) {
    ScopedApartment apartment;
    IXMLDOMDocument* doc = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IXMLDOMDocument, reinterpret_cast<void**>(&doc)),
              S_OK);
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(doc->loadXML(Bstr(u"<a><b/></a>"), &ok), S_OK);
    IXMLDOMNodeList* list = nullptr;
    ASSERT_EQ(doc->selectNodes(Bstr(u"//b"), &list), S_OK);
    EXPECT_EQ(doc->Release(), 1u);  // the list holds the document
    CoFreeUnusedLibraries();
    EXPECT_EQ(kvwin::LoadedServerModuleCount(), 1u);
    IXMLDOMParseError* error = nullptr;
    IXMLDOMNode* b = nullptr;
    ASSERT_EQ(list->nextNode(&b), S_OK);
    EXPECT_EQ(list->Release(), 0u);
    CoFreeUnusedLibraries();
    EXPECT_EQ(kvwin::LoadedServerModuleCount(), 1u);
    IXMLDOMDocument* owner = nullptr;
    ASSERT_EQ(b->get_ownerDocument(&owner), S_OK);
    ASSERT_EQ(owner->get_parseError(&error), S_OK);
    owner->Release();
    EXPECT_EQ(b->Release(), 0u);
    CoFreeUnusedLibraries();
    EXPECT_EQ(kvwin::LoadedServerModuleCount(), 1u);  // the parse error object is the last
    EXPECT_EQ(error->Release(), 0u);
    CoFreeUnusedLibraries();
    EXPECT_EQ(kvwin::LoadedServerModuleCount(), 0u);
}

}  // namespace
