// Turning one WMI object into one row map: every property named in the query's select list
// is read from the object and rendered as text.
//
//   VT_NULL                 no entry
//   VT_BOOL                 "True" for any non-zero value, else "False"
//   VT_BSTR                 the string (a null string gives "")
//   VT_ARRAY | VT_I4        each element in signed decimal; with two or more elements each
//                           one is followed by ";" ("5;7;-3;"), a single one stands alone
//                           ("5"), an empty array gives ""
//   anything else           VariantChangeType to VT_BSTR (VT_EMPTY gives ""; arrays of any
//                           other element type cannot be converted)
//
// A property that cannot be read or rendered is logged at trace level under the source
// "CWmiQuery::ExecuteQuery" with its name and left out of the row; it never ends the row.
// Reentrant: the functions keep no state; one object is read by one thread at a time.
#pragma once

#include <string>
#include <vector>

#include "kvwin/wide_string.h"
#include "win/wbemcli.h"
#include "wmi/row_map.h"

// Appends a new row map to rows and fills it from object, reading names in order. When a
// name stands twice the value read last stays. Throws only what appending the row throws
// (an allocation); the object's reference stays with the caller.
void AppendObjectRow(IWbemClassObject* object, const std::vector<WString>& names, WMIRows& rows);

// The text of a value read from a WMI object, by the rules above. Throws a _com_error when
// the value cannot be converted (the conversion's HRESULT) or a text cannot be allocated.
// Not for VT_NULL, which makes no entry.
WString RenderPropertyValue(const VARIANT& value);
