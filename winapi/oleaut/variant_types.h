// Facts about variant types that VARIANT and SAFEARRAY code share.
#pragma once

#include "win/oleauto.h"

namespace kvwin::oleaut {

// True for a base type (no VT_ARRAY/VT_BYREF bits) that may stand in a VARIANT by value.
bool IsValueType(VARTYPE base);
// True when vt, flags included, may stand in a VARIANT.
bool IsValidVariantType(VARTYPE vt);
// Size of one safe-array element of a base type, or 0 when arrays of it are not supported.
ULONG ElementSize(VARTYPE base);

}  // namespace kvwin::oleaut
