// SAFEARRAY: descriptors, element storage and element ownership.
//
// A descriptor is allocated with a 16-byte prefix; its last 4 bytes hold the element
// VARTYPE (FADF_HAVEVARTYPE). Bounds are kept as Windows keeps them: rgsabound[0] is the
// right-most dimension, so rgIndices[i] of Get/PutElement pairs with rgsabound[i] and
// SafeArrayGetLBound(psa, n) reads rgsabound[cDims - n]. Element storage is column-major.
#include <cstdlib>
#include <cstring>
#include <new>

#include "variant_types.h"
#include "win/com.h"

namespace {

constexpr size_t kPrefix = 16;

size_t DescriptorSize(UINT dims) {
    return sizeof(SAFEARRAY) + (dims - 1) * sizeof(SAFEARRAYBOUND);
}

VARTYPE StoredVartype(const SAFEARRAY* psa) {
    DWORD v;
    std::memcpy(&v, reinterpret_cast<const unsigned char*>(psa) - 4, 4);
    return VARTYPE(v);
}

size_t ElementCount(const SAFEARRAY* psa) {
    size_t n = 1;
    for (USHORT i = 0; i < psa->cDims; ++i)
        n *= psa->rgsabound[i].cElements;
    return n;
}

unsigned char* ElementAt(SAFEARRAY* psa, size_t i) {
    return static_cast<unsigned char*>(psa->pvData) + i * psa->cbElements;
}

// Releases what the elements in [from, to) own and zeroes them.
void ReleaseElements(SAFEARRAY* psa, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
        unsigned char* e = ElementAt(psa, i);
        if (psa->fFeatures & FADF_BSTR) {
            SysFreeString(*reinterpret_cast<BSTR*>(e));
        } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
            IUnknown* p = *reinterpret_cast<IUnknown**>(e);
            if (p)
                p->Release();
        } else if (psa->fFeatures & FADF_VARIANT) {
            VariantClear(reinterpret_cast<VARIANT*>(e));
        }
    }
    if (to > from)
        std::memset(ElementAt(psa, from), 0, (to - from) * psa->cbElements);
}

// Copies one element from `from` (stored form) into the zeroed element `to`.
HRESULT CopyElement(const SAFEARRAY* psa, const void* from, void* to) {
    if (psa->fFeatures & FADF_BSTR) {
        BSTR s = *static_cast<const BSTR*>(from);
        BSTR copy = nullptr;
        if (s) {
            copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(s), SysStringByteLen(s));
            if (!copy)
                return E_OUTOFMEMORY;
        }
        *static_cast<BSTR*>(to) = copy;
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        IUnknown* p = *static_cast<IUnknown* const*>(from);
        if (p)
            p->AddRef();
        *static_cast<IUnknown**>(to) = p;
    } else if (psa->fFeatures & FADF_VARIANT) {
        VariantInit(static_cast<VARIANT*>(to));
        return VariantCopy(static_cast<VARIANT*>(to), static_cast<const VARIANT*>(from));
    } else {
        std::memcpy(to, from, psa->cbElements);
    }
    return S_OK;
}

// Offset of an element from its indices, or false when one is out of range.
bool ElementIndex(const SAFEARRAY* psa, const LONG* indices, size_t& index) {
    size_t stride = 1;
    index = 0;
    // Column-major, as Automation arrays are: the left-most dimension (rgsabound[cDims-1])
    // varies fastest, the right-most (rgsabound[0]) slowest.
    for (int d = psa->cDims - 1; d >= 0; --d) {
        const SAFEARRAYBOUND& b = psa->rgsabound[d];
        int64_t rel = int64_t(indices[d]) - b.lLbound;
        if (rel < 0 || rel >= int64_t(b.cElements))
            return false;
        index += size_t(rel) * stride;
        stride *= b.cElements;
    }
    return true;
}

SAFEARRAY* AllocateDescriptor(VARTYPE vt, UINT dims) {
    auto* block = static_cast<unsigned char*>(std::calloc(1, kPrefix + DescriptorSize(dims)));
    if (!block)
        return nullptr;
    DWORD stored = vt;
    std::memcpy(block + kPrefix - 4, &stored, 4);
    auto* psa = reinterpret_cast<SAFEARRAY*>(block + kPrefix);
    psa->cDims = USHORT(dims);
    psa->fFeatures = FADF_HAVEVARTYPE;
    switch (vt) {
        case VT_BSTR:
            psa->fFeatures |= FADF_BSTR;
            break;
        case VT_UNKNOWN:
            psa->fFeatures |= FADF_UNKNOWN;
            break;
        case VT_DISPATCH:
            psa->fFeatures |= FADF_DISPATCH;
            break;
        case VT_VARIANT:
            psa->fFeatures |= FADF_VARIANT;
            break;
        default:
            break;
    }
    psa->cbElements = kvwin::oleaut::ElementSize(vt);
    return psa;
}

void FreeDescriptor(SAFEARRAY* psa) {
    std::free(reinterpret_cast<unsigned char*>(psa) - kPrefix);
}

// Allocates zeroed storage for the descriptor's current bounds.
bool AllocateData(SAFEARRAY* psa) {
    size_t bytes = ElementCount(psa) * psa->cbElements;
    psa->pvData = std::calloc(bytes ? bytes : 1, 1);
    return psa->pvData != nullptr;
}

}  // namespace

extern "C" {

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
    if (cDims == 0 || cDims > 0xFFFF || !rgsabound || kvwin::oleaut::ElementSize(vt) == 0)
        return nullptr;
    // Guard the element count against overflow before allocating.
    unsigned __int128 total = kvwin::oleaut::ElementSize(vt);
    for (UINT i = 0; i < cDims; ++i) {
        total *= rgsabound[i].cElements;
        if (total > 0x7FFFFFFFu)
            return nullptr;
    }
    SAFEARRAY* psa = AllocateDescriptor(vt, cDims);
    if (!psa)
        return nullptr;
    for (UINT i = 0; i < cDims; ++i)
        psa->rgsabound[cDims - 1 - i] = rgsabound[i];
    if (!AllocateData(psa)) {
        FreeDescriptor(psa);
        return nullptr;
    }
    return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    SAFEARRAYBOUND bound{cElements, lLbound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa)
        return S_OK;
    if (psa->cLocks > 0)
        return DISP_E_ARRAYISLOCKED;
    if (psa->pvData)
        ReleaseElements(psa, 0, ElementCount(psa));
    std::free(psa->pvData);
    FreeDescriptor(psa);
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
    if (!psa)
        return E_INVALIDARG;
    if (psa->cLocks == 0xFFFFFFFFu)
        return E_UNEXPECTED;
    ++psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
    if (!psa)
        return E_INVALIDARG;
    if (psa->cLocks == 0)
        return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (!psa || !ppvData)
        return E_INVALIDARG;
    HRESULT hr = SafeArrayLock(psa);
    if (FAILED(hr))
        return hr;
    *ppvData = psa->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
    return SafeArrayUnlock(psa);
}

UINT SafeArrayGetDim(SAFEARRAY* psa) {
    return psa ? psa->cDims : 0;
}

UINT SafeArrayGetElemsize(SAFEARRAY* psa) {
    return psa ? psa->cbElements : 0;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    if (!psa || !plLbound)
        return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    if (!psa || !plUbound)
        return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - nDim];
    *plUbound = LONG(int64_t(b.lLbound) + int64_t(b.cElements) - 1);
    return S_OK;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (!psa || !pvt)
        return E_INVALIDARG;
    if (psa->fFeatures & FADF_HAVEVARTYPE) {
        *pvt = StoredVartype(psa);
    } else if (psa->fFeatures & FADF_BSTR) {
        *pvt = VT_BSTR;
    } else if (psa->fFeatures & FADF_UNKNOWN) {
        *pvt = VT_UNKNOWN;
    } else if (psa->fFeatures & FADF_DISPATCH) {
        *pvt = VT_DISPATCH;
    } else if (psa->fFeatures & FADF_VARIANT) {
        *pvt = VT_VARIANT;
    } else {
        return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    if (!psa || !rgIndices || !pv)
        return E_INVALIDARG;
    size_t index;
    if (!ElementIndex(psa, rgIndices, index))
        return DISP_E_BADINDEX;
    return CopyElement(psa, ElementAt(psa, index), pv);
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    if (!psa || !rgIndices)
        return E_INVALIDARG;
    size_t index;
    if (!ElementIndex(psa, rgIndices, index))
        return DISP_E_BADINDEX;
    // BSTR and interface elements are passed by value (pv is the BSTR or pointer itself);
    // every other element type is passed by address.
    unsigned char fresh[sizeof(VARIANT)] = {};
    HRESULT hr;
    if (psa->fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH)) {
        hr = CopyElement(psa, &pv, fresh);
    } else {
        if (!pv)
            return E_INVALIDARG;
        hr = CopyElement(psa, pv, fresh);
    }
    if (FAILED(hr))
        return hr;
    ReleaseElements(psa, index, index + 1);
    std::memcpy(ElementAt(psa, index), fresh, psa->cbElements);
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (!ppsaOut)
        return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa)
        return S_OK;
    VARTYPE vt;
    if (FAILED(SafeArrayGetVartype(psa, &vt))) {
        vt = VT_EMPTY;  // a plain byte array: copied as bytes
    }
    SAFEARRAY* copy = AllocateDescriptor(vt, psa->cDims);
    if (!copy)
        return E_OUTOFMEMORY;
    copy->fFeatures = psa->fFeatures & (FADF_HAVEVARTYPE | FADF_BSTR | FADF_UNKNOWN |
                                        FADF_DISPATCH | FADF_VARIANT | FADF_HAVEIID);
    copy->cbElements = psa->cbElements;
    std::memcpy(copy->rgsabound, psa->rgsabound, psa->cDims * sizeof(SAFEARRAYBOUND));
    if (!AllocateData(copy)) {
        FreeDescriptor(copy);
        return E_OUTOFMEMORY;
    }
    size_t count = ElementCount(psa);
    for (size_t i = 0; i < count; ++i) {
        HRESULT hr = CopyElement(psa, ElementAt(psa, i), ElementAt(copy, i));
        if (FAILED(hr)) {
            SafeArrayDestroy(copy);
            return hr;
        }
    }
    *ppsaOut = copy;
    return S_OK;
}

HRESULT SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* psaboundNew) {
    if (!psa || !psaboundNew)
        return E_INVALIDARG;
    if (psa->cLocks > 0)
        return DISP_E_ARRAYISLOCKED;
    if (psa->fFeatures & FADF_FIXEDSIZE)
        return E_INVALIDARG;
    // Only the right-most dimension (rgsabound[0], the slowest-varying) changes, so the
    // elements that stay keep their places and the storage grows or shrinks at its end.
    size_t others = 1;
    for (USHORT i = 1; i < psa->cDims; ++i)
        others *= psa->rgsabound[i].cElements;
    size_t old_count = ElementCount(psa);
    size_t new_count = others * psaboundNew->cElements;
    if (new_count * psa->cbElements > 0x7FFFFFFFu)
        return E_OUTOFMEMORY;
    if (new_count < old_count)
        ReleaseElements(psa, new_count, old_count);
    void* data = std::realloc(psa->pvData, new_count ? new_count * psa->cbElements : 1);
    if (!data)
        return E_OUTOFMEMORY;
    psa->pvData = data;
    if (new_count > old_count)
        std::memset(ElementAt(psa, old_count), 0, (new_count - old_count) * psa->cbElements);
    psa->rgsabound[0] = *psaboundNew;
    return S_OK;
}

}  // extern "C"
