// VariantChangeType(Ex): coercion between the scalar variant types and text. Texts are
// read and written in the forms of the LCID given (VariantChangeType: the user's); an LCID
// with no locale here uses en-US forms.
//
// The source is read into an exact intermediate (see variant_number.h), then written in
// the target type. The result is built in a temporary, so the source and the destination
// may be the same variant, and the destination is untouched on failure.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "kvwin/ascii_case.h"
#include "variant_date.h"
#include "variant_number.h"
#include "variant_types.h"
#include "win/com.h"

using namespace kvwin::oleaut;

namespace {

// The intermediate value of a source variant.
struct Value {
    enum Kind { Empty, Null, Integer, Real, Scaled, Text, Object, Error } kind = Empty;
    VARTYPE source = VT_EMPTY;
    Int128 integer = 0;
    double real = 0;
    ScaledDecimal scaled;
    const OLECHAR* text = nullptr;  // BSTR of the source (not owned)
    UINT text_length = 0;
    IUnknown* object = nullptr;  // not owned
    SCODE scode = 0;
};

HRESULT ReadValue(const VARIANT& v, Value& out) {
    out.source = v.vt;
    switch (v.vt) {
        case VT_EMPTY:
            out.kind = Value::Empty;
            break;
        case VT_NULL:
            out.kind = Value::Null;
            break;
        case VT_I1:
            out.kind = Value::Integer;
            out.integer = v.cVal;
            break;
        case VT_UI1:
            out.kind = Value::Integer;
            out.integer = v.bVal;
            break;
        case VT_I2:
            out.kind = Value::Integer;
            out.integer = v.iVal;
            break;
        case VT_UI2:
            out.kind = Value::Integer;
            out.integer = v.uiVal;
            break;
        case VT_I4:
            out.kind = Value::Integer;
            out.integer = v.lVal;
            break;
        case VT_UI4:
            out.kind = Value::Integer;
            out.integer = v.ulVal;
            break;
        case VT_INT:
            out.kind = Value::Integer;
            out.integer = v.intVal;
            break;
        case VT_UINT:
            out.kind = Value::Integer;
            out.integer = v.uintVal;
            break;
        case VT_I8:
            out.kind = Value::Integer;
            out.integer = v.llVal;
            break;
        case VT_UI8:
            out.kind = Value::Integer;
            out.integer = v.ullVal;
            break;
        case VT_BOOL:
            out.kind = Value::Integer;
            out.integer = v.boolVal ? -1 : 0;
            break;
        case VT_R4:
            out.kind = Value::Real;
            out.real = v.fltVal;
            break;
        case VT_R8:
            out.kind = Value::Real;
            out.real = v.dblVal;
            break;
        case VT_DATE:
            out.kind = Value::Real;
            out.real = v.date;
            break;
        case VT_CY:
            out.kind = Value::Scaled;
            out.scaled = {v.cyVal.int64, 4};
            break;
        case VT_DECIMAL:
            out.kind = Value::Scaled;
            out.scaled = ScaledFromDecimal(v.decVal);
            break;
        case VT_BSTR:
            out.kind = Value::Text;
            out.text = v.bstrVal ? v.bstrVal : u"";
            out.text_length = SysStringLen(v.bstrVal);
            break;
        case VT_UNKNOWN:
        case VT_DISPATCH:
            out.kind = Value::Object;
            out.object = v.punkVal;
            break;
        case VT_ERROR:
            out.kind = Value::Error;
            out.scode = v.scode;
            break;
        default:
            return DISP_E_BADVARTYPE;
    }
    return S_OK;
}

bool IsIntegerTarget(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_I8:
        case VT_UI8:
            return true;
        default:
            return false;
    }
}

void IntegerRange(VARTYPE vt, Int128& lo, Int128& hi) {
    switch (vt) {
        case VT_I1:
            lo = -128;
            hi = 127;
            break;
        case VT_UI1:
            lo = 0;
            hi = 255;
            break;
        case VT_I2:
            lo = -32768;
            hi = 32767;
            break;
        case VT_UI2:
            lo = 0;
            hi = 65535;
            break;
        case VT_I4:
        case VT_INT:
            lo = INT32_MIN;
            hi = INT32_MAX;
            break;
        case VT_UI4:
        case VT_UINT:
            lo = 0;
            hi = UINT32_MAX;
            break;
        case VT_I8:
            lo = INT64_MIN;
            hi = INT64_MAX;
            break;
        default:
            lo = 0;
            hi = Int128(UINT64_MAX);
            break;
    }
}

HRESULT StoreInteger(VARTYPE vt, Int128 v, VARIANT& out) {
    Int128 lo, hi;
    IntegerRange(vt, lo, hi);
    if (v < lo || v > hi)
        return DISP_E_OVERFLOW;
    out.vt = vt;
    switch (vt) {
        case VT_I1:
            out.cVal = CHAR(v);
            break;
        case VT_UI1:
            out.bVal = BYTE(v);
            break;
        case VT_I2:
            out.iVal = SHORT(v);
            break;
        case VT_UI2:
            out.uiVal = USHORT(v);
            break;
        case VT_I4:
            out.lVal = LONG(v);
            break;
        case VT_UI4:
            out.ulVal = ULONG(v);
            break;
        case VT_INT:
            out.intVal = INT(v);
            break;
        case VT_UINT:
            out.uintVal = UINT(v);
            break;
        case VT_I8:
            out.llVal = LONGLONG(v);
            break;
        default:
            out.ullVal = ULONGLONG(v);
            break;
    }
    return S_OK;
}

bool IsTrueWord(std::u16string_view s, bool& value) {
    while (!s.empty() && s.front() == u' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == u' ')
        s.remove_suffix(1);
    std::u16string lower(s);
    for (auto& c : lower)
        c = kvwin::AsciiLower(c);
    if (lower == u"true" || lower == u"#true#") {
        value = true;
        return true;
    }
    if (lower == u"false" || lower == u"#false#") {
        value = false;
        return true;
    }
    return false;
}

// The locale of an LCID, en-US when it has none here.
const kvwin::LocaleData* LocaleOf(LCID lcid) {
    const kvwin::LocaleData* locale = kvwin::FindLocale(lcid);
    return locale ? locale : kvwin::FindLocale(kvwin::kLcidEnglishUS);
}

// A number's text with the locale's decimal separator in place of the '.'.
std::u16string WithDecimal(std::u16string text, LCID lcid) {
    const size_t point = text.find(u'.');
    if (point != std::u16string::npos) {
        const kvwin::LocaleData* locale = LocaleOf(lcid);
        if (locale && locale->decimal != u".")
            text.replace(point, 1, locale->decimal);
    }
    return text;
}

HRESULT ToText(const Value& v, USHORT flags, LCID lcid, VARIANT& out) {
    std::u16string text;
    switch (v.kind) {
        case Value::Empty:
            break;
        case Value::Integer:
            if (v.source == VT_BOOL) {
                if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL)) {
                    text = v.integer ? u"True" : u"False";
                } else {
                    text = v.integer ? u"-1" : u"0";
                }
            } else {
                text = IntegerText(v.integer);
            }
            break;
        case Value::Real:
            if (v.source == VT_DATE) {
                BSTR date = nullptr;
                const HRESULT hr = VarBstrFromDate(v.real, lcid, 0, &date);
                if (FAILED(hr))
                    return hr;
                out.vt = VT_BSTR;
                out.bstrVal = date;
                return S_OK;
            }
            text = WithDecimal(RealText(v.real, v.source == VT_R4 ? 7 : 15), lcid);
            break;
        case Value::Scaled:
            text = WithDecimal(ScaledText(v.scaled.mantissa, v.scaled.scale), lcid);
            break;
        default:
            return DISP_E_TYPEMISMATCH;
    }
    BSTR b = SysAllocStringLen(text.data(), UINT(text.size()));
    if (!b)
        return E_OUTOFMEMORY;
    out.vt = VT_BSTR;
    out.bstrVal = b;
    return S_OK;
}

// Brings text to a number form: scaled when it fits a decimal, otherwise real.
HRESULT TextToNumber(const Value& v, VARTYPE target, LCID lcid, Value& number) {
    std::u16string_view text(v.text, v.text_length);
    const kvwin::LocaleData* locale = LocaleOf(lcid);
    // A date is read as a date text first: "04.07.2023" is a date in de-DE, not a grouped
    // number.
    double date;
    if (target == VT_DATE && ParseDateText(text, date, locale)) {
        number.kind = Value::Real;
        number.source = VT_DATE;
        number.real = date;
        return S_OK;
    }
    ParsedNumber parsed;
    if (!ParseNumberText(text, parsed, locale))
        return DISP_E_TYPEMISMATCH;
    number.source = VT_BSTR;
    if (target == VT_R4 || target == VT_R8 || target == VT_DATE) {
        number.kind = Value::Real;
        number.real = ParsedToDouble(parsed);
        return std::isinf(number.real) ? DISP_E_OVERFLOW : S_OK;
    }
    int scale = parsed.exponent < 0 ? std::min(-parsed.exponent, 28) : 0;
    Int128 m;
    if (!ScaleParsed(parsed, scale, m))
        return DISP_E_OVERFLOW;
    number.kind = Value::Scaled;
    number.scaled = {m, scale};
    return S_OK;
}

HRESULT ToNumber(const Value& v, VARTYPE vt, VARIANT& out) {
    if (IsIntegerTarget(vt)) {
        switch (v.kind) {
            case Value::Integer:
                if (v.source == VT_BOOL && v.integer &&
                    (vt == VT_UI1 || vt == VT_UI2 || vt == VT_UI4 || vt == VT_UINT ||
                     vt == VT_UI8)) {
                    // True is all bits set in the unsigned types.
                    Int128 lo, hi;
                    IntegerRange(vt, lo, hi);
                    return StoreInteger(vt, hi, out);
                }
                return StoreInteger(vt, v.integer, out);
            case Value::Real: {
                double r = RoundHalfEven(v.real);
                if (!(std::fabs(r) < 1e38))
                    return DISP_E_OVERFLOW;
                return StoreInteger(vt, Int128(r), out);
            }
            case Value::Scaled:
                return StoreInteger(vt, RoundDivPow10(v.scaled.mantissa, v.scaled.scale), out);
            default:
                return DISP_E_TYPEMISMATCH;
        }
    }
    double real = 0;
    switch (v.kind) {
        case Value::Integer:
            real = double(v.integer);
            break;
        case Value::Real:
            real = v.real;
            break;
        case Value::Scaled: {
            ParsedNumber p;
            p.negative = v.scaled.mantissa < 0;
            std::u16string digits =
                IntegerText(p.negative ? -v.scaled.mantissa : v.scaled.mantissa);
            for (char16_t c : digits)
                p.digits.push_back(char(c));
            p.exponent = -v.scaled.scale;
            real = ParsedToDouble(p);
            break;
        }
        default:
            return DISP_E_TYPEMISMATCH;
    }
    switch (vt) {
        case VT_R8:
            out.vt = VT_R8;
            out.dblVal = real;
            return S_OK;
        case VT_R4:
            if (std::isfinite(real) && std::fabs(real) > FLT_MAX)
                return DISP_E_OVERFLOW;
            out.vt = VT_R4;
            out.fltVal = float(real);
            return S_OK;
        case VT_DATE:
            if (!(real >= kMinDate && real < kMaxDate))
                return DISP_E_OVERFLOW;
            out.vt = VT_DATE;
            out.date = real;
            return S_OK;
        case VT_BOOL:
            out.vt = VT_BOOL;
            if (v.kind == Value::Integer) {
                out.boolVal = v.integer ? VARIANT_TRUE : VARIANT_FALSE;
            } else if (v.kind == Value::Scaled) {
                out.boolVal = v.scaled.mantissa ? VARIANT_TRUE : VARIANT_FALSE;
            } else {
                out.boolVal = real != 0 ? VARIANT_TRUE : VARIANT_FALSE;
            }
            return S_OK;
        case VT_CY: {
            Int128 m;
            if (v.kind == Value::Integer) {
                m = v.integer * 10000;
            } else if (v.kind == Value::Scaled) {
                m = v.scaled.scale >= 4 ? RoundDivPow10(v.scaled.mantissa, v.scaled.scale - 4)
                                        : v.scaled.mantissa * Int128(v.scaled.scale == 3   ? 10
                                                                     : v.scaled.scale == 2 ? 100
                                                                     : v.scaled.scale == 1 ? 1000
                                                                                           : 10000);
            } else {
                double r = RoundHalfEven(v.real * 10000.0);
                if (!(std::fabs(r) < 1e38))
                    return DISP_E_OVERFLOW;
                m = Int128(r);
            }
            if (m < INT64_MIN || m > INT64_MAX)
                return DISP_E_OVERFLOW;
            out.vt = VT_CY;
            out.cyVal.int64 = LONGLONG(m);
            return S_OK;
        }
        case VT_DECIMAL: {
            ScaledDecimal s;
            if (v.kind == Value::Integer) {
                s = {v.integer, 0};
            } else if (v.kind == Value::Scaled) {
                s = v.scaled;
            } else {
                // A binary real becomes the decimal of its 15-digit text, as Automation does.
                if (!std::isfinite(real))
                    return DISP_E_OVERFLOW;
                std::u16string text = RealText(real, 15);
                ParsedNumber p;
                if (!ParseNumberText(text, p))
                    return DISP_E_OVERFLOW;
                int scale = p.exponent < 0 ? std::min(-p.exponent, 28) : 0;
                if (!ScaleParsed(p, scale, s.mantissa))
                    return DISP_E_OVERFLOW;
                s.scale = scale;
            }
            DECIMAL d;
            if (!DecimalFromScaled(s, d))
                return DISP_E_OVERFLOW;
            out.decVal = d;
            out.vt = VT_DECIMAL;
            return S_OK;
        }
        default:
            return DISP_E_BADVARTYPE;
    }
}

HRESULT Convert(const VARIANT& src, USHORT flags, LCID lcid, VARTYPE vt, VARIANT& out, int depth);

// The default (DISPID_VALUE) property of an object, as the value to convert.
HRESULT DefaultValue(IUnknown* object, LCID lcid, VARIANT& result) {
    if (!object)
        return DISP_E_TYPEMISMATCH;
    IDispatch* dispatch = nullptr;
    if (FAILED(object->QueryInterface(__uuidof(IDispatch), reinterpret_cast<void**>(&dispatch))))
        return DISP_E_TYPEMISMATCH;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VariantInit(&result);
    HRESULT hr = dispatch->Invoke(DISPID_VALUE, IID_NULL, lcid, DISPATCH_PROPERTYGET, &none,
                                  &result, nullptr, nullptr);
    dispatch->Release();
    if (FAILED(hr)) {
        VariantClear(&result);
        return DISP_E_TYPEMISMATCH;
    }
    return S_OK;
}

HRESULT Convert(const VARIANT& src, USHORT flags, LCID lcid, VARTYPE vt, VARIANT& out, int depth) {
    VariantInit(&out);
    if (src.vt & VT_BYREF) {
        VARIANT direct;
        VariantInit(&direct);
        HRESULT hr = VariantCopyInd(&direct, &src);
        if (FAILED(hr))
            return hr;
        hr = Convert(direct, flags, lcid, vt, out, depth);
        VariantClear(&direct);
        return hr;
    }
    if (src.vt & VT_ARRAY) {
        if (src.vt == vt)
            return VariantCopy(&out, &src);
        return DISP_E_TYPEMISMATCH;
    }
    if (vt & VT_ARRAY)
        return DISP_E_TYPEMISMATCH;

    Value v;
    HRESULT hr = ReadValue(src, v);
    if (FAILED(hr))
        return hr;
    if (vt == src.vt)
        return VariantCopy(&out, &src);

    switch (v.kind) {
        case Value::Null:
            if (vt == VT_EMPTY)
                return S_OK;
            return DISP_E_TYPEMISMATCH;
        case Value::Error:
            return DISP_E_TYPEMISMATCH;
        case Value::Object: {
            if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
                if (!v.object) {
                    out.vt = vt;
                    out.punkVal = nullptr;
                    return S_OK;
                }
                void* p = nullptr;
                const IID& iid = vt == VT_UNKNOWN ? __uuidof(IUnknown) : __uuidof(IDispatch);
                if (FAILED(v.object->QueryInterface(iid, &p)))
                    return E_NOINTERFACE;
                out.vt = vt;
                out.punkVal = static_cast<IUnknown*>(p);
                return S_OK;
            }
            if (vt == VT_EMPTY)
                return S_OK;
            if ((flags & VARIANT_NOVALUEPROP) || depth > 0)
                return DISP_E_TYPEMISMATCH;
            VARIANT value;
            hr = DefaultValue(v.object, lcid, value);
            if (FAILED(hr))
                return hr;
            hr = Convert(value, flags, lcid, vt, out, depth + 1);
            VariantClear(&value);
            return hr;
        }
        default:
            break;
    }

    switch (vt) {
        case VT_EMPTY:
            return S_OK;
        case VT_NULL:
            return v.kind == Value::Empty ? (out.vt = VT_NULL, S_OK) : DISP_E_TYPEMISMATCH;
        case VT_BSTR:
            return ToText(v, flags, lcid, out);
        case VT_UNKNOWN:
        case VT_DISPATCH:
            if (v.kind == Value::Empty) {
                out.vt = vt;
                out.punkVal = nullptr;
                return S_OK;
            }
            return DISP_E_TYPEMISMATCH;
        case VT_ERROR:
            return DISP_E_TYPEMISMATCH;
        default:
            break;
    }
    if (!IsIntegerTarget(vt) && vt != VT_R4 && vt != VT_R8 && vt != VT_DATE && vt != VT_BOOL &&
        vt != VT_CY && vt != VT_DECIMAL)
        return DISP_E_BADVARTYPE;

    Value number = v;
    if (v.kind == Value::Empty) {
        number.kind = Value::Integer;
        number.source = VT_I4;
        number.integer = 0;
    } else if (v.kind == Value::Text) {
        bool word;
        if (IsTrueWord(std::u16string_view(v.text, v.text_length), word)) {
            number.kind = Value::Integer;
            number.source = VT_BOOL;
            number.integer = word ? -1 : 0;
        } else {
            hr = TextToNumber(v, vt, lcid, number);
            if (FAILED(hr))
                return hr;
        }
    }
    return ToNumber(number, vt, out);
}

}  // namespace

extern "C" {

HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid,
                            USHORT wFlags, VARTYPE vt) {
    if (!pvargDest || !pvarSrc)
        return E_INVALIDARG;
    if ((vt & VT_BYREF) || !IsValidVariantType(vt) || vt == VT_RECORD)
        return DISP_E_BADVARTYPE;
    if (!IsValidVariantType(pvarSrc->vt))
        return DISP_E_BADVARTYPE;
    VARIANT result;
    HRESULT hr;
    try {
        hr = Convert(*pvarSrc, wFlags, lcid, vt, result, 0);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    if (pvargDest != pvarSrc || !(pvarSrc->vt & VT_BYREF)) {
        hr = VariantClear(pvargDest);
        if (FAILED(hr)) {
            VariantClear(&result);
            return hr;
        }
    }
    std::memcpy(static_cast<void*>(pvargDest), &result, sizeof(VARIANT));
    return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                          VARTYPE vt) {
    return VariantChangeTypeEx(pvargDest, pvarSrc, LOCALE_USER_DEFAULT, wFlags, vt);
}

}  // extern "C"
