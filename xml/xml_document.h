// The library's access to query documents through the XML DOM component.
//
// Every DOM call that fails raises a _com_error with its HRESULT and the error information of
// the interface called; the loader adds described errors of its own. Callers catch them at
// their own boundaries. The functions keep no state and may run on any thread that has
// entered a COM apartment; a document and its elements are used by one thread at a time.
#pragma once

#include <cstdint>
#include <string>

#include "kvwin/wide_string.h"
#include "xml/dom_pointers.h"

// Creates a DOM document and loads text into it. Throws on every failure: the parser's own
// code and reason when the text does not parse. Each failure is first logged as a warning
// ("Error loading document: <text> (<code>)") and left as the thread's last error.
IXMLDOMDocumentPtr LoadXMLDOMDocument(const WCHAR* text);

// The root element of the document that text holds; the element keeps its document alive.
// Throws as LoadXMLDOMDocument does, and E_FAIL "Failed to get root element." when the
// document has none.
IXMLDOMElementPtr GetRootElement(const WCHAR* text);

// Attribute readers. `name` is an attribute name, or "path/name" (also "path/@name"): the
// attribute of the first element the path selects below `element`. They return false for a
// null element, a path that selects no element, and a missing attribute; an attribute with
// an empty value exists. A DOM call that fails raises.
bool GetAttributeValue(const IXMLDOMElementPtr& element, const WCHAR* name, VARIANT* value);
bool GetAttributeString(const IXMLDOMElementPtr& element, const WCHAR* name, WString& value);
// The value read as _wtoi reads it: "12x" gives 12, "x" gives 0 (and true).
bool GetAttributeNumber(const IXMLDOMElementPtr& element, const WCHAR* name, int32_t& value);

// The text of the first child element called childName (of the element itself when
// childName is null or empty), descendants' text included. False when there is no such
// child.
bool GetChildText(const IXMLDOMElementPtr& element, const WCHAR* childName, _bstr_t& text);
bool GetChildTextString(const IXMLDOMElementPtr& element, const WCHAR* childName, WString& text);
