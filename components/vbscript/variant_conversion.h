// Values across the COM boundary, in one place.
//
// VARIANT to value: the integer types to Integer/Long (unsigned 32-bit values above Long's
// range and the 64-bit types to Double), VT_R4/VT_R8/VT_DECIMAL to Double, VT_CY, VT_DATE,
// VT_BSTR, VT_BOOL, VT_NULL, VT_EMPTY as themselves, VT_DISPATCH (and VT_UNKNOWN that
// answers IDispatch) to Object, VT_ERROR to Error, VT_BYREF followed, and VT_ARRAY of any
// element type and rank to an array of values.
// Value to VARIANT: the kinds to their VARIANT types, arrays to a SAFEARRAY of VARIANT of
// the same rank. The engine's thread only.
#pragma once

#include "value.h"
#include "win/oleauto.h"

namespace kvvbs {

Value FromVariant(const VARIANT& v);
// Fills *out (initialised by the caller, then owned by it). Throws error 7 when out of
// memory.
void ToVariant(const Value& value, VARIANT* out);

}  // namespace kvvbs
