// VARIANT <-> script value.
#include "variant_conversion.h"

#include <cmath>
#include <vector>

#include "dispatch_proxy.h"
#include "runtime.h"
#include "script_dispatch.h"
#include "text.h"

namespace kvjs {
namespace {

const char kArrayKey[] = DUK_HIDDEN_SYMBOL("kvarray");      // on an array value: SAFEARRAY*
const char kArrayTypeKey[] = DUK_HIDDEN_SYMBOL("kvarrvt");  // and its element VARTYPE
const char kDateKey[] = DUK_HIDDEN_SYMBOL("kvdate");        // on a date value: the VT_DATE
const char kUnknownKey[] = DUK_HIDDEN_SYMBOL("kvunknown");  // on an unknown value: IUnknown*
const char kDatePrototypeKey[] = "kvjs:date-prototype";     // in the heap stash
const char kUnknownPrototypeKey[] = "kvjs:unknown-prototype";
const char kArrayPrototypeKey[] = "kvjs:array-prototype";
const char kDateNameKey[] = "kvjs:date-name";
const char kUnknownNameKey[] = "kvjs:unknown-name";

// Days from the VARIANT date epoch (30 December 1899) to the Unix epoch.
constexpr double kUnixEpochAsDate = 25569.0;
constexpr double kMsPerDay = 86400000.0;

void PushNumber(duk_context* ctx, const VARIANT& v) {
    VARIANT r8;
    VariantInit(&r8);
    if (FAILED(VariantChangeType(&r8, &v, 0, VT_R8))) {
        duk_push_nan(ctx);
        return;
    }
    duk_push_number(ctx, r8.dblVal);
}

// The elements in storage order, into the Array at values. The array is the value's own copy,
// which nothing else reaches, so it is read without locking.
void PushElements(duk_context* ctx, SAFEARRAY* array, VARTYPE vt, size_t total, duk_idx_t values) {
    const BYTE* data = static_cast<const BYTE*>(array->pvData);
    for (size_t i = 0; i < total; ++i) {
        const void* element = data + i * array->cbElements;
        VARIANT item;
        VariantInit(&item);
        if (vt == VT_VARIANT) {
            item = *static_cast<const VARIANT*>(element);  // borrowed; not cleared below
        } else {
            item.vt = vt;
            __builtin_memcpy(&item.llVal, element, array->cbElements <= 8 ? array->cbElements : 8);
        }
        PushVariant(ctx, item);
        duk_put_prop_index(ctx, values, duk_uarridx_t(i));
    }
}

// [values, bounds] of an array from COM: the elements in storage order (the first
// dimension varies fastest, as in a VBArray) and [lbound1, count1, lbound2, count2, ...].
void PushArrayParts(duk_context* ctx, SAFEARRAY* array, VARTYPE vt) {
    const duk_idx_t parts = duk_push_array(ctx);
    const duk_idx_t values = duk_push_array(ctx);
    const duk_idx_t bounds = duk_push_array(ctx);
    const UINT dims = SafeArrayGetDim(array);
    size_t total = dims ? 1 : 0;
    for (UINT d = 1; d <= dims; ++d) {
        LONG low = 0, high = -1;
        SafeArrayGetLBound(array, d, &low);
        SafeArrayGetUBound(array, d, &high);
        const double count = double(high) - double(low) + 1;
        duk_push_int(ctx, low);
        duk_put_prop_index(ctx, bounds, 2 * (d - 1));
        duk_push_number(ctx, count);
        duk_put_prop_index(ctx, bounds, 2 * (d - 1) + 1);
        total *= size_t(count > 0 ? count : 0);
    }
    if (total > 0 && array->pvData)
        PushElements(ctx, array, vt, total, values);
    duk_put_prop_index(ctx, parts, 1);
    duk_put_prop_index(ctx, parts, 0);
}

// Pushes a bare object of the prototype kept in the stash under key.
duk_idx_t PushOfPrototype(duk_context* ctx, const char* key) {
    duk_idx_t obj = duk_push_bare_object(ctx);
    duk_push_heap_stash(ctx);
    duk_get_prop_string(ctx, -1, key);
    duk_remove(ctx, -2);
    duk_set_prototype(ctx, obj);
    return obj;
}

// The unknown prototype's finalizer, which its values inherit: releases the object.
duk_ret_t ReleaseUnknown(duk_context* ctx) {
    duk_get_prop_string(ctx, 0, kUnknownKey);
    auto* unknown = static_cast<IUnknown*>(duk_get_pointer(ctx, -1));
    duk_pop(ctx);
    if (unknown) {
        duk_push_pointer(ctx, nullptr);
        duk_put_prop_string(ctx, 0, kUnknownKey);
        unknown->Release();
    }
    return 0;
}

// The array prototype's finalizer: destroys the value's copy of the SAFEARRAY.
duk_ret_t DestroyArray(duk_context* ctx) {
    duk_get_prop_string(ctx, 0, kArrayKey);
    auto* array = static_cast<SAFEARRAY*>(duk_get_pointer(ctx, -1));
    duk_pop(ctx);
    if (array) {
        duk_push_pointer(ctx, nullptr);
        duk_put_prop_string(ctx, 0, kArrayKey);
        SafeArrayDestroy(array);
    }
    return 0;
}

// An array from COM: an opaque value (typeof "unknown") that owns a copy of the SAFEARRAY,
// read through VBArray and handed back to COM as an array of the same type and bounds.
void PushArray(duk_context* ctx, SAFEARRAY* array, VARTYPE vt) {
    if (!array) {
        duk_push_null(ctx);
        return;
    }
    SAFEARRAY* copy = nullptr;
    if (FAILED(SafeArrayCopy(array, &copy)) || !copy)
        duk_error(ctx, DUK_ERR_RANGE_ERROR, "out of memory");
    duk_idx_t value = PushOfPrototype(ctx, kArrayPrototypeKey);
    duk_push_pointer(ctx, copy);
    duk_put_prop_string(ctx, value, kArrayKey);
    duk_push_uint(ctx, vt & VT_TYPEMASK);
    duk_put_prop_string(ctx, value, kArrayTypeKey);
}

// The SAFEARRAY an array value owns (null for any other value) and its element type.
SAFEARRAY* ArrayOf(duk_context* ctx, duk_idx_t idx, VARTYPE& vt) {
    if (!duk_is_object(ctx, idx))
        return nullptr;
    duk_get_prop_string(ctx, idx, kArrayKey);
    auto* array = static_cast<SAFEARRAY*>(duk_get_pointer(ctx, -1));
    duk_pop(ctx);
    duk_get_prop_string(ctx, idx, kArrayTypeKey);
    vt = VARTYPE(duk_get_uint(ctx, -1));
    duk_pop(ctx);
    return array;
}

// A date value's primitive: the moment in milliseconds since 1970 (UTC).
duk_ret_t DateValueOf(duk_context* ctx) {
    duk_push_this(ctx);
    duk_get_prop_string(ctx, -1, kDateKey);
    if (!duk_is_number(ctx, -1))
        return duk_error(ctx, DUK_ERR_TYPE_ERROR, "date expected");
    duk_push_number(ctx, (duk_get_number(ctx, -1) - kUnixEpochAsDate) * kMsPerDay);
    return 1;
}

// Its text: as a Date of the same moment writes itself.
duk_ret_t DateToString(duk_context* ctx) {
    duk_get_global_string(ctx, "Date");
    duk_push_c_function(ctx, DateValueOf, 0);
    duk_push_this(ctx);
    duk_call_method(ctx, 0);
    duk_new(ctx, 1);
    duk_get_prop_string(ctx, -1, "toString");
    duk_dup(ctx, -2);
    duk_call_method(ctx, 0);
    return 1;
}

duk_ret_t UnknownToString(duk_context* ctx) {
    duk_push_string(ctx, "[object]");
    return 1;
}

bool IsDate(duk_context* ctx, duk_idx_t idx) {
    duk_get_global_string(ctx, "Date");
    bool date = duk_instanceof(ctx, idx, -1) != 0;
    duk_pop(ctx);
    return date;
}

}  // namespace

void PushVariant(duk_context* ctx, const VARIANT& value) {
    const VARIANT* v = &value;
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal)
        v = v->pvarVal;
    if (v->vt & VT_ARRAY) {
        PushArray(ctx, (v->vt & VT_BYREF) ? (v->pparray ? *v->pparray : nullptr) : v->parray,
                  v->vt);
        return;
    }
    if (v->vt & VT_BYREF) {
        VARIANT direct;
        VariantInit(&direct);
        if (FAILED(VariantCopyInd(&direct, v))) {
            duk_push_undefined(ctx);
            return;
        }
        PushVariant(ctx, direct);
        VariantClear(&direct);
        return;
    }
    switch (v->vt) {
        case VT_EMPTY:
            duk_push_undefined(ctx);
            return;
        case VT_NULL:
            duk_push_null(ctx);
            return;
        case VT_BOOL:
            duk_push_boolean(ctx, v->boolVal != VARIANT_FALSE);
            return;
        case VT_BSTR:
            PushText(ctx, std::u16string_view(v->bstrVal ? v->bstrVal : u"",
                                              v->bstrVal ? SysStringLen(v->bstrVal) : 0));
            return;
        case VT_I4:
        case VT_INT:
            duk_push_int(ctx, v->lVal);
            return;
        case VT_R8:
            duk_push_number(ctx, v->dblVal);
            return;
        case VT_DATE: {
            duk_idx_t date = PushOfPrototype(ctx, kDatePrototypeKey);
            duk_push_number(ctx, v->date);
            duk_put_prop_string(ctx, date, kDateKey);
            return;
        }
        case VT_DISPATCH:
            if (!PushScriptObject(ctx, v->pdispVal))
                PushDispatch(ctx, v->pdispVal);
            return;
        case VT_UNKNOWN: {
            IDispatch* disp = nullptr;
            if (v->punkVal && SUCCEEDED(v->punkVal->QueryInterface(
                                  IID_IDispatch, reinterpret_cast<void**>(&disp)))) {
                PushDispatch(ctx, disp);
                disp->Release();
            } else if (v->punkVal) {
                duk_idx_t unknown = PushOfPrototype(ctx, kUnknownPrototypeKey);
                v->punkVal->AddRef();
                duk_push_pointer(ctx, v->punkVal);
                duk_put_prop_string(ctx, unknown, kUnknownKey);
            } else {
                duk_push_null(ctx);
            }
            return;
        }
        case VT_ERROR:
            if (v->scode == DISP_E_PARAMNOTFOUND)
                duk_push_undefined(ctx);
            else
                duk_push_int(ctx, v->scode);
            return;
        default:
            PushNumber(ctx, *v);
            return;
    }
}

void ToVariant(duk_context* ctx, duk_idx_t idx, VARIANT* out) {
    VariantInit(out);
    idx = duk_normalize_index(ctx, idx);
    switch (duk_get_type(ctx, idx)) {
        case DUK_TYPE_UNDEFINED:
        case DUK_TYPE_NONE:
            return;
        case DUK_TYPE_NULL:
            out->vt = VT_NULL;
            return;
        case DUK_TYPE_BOOLEAN:
            out->vt = VT_BOOL;
            out->boolVal = duk_get_boolean(ctx, idx) ? VARIANT_TRUE : VARIANT_FALSE;
            return;
        case DUK_TYPE_NUMBER: {
            double d = duk_get_number(ctx, idx);
            if (d >= -2147483648.0 && d <= 2147483647.0 && std::floor(d) == d &&
                !(d == 0 && std::signbit(d))) {
                out->vt = VT_I4;
                out->lVal = LONG(d);
            } else {
                out->vt = VT_R8;
                out->dblVal = d;
            }
            return;
        }
        case DUK_TYPE_STRING: {
            std::u16string text = GetText(ctx, idx);
            BSTR b = SysAllocStringLen(text.data(), UINT(text.size()));
            if (!b)
                duk_error(ctx, DUK_ERR_RANGE_ERROR, "out of memory");
            out->vt = VT_BSTR;
            out->bstrVal = b;
            return;
        }
        case DUK_TYPE_OBJECT: {
            if (IDispatch* disp = ProxiedDispatch(ctx, idx)) {
                disp->AddRef();
                out->vt = VT_DISPATCH;
                out->pdispVal = disp;
                return;
            }
            VARTYPE element = VT_EMPTY;
            if (SAFEARRAY* array = ArrayOf(ctx, idx, element)) {
                SAFEARRAY* copy = nullptr;
                if (FAILED(SafeArrayCopy(array, &copy)) || !copy)
                    duk_error(ctx, DUK_ERR_RANGE_ERROR, "out of memory");
                out->vt = VARTYPE(VT_ARRAY | element);
                out->parray = copy;
                return;
            }
            if (duk_get_prop_string(ctx, idx, kDateKey)) {
                out->vt = VT_DATE;
                out->date = duk_get_number(ctx, -1);
                duk_pop(ctx);
                return;
            }
            duk_pop(ctx);
            if (duk_get_prop_string(ctx, idx, kUnknownKey)) {
                auto* unknown = static_cast<IUnknown*>(duk_get_pointer(ctx, -1));
                duk_pop(ctx);
                if (unknown)
                    unknown->AddRef();
                out->vt = VT_UNKNOWN;
                out->punkVal = unknown;
                return;
            }
            duk_pop(ctx);
            if (IsDate(ctx, idx)) {
                duk_get_prop_string(ctx, idx, "getTime");
                duk_dup(ctx, idx);
                duk_call_method(ctx, 0);
                double ms = duk_get_number(ctx, -1);
                duk_pop(ctx);
                out->vt = VT_DATE;
                out->date = ms / kMsPerDay + kUnixEpochAsDate;
                return;
            }
            out->pdispVal = CreateScriptDispatch(ctx, idx);  // may throw: then out stays
            out->vt = VT_DISPATCH;
            return;
        }
        default:  // buffers, pointers and the like have no COM form
            return;
    }
}

std::vector<_variant_t> ArrayElements(duk_context* ctx, duk_idx_t idx) {
    idx = duk_normalize_index(ctx, idx);
    const duk_size_t n = duk_get_length(ctx, idx);
    std::vector<_variant_t> values(n);
    for (duk_size_t i = 0; i < n; ++i) {
        duk_get_prop_index(ctx, idx, duk_uarridx_t(i));
        ToVariant(ctx, -1, &values[i]);
        duk_pop(ctx);
    }
    return values;
}

void InstallComValueTypes(duk_context* ctx) {
    Runtime::ComValueTypes& types = Runtime::Of(ctx).ValueTypes();
    duk_push_heap_stash(ctx);
    const duk_idx_t stash = duk_get_top_index(ctx);

    duk_idx_t date = duk_push_object(ctx);
    const duk_function_list_entry date_methods[] = {
        {"valueOf", DateValueOf, 0}, {"toString", DateToString, 0}, {nullptr, nullptr, 0}};
    duk_put_function_list(ctx, date, date_methods);
    types.date_prototype = duk_get_heapptr(ctx, date);
    duk_put_prop_string(ctx, stash, kDatePrototypeKey);

    // The prototype of an opaque value (an interface, an array): no members but its text, and
    // the finalizer that lets go of what it holds; kept in the stash under `key`.
    auto opaque_prototype = [&](duk_c_function finalizer, const char* key) {
        const duk_idx_t prototype = duk_push_object(ctx);
        duk_push_c_function(ctx, UnknownToString, 0);
        duk_put_prop_string(ctx, prototype, "toString");
        duk_push_c_function(ctx, finalizer, 1);
        duk_set_finalizer(ctx, prototype);
        void* pointer = duk_get_heapptr(ctx, prototype);
        duk_put_prop_string(ctx, stash, key);
        return pointer;
    };
    types.unknown_prototype = opaque_prototype(ReleaseUnknown, kUnknownPrototypeKey);
    types.array_prototype = opaque_prototype(DestroyArray, kArrayPrototypeKey);

    duk_push_string(ctx, "date");
    types.date_name = duk_get_heapptr(ctx, -1);
    duk_put_prop_string(ctx, stash, kDateNameKey);
    duk_push_string(ctx, "unknown");
    types.unknown_name = duk_get_heapptr(ctx, -1);
    duk_put_prop_string(ctx, stash, kUnknownNameKey);
    duk_pop(ctx);
}

duk_ret_t PushArrayParts(duk_context* ctx) {
    VARTYPE vt = VT_EMPTY;
    if (SAFEARRAY* array = ArrayOf(ctx, 0, vt))
        PushArrayParts(ctx, array, vt);
    else
        duk_push_undefined(ctx);
    return 1;
}

ArgumentList::ArgumentList(duk_context* ctx, duk_idx_t from, duk_idx_t to) {
    const UINT count = to > from ? UINT(to - from) : 0;
    _variant_t* values = in_place_;
    if (count > kInPlace) {
        more_.resize(count);
        values = more_.data();
    }
    // DISPPARAMS holds the arguments last to first.
    for (UINT i = 0; i < count; ++i)
        ToVariant(ctx, from + duk_idx_t(i), &values[count - 1 - i]);
    params_.rgvarg = count ? values : nullptr;
    params_.cArgs = count;
}

void ArgumentList::MakePut() {
    params_.cNamedArgs = 1;
    params_.rgdispidNamedArgs = &put_id_;
}

}  // namespace kvjs

extern "C" void* kvjs_typeof_name(void* udata, void* prototype) {
    if (!udata || !prototype)
        return nullptr;
    const auto& types = static_cast<kvjs::Runtime*>(udata)->ValueTypes();
    if (prototype == types.date_prototype)
        return types.date_name;
    if (prototype == types.unknown_prototype || prototype == types.array_prototype)
        return types.unknown_name;
    return nullptr;
}
