// VarBstrCmp and VarCmp. Text compares by UTF-16 code unit (ordinal), optionally folding
// the case of ASCII and Latin-1 letters; locale collation is not applied.
#include <cmath>

#include "variant_types.h"
#include "win/com.h"

namespace {

char16_t Fold(char16_t c) {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return char16_t(c + 32);
    return c;
}

HRESULT CompareText(const OLECHAR* a, UINT na, const OLECHAR* b, UINT nb, bool ignore_case) {
    UINT n = na < nb ? na : nb;
    for (UINT i = 0; i < n; ++i) {
        char16_t x = ignore_case ? Fold(a[i]) : a[i];
        char16_t y = ignore_case ? Fold(b[i]) : b[i];
        if (x != y)
            return x < y ? VARCMP_LT : VARCMP_GT;
    }
    return na == nb ? VARCMP_EQ : (na < nb ? VARCMP_LT : VARCMP_GT);
}

}  // namespace

extern "C" {

HRESULT VarBstrCmp(BSTR bstrLeft, BSTR bstrRight, LCID, ULONG dwFlags) {
    return CompareText(bstrLeft ? bstrLeft : u"", SysStringLen(bstrLeft),
                       bstrRight ? bstrRight : u"", SysStringLen(bstrRight),
                       (dwFlags & NORM_IGNORECASE) != 0);
}

HRESULT VarCmp(LPVARIANT pvarLeft, LPVARIANT pvarRight, LCID lcid, ULONG dwFlags) {
    if (!pvarLeft || !pvarRight)
        return E_INVALIDARG;
    VARIANT left, right;
    VariantInit(&left);
    VariantInit(&right);
    HRESULT hr = VariantCopyInd(&left, pvarLeft);
    if (SUCCEEDED(hr))
        hr = VariantCopyInd(&right, pvarRight);
    if (FAILED(hr)) {
        VariantClear(&left);
        return hr;
    }
    HRESULT result;
    if (left.vt == VT_NULL || right.vt == VT_NULL) {
        result = VARCMP_NULL;
    } else if (left.vt == VT_BSTR && right.vt == VT_BSTR) {
        result = VarBstrCmp(left.bstrVal, right.bstrVal, lcid, dwFlags);
    } else if ((left.vt & VT_ARRAY) || (right.vt & VT_ARRAY) || left.vt == VT_DISPATCH ||
               left.vt == VT_UNKNOWN || right.vt == VT_DISPATCH || right.vt == VT_UNKNOWN) {
        result = DISP_E_TYPEMISMATCH;
    } else if (left.vt == VT_BSTR || right.vt == VT_BSTR) {
        // A number is less than any text.
        result = left.vt == VT_BSTR ? VARCMP_GT : VARCMP_LT;
    } else {
        VARIANT a, b;
        VariantInit(&a);
        VariantInit(&b);
        bool integers = left.vt != VT_R4 && left.vt != VT_R8 && left.vt != VT_DATE &&
                        left.vt != VT_CY && left.vt != VT_DECIMAL && right.vt != VT_R4 &&
                        right.vt != VT_R8 && right.vt != VT_DATE && right.vt != VT_CY &&
                        right.vt != VT_DECIMAL && left.vt != VT_UI8 && right.vt != VT_UI8;
        VARTYPE common = integers ? VT_I8 : VT_R8;
        result = VariantChangeType(&a, &left, 0, common);
        if (SUCCEEDED(result))
            result = VariantChangeType(&b, &right, 0, common);
        if (SUCCEEDED(result)) {
            if (integers) {
                result = a.llVal < b.llVal ? VARCMP_LT : a.llVal > b.llVal ? VARCMP_GT : VARCMP_EQ;
            } else {
                result = a.dblVal < b.dblVal   ? VARCMP_LT
                         : a.dblVal > b.dblVal ? VARCMP_GT
                                               : VARCMP_EQ;
            }
        }
    }
    VariantClear(&left);
    VariantClear(&right);
    return result;
}

}  // extern "C"
