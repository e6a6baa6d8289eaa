#include "xml/xml_document.h"

#include <string_view>

#include "errors/error_description.h"
#include "kvwin/wide_string.h"
#include "log/agent_log.h"
#include "win/errors.h"
#include "win/oleauto.h"
#include "win/text.h"

namespace {

constexpr const WCHAR* kLoaderSource = TEXT("LoadXMLDOMDocument");

// Raises hr with the error information that `object` offers for interface `iid`.
[[noreturn]] void RaiseFrom(HRESULT hr, IUnknown* object, REFIID iid) {
    _com_issue_errorex(hr, object, iid);
    throw _com_error(hr);  // not reached; not every SDK marks the function noreturn
}

IXMLDOMDocumentPtr CreateDocument() {
    IUnknown* unknown = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_ALL, __uuidof(IUnknown),
                                  reinterpret_cast<void**>(&unknown));
    if (SUCCEEDED(hr))
        hr = OleRun(unknown);
    IXMLDOMDocument* document = nullptr;
    if (SUCCEEDED(hr))
        hr = unknown->QueryInterface(IID_IXMLDOMDocument, reinterpret_cast<void**>(&document));
    if (unknown)
        unknown->Release();
    if (FAILED(hr) && hr != E_NOINTERFACE)
        _com_issue_error(hr);
    return IXMLDOMDocumentPtr(document, false);
}

// Raises the document's parse error, or a plain load failure when the parser gives no code.
[[noreturn]] void RaiseLoadFailure(const IXMLDOMDocumentPtr& document) {
    IXMLDOMParseError* parseError = nullptr;
    HRESULT hr = document->get_parseError(&parseError);
    if (FAILED(hr))
        RaiseFrom(hr, document, IID_IXMLDOMDocument);
    IXMLDOMParseErrorPtr error(parseError, false);
    if (error) {
        LONG code = 0;
        hr = error->get_errorCode(&code);
        if (FAILED(hr))
            RaiseFrom(hr, error, IID_IXMLDOMParseError);
        if (code != 0) {
            BSTR reason = nullptr;
            hr = error->get_reason(&reason);
            if (FAILED(hr))
                RaiseFrom(hr, error, IID_IXMLDOMParseError);
            _bstr_t owned(reason, false);
            ThrowComError(static_cast<HRESULT>(code),
                          owned.length() ? (const WCHAR*)owned : TEXT(""));
        }
    }
    ThrowComError(E_FAIL, TEXT("Failed to load xml document."));
}

IXMLDOMDocumentPtr LoadUnlogged(const WCHAR* text) {
    IXMLDOMDocumentPtr document = CreateDocument();
    if (!document)
        ThrowComError(E_FAIL, TEXT("Failed to initialize XML DOM object."));
    _bstr_t source(text);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    HRESULT hr = document->loadXML(source, &loaded);
    if (FAILED(hr))
        RaiseFrom(hr, document, IID_IXMLDOMDocument);
    if (loaded == VARIANT_TRUE)
        return document;
    RaiseLoadFailure(document);
}

// The element that `path` selects below `element`, or null.
IXMLDOMElementPtr SelectElement(const IXMLDOMElementPtr& element, const WCHAR* path) {
    _bstr_t query(path);
    IXMLDOMNode* found = nullptr;
    HRESULT hr = element->selectSingleNode(query, &found);
    if (FAILED(hr))
        RaiseFrom(hr, element, IID_IXMLDOMElement);
    IXMLDOMNodePtr node(found, false);
    if (!node)
        return nullptr;
    IXMLDOMElement* asElement = nullptr;
    hr = node->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(&asElement));
    if (FAILED(hr) && hr != E_NOINTERFACE)
        RaiseFrom(hr, node, IID_IXMLDOMNode);
    return IXMLDOMElementPtr(asElement, false);
}

}  // namespace

IXMLDOMDocumentPtr LoadXMLDOMDocument(const WCHAR* text) {
    try {
        return LoadUnlogged(text);
    } catch (const _com_error& error) {
        WString description;
        HRESULT code = GetComErrorText(error, description);
        CEReportEventF(LogWarning, kLoaderSource, TEXT("Error loading document: %ls (%d)"),
                       description.c_str(), static_cast<int>(code));
        SetLastError(static_cast<DWORD>(code));
        throw;
    } catch (...) {
        CEReportEvent(LogWarning, kLoaderSource, TEXT("Error loading document"));
        SetLastError(static_cast<DWORD>(E_FAIL));
        throw;
    }
}

IXMLDOMElementPtr GetRootElement(const WCHAR* text) {
    IXMLDOMDocumentPtr document = LoadXMLDOMDocument(text);
    IXMLDOMElement* root = nullptr;
    HRESULT hr = document->get_documentElement(&root);
    if (FAILED(hr))
        RaiseFrom(hr, document, IID_IXMLDOMDocument);
    IXMLDOMElementPtr element(root, false);
    if (element)
        return element;
    SetLastError(static_cast<DWORD>(E_FAIL));
    ThrowComError(E_FAIL, TEXT("Failed to get root element."));
}

bool GetAttributeValue(const IXMLDOMElementPtr& element, const WCHAR* name, VARIANT* value) {
    if (!element || !name)
        return false;
    WStringView full(name);
    IXMLDOMElementPtr target = element;
    WString attribute(full);
    size_t slash = full.rfind(TEXT('/'));
    if (slash != WStringView::npos) {
        WString path(full.substr(0, slash));
        WStringView rest = full.substr(slash + 1);
        if (!rest.empty() && rest.front() == TEXT('@'))
            rest.remove_prefix(1);
        attribute.assign(rest);
        target = SelectElement(element, path.c_str());
        if (!target)
            return false;
    }
    _bstr_t attributeName(attribute.c_str());
    _variant_t read;
    HRESULT hr = target->getAttribute(attributeName, &read);
    if (FAILED(hr))
        RaiseFrom(hr, target, IID_IXMLDOMElement);
    hr = VariantCopy(value, &read);
    if (FAILED(hr))
        _com_issue_error(hr);
    return value->vt == VT_BSTR;
}

bool GetAttributeString(const IXMLDOMElementPtr& element, const WCHAR* name, WString& value) {
    _variant_t read;
    if (!GetAttributeValue(element, name, &read))
        return false;
    value.assign(read.bstrVal ? read.bstrVal : TEXT(""), SysStringLen(read.bstrVal));
    return true;
}

bool GetAttributeNumber(const IXMLDOMElementPtr& element, const WCHAR* name, int32_t& value) {
    _variant_t read;
    if (!GetAttributeValue(element, name, &read))
        return false;
    value = _wtoi(read.bstrVal ? read.bstrVal : TEXT(""));
    return true;
}

bool GetChildText(const IXMLDOMElementPtr& element, const WCHAR* childName, _bstr_t& text) {
    if (!element)
        return false;
    IXMLDOMElementPtr target = element;
    if (childName && childName[0]) {
        target = SelectElement(element, childName);
        if (!target)
            return false;
    }
    BSTR read = nullptr;
    HRESULT hr = target->get_text(&read);
    if (FAILED(hr))
        RaiseFrom(hr, target, IID_IXMLDOMElement);
    text = _bstr_t(read, false);
    return true;
}

bool GetChildTextString(const IXMLDOMElementPtr& element, const WCHAR* childName, WString& text) {
    _bstr_t read;
    if (!GetChildText(element, childName, read))
        return false;
    text.assign(read.length() ? static_cast<const WCHAR*>(read) : TEXT(""), read.length());
    return true;
}
