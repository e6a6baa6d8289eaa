// VARIANT life cycle: init, clear, copy.
#include <cstring>

#include "variant_types.h"
#include "win/com.h"

namespace kvwin::oleaut {

bool IsValueType(VARTYPE base) {
    switch (base) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_I2:
        case VT_I4:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_ERROR:
        case VT_BOOL:
        case VT_UNKNOWN:
        case VT_DECIMAL:
        case VT_I1:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
        case VT_RECORD:
            return true;
        default:
            return false;
    }
}

bool IsValidVariantType(VARTYPE vt) {
    VARTYPE base = vt & VT_TYPEMASK;
    VARTYPE flags = vt & ~VT_TYPEMASK;
    if (flags & ~(VT_ARRAY | VT_BYREF))
        return false;
    if (flags == 0)
        return IsValueType(base) && base != VT_RECORD;
    if (base == VT_VARIANT)
        return true;
    if ((flags & VT_ARRAY) && (base == VT_EMPTY || base == VT_NULL))
        return false;
    return IsValueType(base) && !(base == VT_EMPTY || base == VT_NULL);
}

ULONG ElementSize(VARTYPE base) {
    switch (base) {
        case VT_I1:
        case VT_UI1:
            return 1;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            return 2;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_ERROR:
            return 4;
        case VT_I8:
        case VT_UI8:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
            return 8;
        case VT_BSTR:
        case VT_UNKNOWN:
        case VT_DISPATCH:
            return sizeof(void*);
        case VT_DECIMAL:
            return sizeof(DECIMAL);
        case VT_VARIANT:
            return sizeof(VARIANT);
        default:
            return 0;
    }
}

}  // namespace kvwin::oleaut

using kvwin::oleaut::IsValidVariantType;

namespace {

// Copies a by-value (non-reference) variant; dest is clear.
HRESULT CopyValue(VARIANT* dest, const VARIANT* src) {
    VARTYPE vt = src->vt;
    if (vt & VT_ARRAY) {
        SAFEARRAY* copy = nullptr;
        HRESULT hr = SafeArrayCopy(src->parray, &copy);
        if (FAILED(hr))
            return hr;
        std::memcpy(static_cast<void*>(dest), src, sizeof(VARIANT));
        dest->parray = copy;
        return S_OK;
    }
    std::memcpy(static_cast<void*>(dest), src, sizeof(VARIANT));
    if (vt & VT_BYREF)
        return S_OK;
    switch (vt) {
        case VT_BSTR:
            if (src->bstrVal) {
                dest->bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(src->bstrVal),
                                                      SysStringByteLen(src->bstrVal));
                if (!dest->bstrVal) {
                    dest->vt = VT_EMPTY;
                    return E_OUTOFMEMORY;
                }
            }
            break;
        case VT_UNKNOWN:
        case VT_DISPATCH:
            if (src->punkVal)
                src->punkVal->AddRef();
            break;
        default:
            break;
    }
    return S_OK;
}

}  // namespace

extern "C" {

void VariantInit(VARIANTARG* pvarg) {
    if (!pvarg)
        return;
    pvarg->vt = VT_EMPTY;
    pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
}

HRESULT VariantClear(VARIANTARG* pvarg) {
    if (!pvarg)
        return E_INVALIDARG;
    VARTYPE vt = pvarg->vt;
    if (!IsValidVariantType(vt))
        return DISP_E_BADVARTYPE;
    if (!(vt & VT_BYREF)) {
        if (vt & VT_ARRAY) {
            HRESULT hr = SafeArrayDestroy(pvarg->parray);
            if (FAILED(hr))
                return hr;
        } else if (vt == VT_BSTR) {
            SysFreeString(pvarg->bstrVal);
        } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
            if (pvarg->punkVal)
                pvarg->punkVal->Release();
        }
    }
    pvarg->vt = VT_EMPTY;
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
    if (!pvargDest || !pvargSrc)
        return E_INVALIDARG;
    if (pvargDest == pvargSrc)
        return S_OK;
    if (!IsValidVariantType(pvargSrc->vt))
        return DISP_E_BADVARTYPE;
    HRESULT hr = VariantClear(pvargDest);
    if (FAILED(hr))
        return hr;
    return CopyValue(pvargDest, pvargSrc);
}

HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc) {
    if (!pvarDest || !pvargSrc)
        return E_INVALIDARG;
    VARTYPE vt = pvargSrc->vt;
    if (!IsValidVariantType(vt))
        return DISP_E_BADVARTYPE;
    if (!(vt & VT_BYREF))
        return VariantCopy(pvarDest, pvargSrc);

    // Build the dereferenced value in a temporary first: the source may be the target.
    VARIANT value;
    VariantInit(&value);
    VARTYPE base = vt & ~VT_BYREF;
    if (!pvargSrc->byref)
        return E_INVALIDARG;
    if (base == VT_VARIANT) {
        const VARIANT* inner = pvargSrc->pvarVal;
        if (inner->vt & VT_BYREF)
            return E_INVALIDARG;
        value = *inner;
    } else if (base & VT_ARRAY) {
        value.vt = base;
        value.parray = *pvargSrc->pparray;
    } else {
        value.vt = base;
        ULONG size = kvwin::oleaut::ElementSize(base);
        if (size == 0)
            return DISP_E_BADVARTYPE;
        if (base == VT_DECIMAL) {
            value.decVal = *pvargSrc->pdecVal;
            value.vt = VT_DECIMAL;
        } else {
            std::memcpy(&value.llVal, pvargSrc->byref, size);
        }
    }
    VARIANT copy;
    VariantInit(&copy);
    HRESULT hr = CopyValue(&copy, &value);
    if (FAILED(hr))
        return hr;
    if (pvarDest != pvargSrc) {
        hr = VariantClear(pvarDest);
        if (FAILED(hr)) {
            VariantClear(&copy);
            return hr;
        }
    }
    std::memcpy(static_cast<void*>(pvarDest), &copy, sizeof(VARIANT));
    return S_OK;
}

}  // extern "C"
