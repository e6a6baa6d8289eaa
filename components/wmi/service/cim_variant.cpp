#include "service/cim_variant.h"

#include <optional>

#include "kvwin/utf.h"
#include "service/class_object.h"

namespace kvwmi {

namespace {

VARTYPE ScalarVariantType(CIMTYPE base) {
    switch (base) {
        case CIM_BOOLEAN:
            return VT_BOOL;
        case CIM_SINT8:
        case CIM_SINT16:
        case CIM_CHAR16:
            return VT_I2;
        case CIM_UINT8:
            return VT_UI1;
        case CIM_UINT16:
        case CIM_SINT32:
        case CIM_UINT32:
            return VT_I4;
        case CIM_REAL32:
            return VT_R4;
        case CIM_REAL64:
            return VT_R8;
        case CIM_OBJECT:
            return VT_UNKNOWN;
        default:  // 64-bit integers, strings, date-times, references
            return VT_BSTR;
    }
}

bool IsIntegerType(CIMTYPE base) {
    switch (base) {
        case CIM_SINT8:
        case CIM_UINT8:
        case CIM_SINT16:
        case CIM_UINT16:
        case CIM_SINT32:
        case CIM_UINT32:
        case CIM_SINT64:
        case CIM_UINT64:
        case CIM_CHAR16:
            return true;
        default:
            return false;
    }
}

// The value's bits as a 64-bit integer (a boolean is 0 or 1), when it is a number.
std::optional<int64_t> IntegerBits(const CimValue& value) {
    if (auto* i = std::get_if<std::int64_t>(&value))
        return *i;
    if (auto* u = std::get_if<std::uint64_t>(&value))
        return static_cast<int64_t>(*u);
    if (auto* b = std::get_if<bool>(&value))
        return *b ? 1 : 0;
    if (auto* d = std::get_if<double>(&value))
        return static_cast<int64_t>(*d);
    return std::nullopt;
}

std::optional<double> RealValue(const CimValue& value, bool unsigned_type) {
    if (auto* d = std::get_if<double>(&value))
        return *d;
    if (auto* u = std::get_if<std::uint64_t>(&value))
        return static_cast<double>(*u);
    if (auto* i = std::get_if<std::int64_t>(&value))
        return unsigned_type ? static_cast<double>(static_cast<uint64_t>(*i))
                             : static_cast<double>(*i);
    return std::nullopt;
}

std::u16string DecimalText(int64_t bits, bool is_unsigned) {
    return kvwin::FromUtf8(is_unsigned ? std::to_string(static_cast<uint64_t>(bits))
                                       : std::to_string(bits));
}

// One scalar into the memory of a variant's union or an array element of type `vt`.
HRESULT StoreScalar(VARTYPE vt, CIMTYPE base, const CimValue& value, void* target) {
    if (vt == VT_BSTR) {
        std::u16string number;
        const std::u16string* text = std::get_if<std::u16string>(&value);
        if (!text) {
            if (!IsIntegerType(base))
                return WBEM_E_TYPE_MISMATCH;
            auto bits = IntegerBits(value);
            if (!bits)
                return WBEM_E_TYPE_MISMATCH;
            number = DecimalText(*bits, base == CIM_UINT64);
            text = &number;
        }
        BSTR bstr = SysAllocStringLen(text->data(), UINT(text->size()));
        if (!bstr)
            return WBEM_E_OUT_OF_MEMORY;
        *static_cast<BSTR*>(target) = bstr;
        return WBEM_S_NO_ERROR;
    }
    if (vt == VT_R4 || vt == VT_R8) {
        auto real = RealValue(value, false);
        if (!real)
            return WBEM_E_TYPE_MISMATCH;
        if (vt == VT_R4)
            *static_cast<float*>(target) = static_cast<float>(*real);
        else
            *static_cast<double*>(target) = *real;
        return WBEM_S_NO_ERROR;
    }
    auto bits = IntegerBits(value);
    if (!bits)
        return WBEM_E_TYPE_MISMATCH;
    switch (vt) {
        case VT_BOOL:
            *static_cast<VARIANT_BOOL*>(target) = *bits ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        case VT_I2:
            *static_cast<SHORT*>(target) = static_cast<SHORT>(*bits);
            break;
        case VT_UI1:
            *static_cast<BYTE*>(target) = static_cast<BYTE>(*bits);
            break;
        case VT_I4:
            *static_cast<LONG*>(target) = static_cast<LONG>(static_cast<uint32_t>(*bits));
            break;
        default:
            return WBEM_E_TYPE_MISMATCH;
    }
    return WBEM_S_NO_ERROR;
}

void* UnionMember(VARIANT* out, VARTYPE vt) {
    switch (vt) {
        case VT_BSTR:
            return &V_BSTR(out);
        case VT_BOOL:
            return &V_BOOL(out);
        case VT_I2:
            return &V_I2(out);
        case VT_UI1:
            return &V_UI1(out);
        case VT_I4:
            return &V_I4(out);
        case VT_R4:
            return &V_R4(out);
        default:
            return &V_R8(out);
    }
}

template <class Element>
HRESULT StoreArray(const std::vector<Element>& items, VARTYPE vt, CIMTYPE base, VARIANT* out) {
    SAFEARRAY* array = SafeArrayCreateVector(vt, 0, ULONG(items.size()));
    if (!array)
        return WBEM_E_OUT_OF_MEMORY;
    void* data = nullptr;
    HRESULT hr = SafeArrayAccessData(array, &data);
    UINT size = SafeArrayGetElemsize(array);
    for (size_t i = 0; SUCCEEDED(hr) && i < items.size(); ++i)
        hr = StoreScalar(vt, base, CimValue(items[i]), static_cast<BYTE*>(data) + i * size);
    if (data)
        SafeArrayUnaccessData(array);
    if (FAILED(hr)) {
        SafeArrayDestroy(array);
        return hr;
    }
    V_VT(out) = VARTYPE(VT_ARRAY | vt);
    V_ARRAY(out) = array;
    return WBEM_S_NO_ERROR;
}

IWbemClassObject* EmbeddedInstance(const EmbeddedObject& object) {
    ObjectData data;
    data.decl = object.decl;
    data.values = object.values;
    return CreateClassObject(std::move(data));
}

// An embedded object is VT_UNKNOWN holding an IWbemClassObject of its class; an array of
// them is a SAFEARRAY of VT_UNKNOWN.
HRESULT StoreEmbedded(const EmbeddedObjects& objects, bool array, VARIANT* out) {
    for (const auto& object : objects) {
        if (!object || !object->decl)
            return WBEM_E_TYPE_MISMATCH;
    }
    if (!array) {
        if (objects.size() != 1)
            return WBEM_E_TYPE_MISMATCH;
        V_UNKNOWN(out) = EmbeddedInstance(*objects.front());
        V_VT(out) = VT_UNKNOWN;
        return WBEM_S_NO_ERROR;
    }
    SAFEARRAY* items = SafeArrayCreateVector(VT_UNKNOWN, 0, ULONG(objects.size()));
    if (!items)
        return WBEM_E_OUT_OF_MEMORY;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(items, &data))) {
        SafeArrayDestroy(items);
        return WBEM_E_OUT_OF_MEMORY;
    }
    try {
        for (size_t i = 0; i < objects.size(); ++i)
            static_cast<IUnknown**>(data)[i] = EmbeddedInstance(*objects[i]);
    } catch (...) {  // the array releases the objects made so far
        SafeArrayUnaccessData(items);
        SafeArrayDestroy(items);
        throw;
    }
    SafeArrayUnaccessData(items);
    V_VT(out) = VT_ARRAY | VT_UNKNOWN;
    V_ARRAY(out) = items;
    return WBEM_S_NO_ERROR;
}

}  // namespace

VARTYPE VariantTypeOf(CIMTYPE type) {
    VARTYPE scalar = ScalarVariantType(type & ~CIM_FLAG_ARRAY);
    return (type & CIM_FLAG_ARRAY) ? VARTYPE(VT_ARRAY | scalar) : scalar;
}

HRESULT ToVariant(const CimValue& value, CIMTYPE type, VARIANT* out) {
    VariantInit(out);
    if (IsNull(value)) {
        V_VT(out) = VT_NULL;
        return WBEM_S_NO_ERROR;
    }
    CIMTYPE base = type & ~CIM_FLAG_ARRAY;
    VARTYPE vt = ScalarVariantType(base);
    auto* embedded = std::get_if<EmbeddedObjects>(&value);
    if ((vt == VT_UNKNOWN) != (embedded != nullptr))
        return WBEM_E_TYPE_MISMATCH;
    if (embedded)
        return StoreEmbedded(*embedded, (type & CIM_FLAG_ARRAY) != 0, out);
    if (type & CIM_FLAG_ARRAY) {
        if (auto* numbers = std::get_if<std::vector<std::int64_t>>(&value))
            return StoreArray(*numbers, vt, base, out);
        if (auto* texts = std::get_if<std::vector<std::u16string>>(&value))
            return StoreArray(*texts, vt, base, out);
        return WBEM_E_TYPE_MISMATCH;
    }
    if (std::holds_alternative<std::vector<std::int64_t>>(value) ||
        std::holds_alternative<std::vector<std::u16string>>(value))
        return WBEM_E_TYPE_MISMATCH;
    HRESULT hr = StoreScalar(vt, base, value, UnionMember(out, vt));
    if (SUCCEEDED(hr))
        V_VT(out) = vt;
    return hr;
}

std::u16string CimTypeName(CIMTYPE type) {
    switch (type & ~CIM_FLAG_ARRAY) {
        case CIM_BOOLEAN:
            return u"boolean";
        case CIM_SINT8:
            return u"sint8";
        case CIM_UINT8:
            return u"uint8";
        case CIM_SINT16:
            return u"sint16";
        case CIM_UINT16:
            return u"uint16";
        case CIM_SINT32:
            return u"sint32";
        case CIM_UINT32:
            return u"uint32";
        case CIM_SINT64:
            return u"sint64";
        case CIM_UINT64:
            return u"uint64";
        case CIM_REAL32:
            return u"real32";
        case CIM_REAL64:
            return u"real64";
        case CIM_STRING:
            return u"string";
        case CIM_DATETIME:
            return u"datetime";
        case CIM_REFERENCE:
            return u"ref";
        case CIM_CHAR16:
            return u"char16";
        case CIM_OBJECT:
            return u"object";
        default:
            return u"";
    }
}

}  // namespace kvwmi
