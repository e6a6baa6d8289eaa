// VARIANT <-> Value.
#include "variant_conversion.h"

#include <cmath>
#include <cstring>

#include "errors.h"

namespace kvvbs {
namespace {

Value FromSafeArray(SAFEARRAY* sa, VARTYPE vt) {
    if (!sa)
        return Value::Null();
    UINT dims = SafeArrayGetDim(sa);
    if (dims == 0 || dims > 60)
        Throw(kErrTypeMismatch);
    switch (vt) {  // element types whose value fits a VARIANT's (others: a mismatch)
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_I8:
        case VT_INT:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_UI8:
        case VT_UINT:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_BSTR:
        case VT_BOOL:
        case VT_ERROR:
        case VT_DISPATCH:
        case VT_UNKNOWN:
        case VT_VARIANT:
            break;
        default:
            Throw(kErrTypeMismatch);
    }
    auto* rep = new ArrayRep();
    Value result = Value::AttachArray(rep);
    size_t total = 1;
    for (UINT d = 1; d <= dims; ++d) {  // dimension 1 is the left-most
        LONG lb = 0, ub = -1;
        SafeArrayGetLBound(sa, d, &lb);
        SafeArrayGetUBound(sa, d, &ub);
        int64_t count = int64_t(ub) - lb + 1;
        if (count < 0)
            count = 0;
        rep->upper.push_back(int32_t(count - 1));
        total *= size_t(count);
        if (total > (1u << 26))
            Throw(kErrOutOfMemory);
    }
    const size_t size = SafeArrayGetElemsize(sa);
    if (total > 0 && (size == 0 || size > sizeof(VARIANT)))
        Throw(kErrTypeMismatch);
    rep->items.resize(total);
    rep->Account();
    // Storage order is the language's own (the left-most index varies fastest): the
    // elements are read in place.
    unsigned char* data = nullptr;
    if (total > 0 && FAILED(SafeArrayAccessData(sa, reinterpret_cast<void**>(&data))))
        Throw(kErrTypeMismatch);
    try {
        for (size_t i = 0; i < total; ++i) {
            const unsigned char* element = data + i * size;
            if (vt == VT_VARIANT) {
                rep->items[i] = FromVariant(*reinterpret_cast<const VARIANT*>(element));
                continue;
            }
            VARIANT view;  // borrows the element: never cleared
            VariantInit(&view);
            view.vt = vt;
            std::memcpy(&view.llVal, element, size);
            rep->items[i] = FromVariant(view);
        }
    } catch (...) {
        SafeArrayUnaccessData(sa);
        throw;
    }
    if (total > 0)
        SafeArrayUnaccessData(sa);
    return result;
}

}  // namespace

Value FromVariant(const VARIANT& in) {
    const VARIANT* v = &in;
    if (v->vt == (VT_BYREF | VT_VARIANT)) {
        if (!v->pvarVal)
            return Value();
        v = v->pvarVal;
    }
    VARTYPE vt = v->vt;
    const bool byref = (vt & VT_BYREF) != 0;
    if (vt & VT_ARRAY)
        return FromSafeArray(byref ? (v->pparray ? *v->pparray : nullptr) : v->parray,
                             VARTYPE(vt & VT_TYPEMASK));
    if (byref) {
        VARIANT copy;
        VariantInit(&copy);
        if (FAILED(VariantCopyInd(&copy, v)))
            Throw(kErrTypeMismatch);
        Value out = FromVariant(copy);
        VariantClear(&copy);
        return out;
    }
    switch (vt) {
        case VT_EMPTY:
            return Value();
        case VT_NULL:
            return Value::Null();
        case VT_I2:
            return Value::Integer(v->iVal);
        case VT_I4:
        case VT_INT:
            return Value::Long(v->lVal);
        case VT_UI1:
            return Value::Byte(v->bVal);
        case VT_I1:
            return Value::Integer(v->cVal);
        case VT_UI2:
            return Value::Long(v->uiVal);
        case VT_UI4:
        case VT_UINT:
            return v->ulVal <= 0x7FFFFFFFu ? Value::Long(int32_t(v->ulVal))
                                           : Value::Double(double(v->ulVal));
        case VT_I8:
            return v->llVal >= INT32_MIN && v->llVal <= INT32_MAX ? Value::Long(int32_t(v->llVal))
                                                                  : Value::Double(double(v->llVal));
        case VT_UI8:
            return v->ullVal <= 0x7FFFFFFFu ? Value::Long(int32_t(v->ullVal))
                                            : Value::Double(double(v->ullVal));
        case VT_R4:
            return Value::Single(v->fltVal);
        case VT_R8:
            return Value::Double(v->dblVal);
        case VT_CY:
            return Value::Currency(v->cyVal.int64);
        case VT_DATE:
            return Value::Date(v->date);
        case VT_BSTR:
            if (SysStringByteLen(v->bstrVal) % 2)  // bytes a byte function made
                return Value::Bytes(std::string_view(reinterpret_cast<const char*>(v->bstrVal),
                                                     SysStringByteLen(v->bstrVal)));
            return Value::String(v->bstrVal
                                     ? std::u16string_view(v->bstrVal, SysStringLen(v->bstrVal))
                                     : std::u16string_view());
        case VT_BOOL:
            return Value::Bool(v->boolVal != VARIANT_FALSE);
        case VT_ERROR:
            return Value::Error(v->scode);
        case VT_DISPATCH:
            return Value::Object(v->pdispVal);
        case VT_UNKNOWN: {
            IDispatch* d = nullptr;
            if (v->punkVal &&
                SUCCEEDED(v->punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d))))
                return Value::AttachObject(d);
            if (!v->punkVal)
                return Value::Nothing();
            Throw(kErrTypeMismatch);
        }
        default: {
            VARIANT r8;
            VariantInit(&r8);
            if (SUCCEEDED(VariantChangeType(&r8, v, 0, VT_R8)))
                return Value::Double(r8.dblVal);
            Throw(kErrTypeMismatch);
        }
    }
}

void ToVariant(const Value& value, VARIANT* out) {
    const Value& v = value.Deref();
    switch (v.kind()) {
        case Kind::Empty:
            out->vt = VT_EMPTY;
            return;
        case Kind::Null:
            out->vt = VT_NULL;
            return;
        case Kind::Boolean:
            out->vt = VT_BOOL;
            out->boolVal = v.AsBool() ? VARIANT_TRUE : VARIANT_FALSE;
            return;
        case Kind::Integer:
            out->vt = VT_I2;
            out->iVal = SHORT(v.AsInt());
            return;
        case Kind::Long:
            out->vt = VT_I4;
            out->lVal = v.AsInt();
            return;
        case Kind::Byte:
            out->vt = VT_UI1;
            out->bVal = BYTE(v.AsInt());
            return;
        case Kind::Double:
            if (v.IsSingle()) {
                out->vt = VT_R4;
                out->fltVal = float(v.AsDouble());
                return;
            }
            out->vt = VT_R8;
            out->dblVal = v.AsDouble();
            return;
        case Kind::Date:
            out->vt = VT_DATE;
            out->date = v.AsDouble();
            return;
        case Kind::Currency:
            out->vt = VT_CY;
            out->cyVal.int64 = v.AsCurrency();
            return;
        case Kind::String: {
            auto s = v.AsString();
            BSTR b = nullptr;
            if (v.HasOddByte()) {
                const std::string bytes = v.StringBytes();
                b = SysAllocStringByteLen(bytes.data(), UINT(bytes.size()));
            } else {
                b = SysAllocStringLen(s.data(), UINT(s.size()));
            }
            if (!b)
                Throw(kErrOutOfMemory);
            out->vt = VT_BSTR;
            out->bstrVal = b;
            return;
        }
        case Kind::Object:
            out->vt = VT_DISPATCH;
            out->pdispVal = v.AsObject();
            if (out->pdispVal)
                out->pdispVal->AddRef();
            return;
        case Kind::Error:
            out->vt = VT_ERROR;
            out->scode = v.AsError();
            return;
        case Kind::Array: {
            const ArrayRep* rep = v.AsArray();
            std::vector<SAFEARRAYBOUND> bounds(rep->upper.size());
            for (size_t d = 0; d < bounds.size(); ++d) {
                bounds[d].lLbound = 0;
                bounds[d].cElements = ULONG(rep->upper[d]) + 1;  // -1 gives 0
            }
            SAFEARRAY* sa = bounds.empty()
                                ? SafeArrayCreateVector(VT_VARIANT, 0, 0)
                                : SafeArrayCreate(VT_VARIANT, UINT(bounds.size()), bounds.data());
            if (!sa)
                Throw(kErrOutOfMemory);
            VARIANT* data = nullptr;
            SafeArrayAccessData(sa, reinterpret_cast<void**>(&data));
            for (size_t i = 0; i < rep->items.size(); ++i) {
                try {
                    ToVariant(rep->items[i], &data[i]);
                } catch (...) {
                    SafeArrayUnaccessData(sa);
                    SafeArrayDestroy(sa);
                    throw;
                }
            }
            SafeArrayUnaccessData(sa);
            out->vt = VT_ARRAY | VT_VARIANT;
            out->parray = sa;
            return;
        }
        default:
            out->vt = VT_EMPTY;
            return;
    }
}

}  // namespace kvvbs
