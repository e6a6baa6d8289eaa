// _variant_t: a VARIANT that owns its contents.
#include <cstring>

#include "win/comutil.h"

namespace {

BSTR AllocText(const WCHAR* s) {
    if (!s)
        return nullptr;
    BSTR b = SysAllocString(s);
    if (!b)
        _com_issue_error(E_OUTOFMEMORY);
    return b;
}

}  // namespace

// ---- construction -------------------------------------------------------------------------

_variant_t::_variant_t(const VARIANT& varSrc) {
    VariantInit(this);
    _com_util::CheckError(VariantCopy(this, &varSrc));
}

_variant_t::_variant_t(const VARIANT* pSrc) {
    VariantInit(this);
    if (!pSrc)
        _com_issue_error(E_POINTER);
    _com_util::CheckError(VariantCopy(this, pSrc));
}

_variant_t::_variant_t(const _variant_t& varSrc) {
    VariantInit(this);
    _com_util::CheckError(VariantCopy(this, &varSrc));
}

_variant_t::_variant_t(_variant_t&& varSrc) noexcept {
    std::memcpy(static_cast<VARIANT*>(this), static_cast<VARIANT*>(&varSrc), sizeof(VARIANT));
    varSrc.vt = VT_EMPTY;
}

_variant_t::_variant_t(VARIANT& varSrc, bool fCopy) {
    VariantInit(this);
    if (fCopy) {
        _com_util::CheckError(VariantCopy(this, &varSrc));
    } else {
        TakeFrom(varSrc);
    }
}

_variant_t::_variant_t(short sSrc, VARTYPE vtSrc) {
    VariantInit(this);
    if (vtSrc == VT_I2) {
        iVal = sSrc;
    } else if (vtSrc == VT_BOOL) {
        boolVal = sSrc ? VARIANT_TRUE : VARIANT_FALSE;
    } else {
        _com_issue_error(E_INVALIDARG);
    }
    vt = vtSrc;
}

_variant_t::_variant_t(int lSrc, VARTYPE vtSrc) {
    VariantInit(this);
    if (vtSrc == VT_I4) {
        lVal = lSrc;
    } else if (vtSrc == VT_ERROR) {
        scode = lSrc;
    } else if (vtSrc == VT_BOOL) {
        boolVal = lSrc ? VARIANT_TRUE : VARIANT_FALSE;
    } else {
        _com_issue_error(E_INVALIDARG);
    }
    vt = vtSrc;
}

_variant_t::_variant_t(long i8Src) noexcept {
    VariantInit(this);
    vt = VT_I8;
    llVal = i8Src;
}

_variant_t::_variant_t(long long i8Src) noexcept {
    VariantInit(this);
    vt = VT_I8;
    llVal = i8Src;
}

_variant_t::_variant_t(float fltSrc) noexcept {
    VariantInit(this);
    vt = VT_R4;
    fltVal = fltSrc;
}

_variant_t::_variant_t(double dblSrc, VARTYPE vtSrc) {
    VariantInit(this);
    if (vtSrc == VT_R8) {
        dblVal = dblSrc;
    } else if (vtSrc == VT_DATE) {
        date = dblSrc;
    } else {
        _com_issue_error(E_INVALIDARG);
    }
    vt = vtSrc;
}

_variant_t::_variant_t(const CY& cySrc) noexcept {
    VariantInit(this);
    vt = VT_CY;
    cyVal = cySrc;
}

_variant_t::_variant_t(const _bstr_t& bstrSrc) {
    VariantInit(this);
    bstrVal = bstrSrc.copy(true);
    vt = VT_BSTR;
}

_variant_t::_variant_t(const WCHAR* pSrc) {
    VariantInit(this);
    bstrVal = AllocText(pSrc);
    vt = VT_BSTR;
}

_variant_t::_variant_t(const char* pSrc) {
    VariantInit(this);
    bstrVal = _com_util::ConvertStringToBSTR(pSrc);
    vt = VT_BSTR;
}

_variant_t::_variant_t(IDispatch* pSrc, bool fAddRef) noexcept {
    VariantInit(this);
    vt = VT_DISPATCH;
    pdispVal = pSrc;
    if (fAddRef && pSrc)
        pSrc->AddRef();
}

_variant_t::_variant_t(bool boolSrc) noexcept {
    VariantInit(this);
    vt = VT_BOOL;
    boolVal = boolSrc ? VARIANT_TRUE : VARIANT_FALSE;
}

_variant_t::_variant_t(IUnknown* pSrc, bool fAddRef) noexcept {
    VariantInit(this);
    vt = VT_UNKNOWN;
    punkVal = pSrc;
    if (fAddRef && pSrc)
        pSrc->AddRef();
}

_variant_t::_variant_t(const DECIMAL& decSrc) noexcept {
    VariantInit(this);
    decVal = decSrc;  // overwrites vt, which sits in the DECIMAL's reserved word
    vt = VT_DECIMAL;
}

_variant_t::_variant_t(BYTE bSrc) noexcept {
    VariantInit(this);
    vt = VT_UI1;
    bVal = bSrc;
}

_variant_t::_variant_t(char cSrc) noexcept {
    VariantInit(this);
    vt = VT_I1;
    cVal = cSrc;
}

_variant_t::_variant_t(unsigned short usSrc) noexcept {
    VariantInit(this);
    vt = VT_UI2;
    uiVal = usSrc;
}

_variant_t::_variant_t(unsigned int ulSrc) noexcept {
    VariantInit(this);
    vt = VT_UI4;
    ulVal = ulSrc;
}

_variant_t::_variant_t(unsigned long ui8Src) noexcept {
    VariantInit(this);
    vt = VT_UI8;
    ullVal = ui8Src;
}

_variant_t::_variant_t(unsigned long long ui8Src) noexcept {
    VariantInit(this);
    vt = VT_UI8;
    ullVal = ui8Src;
}

_variant_t::~_variant_t() {
    VariantClear(this);
}

// ---- extraction ---------------------------------------------------------------------------

_variant_t _variant_t::Converted(VARTYPE type) const {
    _variant_t result;
    result.ChangeType(type, this);
    return result;
}

#define KV_VARIANT_EXTRACTOR(Type, VT, member)          \
    _variant_t::operator Type() const {                 \
        if (vt == VT)                                   \
            return static_cast<Type>(member);           \
        return static_cast<Type>(Converted(VT).member); \
    }

KV_VARIANT_EXTRACTOR(short, VT_I2, iVal)
KV_VARIANT_EXTRACTOR(int, VT_I4, lVal)
KV_VARIANT_EXTRACTOR(long, VT_I8, llVal)
KV_VARIANT_EXTRACTOR(long long, VT_I8, llVal)
KV_VARIANT_EXTRACTOR(unsigned short, VT_UI2, uiVal)
KV_VARIANT_EXTRACTOR(unsigned int, VT_UI4, ulVal)
KV_VARIANT_EXTRACTOR(unsigned long, VT_UI8, ullVal)
KV_VARIANT_EXTRACTOR(unsigned long long, VT_UI8, ullVal)
KV_VARIANT_EXTRACTOR(float, VT_R4, fltVal)
KV_VARIANT_EXTRACTOR(double, VT_R8, dblVal)
KV_VARIANT_EXTRACTOR(CY, VT_CY, cyVal)
KV_VARIANT_EXTRACTOR(BYTE, VT_UI1, bVal)
KV_VARIANT_EXTRACTOR(char, VT_I1, cVal)

#undef KV_VARIANT_EXTRACTOR

_variant_t::operator bool() const {
    if (vt == VT_BOOL)
        return boolVal != VARIANT_FALSE;
    return Converted(VT_BOOL).boolVal != VARIANT_FALSE;
}

_variant_t::operator DECIMAL() const {
    if (vt == VT_DECIMAL)
        return decVal;
    return Converted(VT_DECIMAL).decVal;
}

_variant_t::operator _bstr_t() const {
    if (vt == VT_BSTR)
        return _bstr_t(bstrVal, true);
    _variant_t text = Converted(VT_BSTR);
    BSTR owned = text.bstrVal;
    text.vt = VT_EMPTY;
    return _bstr_t(owned, false);
}

_variant_t::operator IDispatch*() const {
    if (vt == VT_DISPATCH) {
        if (pdispVal)
            pdispVal->AddRef();
        return pdispVal;
    }
    _variant_t object = Converted(VT_DISPATCH);
    IDispatch* result = object.pdispVal;
    object.vt = VT_EMPTY;  // the converted variant's reference passes to the caller
    return result;
}

_variant_t::operator IUnknown*() const {
    if (vt == VT_UNKNOWN) {
        if (punkVal)
            punkVal->AddRef();
        return punkVal;
    }
    _variant_t object = Converted(VT_UNKNOWN);
    IUnknown* result = object.punkVal;
    object.vt = VT_EMPTY;
    return result;
}

// ---- assignment ---------------------------------------------------------------------------

void _variant_t::TakeFrom(VARIANT& other) noexcept {
    VariantClear(this);
    std::memcpy(static_cast<VARIANT*>(this), &other, sizeof(VARIANT));
    other.vt = VT_EMPTY;
}

_variant_t& _variant_t::operator=(const VARIANT& varSrc) {
    _com_util::CheckError(VariantCopy(this, &varSrc));
    return *this;
}

_variant_t& _variant_t::operator=(const VARIANT* pSrc) {
    if (!pSrc)
        _com_issue_error(E_POINTER);
    return *this = *pSrc;
}

_variant_t& _variant_t::operator=(const _variant_t& varSrc) {
    _com_util::CheckError(VariantCopy(this, &varSrc));
    return *this;
}

_variant_t& _variant_t::operator=(_variant_t&& varSrc) noexcept {
    if (this != &varSrc)
        TakeFrom(varSrc);
    return *this;
}

_variant_t& _variant_t::operator=(short sSrc) {
    if (vt == VT_I2) {
        iVal = sSrc;
    } else if (vt == VT_BOOL) {
        boolVal = sSrc ? VARIANT_TRUE : VARIANT_FALSE;
    } else {
        Clear();
        vt = VT_I2;
        iVal = sSrc;
    }
    return *this;
}

_variant_t& _variant_t::operator=(int lSrc) {
    if (vt == VT_I4) {
        lVal = lSrc;
    } else if (vt == VT_ERROR) {
        scode = lSrc;
    } else if (vt == VT_BOOL) {
        boolVal = lSrc ? VARIANT_TRUE : VARIANT_FALSE;
    } else {
        Clear();
        vt = VT_I4;
        lVal = lSrc;
    }
    return *this;
}

_variant_t& _variant_t::operator=(double dblSrc) {
    if (vt == VT_R8) {
        dblVal = dblSrc;
    } else if (vt == VT_DATE) {
        date = dblSrc;
    } else {
        Clear();
        vt = VT_R8;
        dblVal = dblSrc;
    }
    return *this;
}

// Builds the new value first, so that a failure leaves the old one and an argument that
// points into this variant (its own text or object) stays valid while it is copied.
#define KV_VARIANT_ASSIGN(Param)                      \
    _variant_t& _variant_t::operator=(Param source) { \
        _variant_t value(source);                     \
        TakeFrom(value);                              \
        return *this;                                 \
    }

KV_VARIANT_ASSIGN(long)
KV_VARIANT_ASSIGN(long long)
KV_VARIANT_ASSIGN(float)
KV_VARIANT_ASSIGN(const CY&)
KV_VARIANT_ASSIGN(const _bstr_t&)
KV_VARIANT_ASSIGN(const WCHAR*)
KV_VARIANT_ASSIGN(const char*)
KV_VARIANT_ASSIGN(IDispatch*)
KV_VARIANT_ASSIGN(bool)
KV_VARIANT_ASSIGN(IUnknown*)
KV_VARIANT_ASSIGN(const DECIMAL&)
KV_VARIANT_ASSIGN(BYTE)
KV_VARIANT_ASSIGN(char)
KV_VARIANT_ASSIGN(unsigned short)
KV_VARIANT_ASSIGN(unsigned int)
KV_VARIANT_ASSIGN(unsigned long)
KV_VARIANT_ASSIGN(unsigned long long)

#undef KV_VARIANT_ASSIGN

// ---- comparison ---------------------------------------------------------------------------

bool _variant_t::operator==(const VARIANT& other) const {
    if (static_cast<const VARIANT*>(this) == &other)
        return true;
    if (vt != other.vt)
        return false;
    switch (vt) {
        case VT_EMPTY:
        case VT_NULL:
            return true;
        case VT_I1:
        case VT_UI1:
            return bVal == other.bVal;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            return uiVal == other.uiVal;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_ERROR:
            return ulVal == other.ulVal;
        case VT_I8:
        case VT_UI8:
        case VT_CY:
            return ullVal == other.ullVal;
        case VT_R4:
            return fltVal == other.fltVal;
        case VT_R8:
        case VT_DATE:
            return dblVal == other.dblVal;
        case VT_BSTR: {
            UINT bytes = SysStringByteLen(bstrVal);
            return bytes == SysStringByteLen(other.bstrVal) &&
                   (bytes == 0 || std::memcmp(bstrVal, other.bstrVal, bytes) == 0);
        }
        case VT_UNKNOWN:
        case VT_DISPATCH:
            return punkVal == other.punkVal;
        case VT_DECIMAL:
            return decVal.signscale == other.decVal.signscale && decVal.Hi32 == other.decVal.Hi32 &&
                   decVal.Lo64 == other.decVal.Lo64;
        default:
            _com_issue_error(E_INVALIDARG);
    }
}

bool _variant_t::operator==(const VARIANT* pSrc) const {
    if (!pSrc)
        return false;
    return *this == *pSrc;
}

// ---- the rest -----------------------------------------------------------------------------

void _variant_t::Clear() {
    _com_util::CheckError(VariantClear(this));
}

void _variant_t::Attach(VARIANT& varSrc) {
    Clear();
    std::memcpy(static_cast<VARIANT*>(this), &varSrc, sizeof(VARIANT));
    varSrc.vt = VT_EMPTY;
}

VARIANT _variant_t::Detach() noexcept {
    VARIANT result;
    std::memcpy(&result, static_cast<VARIANT*>(this), sizeof(VARIANT));
    vt = VT_EMPTY;
    return result;
}

VARIANT* _variant_t::GetAddress() {
    Clear();
    return this;
}

void _variant_t::ChangeType(VARTYPE vartype, const _variant_t* pSrc) {
    if (!pSrc)
        pSrc = this;
    if (pSrc != this || vartype != vt) {
        _com_util::CheckError(VariantChangeType(this, pSrc, 0, vartype));
    }
}

void _variant_t::SetString(const char* pSrc) {
    *this = pSrc;
}
