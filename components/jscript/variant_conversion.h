// Values between scripts and COM, in one place.
//
// VARIANT to script: empty → undefined, null → null, the integer, real and currency types
// → number, VT_BOOL → boolean, VT_BSTR → string, VT_DATE → a date value (typeof "date"; its
// valueOf is the moment in milliseconds, so new Date(v) and arithmetic work; dates are taken
// as UTC both ways), VT_DISPATCH (and a VT_UNKNOWN that answers IDispatch) → an object proxy
// (a script object of this heap that went through COM comes back as itself), another
// VT_UNKNOWN → an opaque value (typeof "unknown") that goes back to COM as itself, arrays
// (VT_ARRAY) → an opaque value (typeof "unknown") that owns a copy of the SAFEARRAY, which
// scripts read through VBArray and which goes back to COM as an array of the same element
// type and bounds, VT_BYREF followed, VT_ERROR DISP_E_PARAMNOTFOUND → undefined, other errors
// → their number.
// Script to VARIANT: undefined → VT_EMPTY, null → VT_NULL, boolean → VT_BOOL, a number that
// is integral and fits in 32 bits → VT_I4 (negative zero excepted), other numbers → VT_R8,
// string → VT_BSTR, a Date or a date value → VT_DATE, an object proxy → its own IDispatch,
// any other object (functions and arrays included) → VT_DISPATCH over the script object. All
// functions run on the engine's thread, inside Runtime::Run (they may throw script errors).
#pragma once

#include <vector>

#include "duktape.h"
#include "win/comutil.h"
#include "win/oleauto.h"

namespace kvjs {

void PushVariant(duk_context* ctx, const VARIANT& value);
// Makes the prototypes of date and unknown values (once, at heap creation).
void InstallComValueTypes(duk_context* ctx);
// What VBArray reads of an array from COM: pushes [values, bounds] for the array value at
// index 0 (its elements in storage order, the first dimension varying fastest, and
// [lbound1, count1, lbound2, count2, ...]), undefined for any other value.
duk_ret_t PushArrayParts(duk_context* ctx);
// Fills *out (which the caller owns and later clears); throws a script error when out of
// memory.
void ToVariant(duk_context* ctx, duk_idx_t idx, VARIANT* out);
// The elements of the script array at idx, each through ToVariant, in index order.
std::vector<_variant_t> ArrayElements(duk_context* ctx, duk_idx_t idx);

// Owns the argument array of one Invoke call (reversed, as DISPPARAMS wants it).
class ArgumentList {
  public:
    // Arguments from..to-1 of the current call frame.
    ArgumentList(duk_context* ctx, duk_idx_t from, duk_idx_t to);
    ArgumentList(const ArgumentList&) = delete;
    ArgumentList& operator=(const ArgumentList&) = delete;
    DISPPARAMS* Params() { return &params_; }
    // One more named argument: the value of a put.
    void MakePut();

  private:
    // Most calls pass a few arguments: those stay in place, more go to the heap. Owned, so
    // they are cleared also when a conversion throws half-way.
    static constexpr size_t kInPlace = 4;
    _variant_t in_place_[kInPlace];
    std::vector<_variant_t> more_;
    DISPID put_id_ = DISPID_PROPERTYPUT;
    DISPPARAMS params_{};
};

}  // namespace kvjs
