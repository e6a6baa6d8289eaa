// How a provider's value (provider/cim_value.h) becomes the VARIANT WMI gives for the
// property's declared CIM type:
//
//   boolean                 VT_BOOL          uint32            VT_I4 (the bits, as signed)
//   sint8, sint16, char16   VT_I2            sint64, uint64    VT_BSTR, decimal text
//   uint8                   VT_UI1           real32, real64    VT_R4, VT_R8
//   uint16, sint32          VT_I4            string, datetime, reference   VT_BSTR
//
// Arrays are one-dimensional SAFEARRAYs (lower bound 0) of the same element types, under
// VT_ARRAY. A null value is VT_NULL whatever the type. Pure functions, thread safe.
#pragma once

#include <string>

#include "provider/cim_value.h"
#include "win/wbemcli.h"

namespace kvwmi {

// The variant type a property of `type` reads as (VT_ARRAY combined for arrays).
VARTYPE VariantTypeOf(CIMTYPE type);

// Writes the value into `out` (which the caller has initialised and later clears).
// WBEM_E_TYPE_MISMATCH when the value cannot stand for the type (a string for an integer,
// an array for a scalar), WBEM_E_OUT_OF_MEMORY when an allocation fails.
HRESULT ToVariant(const CimValue& value, CIMTYPE type, VARIANT* out);

// The MOF name of a CIM type ("uint32", "string", "datetime"; without "[]" for arrays).
std::u16string CimTypeName(CIMTYPE type);

}  // namespace kvwmi
