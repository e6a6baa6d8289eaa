// ObjectData: lookups, and the copy of a service object's properties.
#include "kvwin/ascii_case.h"
#include "wmiscripting.h"

namespace kvwmiscript {

PropertyValue* ObjectData::Find(std::u16string_view name) {
    for (auto& p : properties) {
        if (kvwin::EqualsAsciiNoCase(p.name, name))
            return &p;
    }
    return nullptr;
}

const PropertyValue* ObjectData::Find(std::u16string_view name) const {
    return const_cast<ObjectData*>(this)->Find(name);
}

const MethodDecl* ObjectData::FindMethod(std::u16string_view name) const {
    if (!methods)
        return nullptr;
    for (const auto& m : *methods) {
        if (kvwin::EqualsAsciiNoCase(m.name, name))
            return &m;
    }
    return nullptr;
}

namespace {

std::u16string SystemText(IWbemClassObject* object, const char16_t* name) {
    _variant_t value;
    if (FAILED(object->Get(name, 0, &value, nullptr, nullptr)) || value.vt != VT_BSTR)
        return {};
    return std::u16string(value.bstrVal, SysStringLen(value.bstrVal));
}

// About what an object's copy keeps: its texts, and for each property a fixed cost, its name
// and its value.
size_t HeldBytes(const ObjectData& data) {
    constexpr size_t kPropertyBytes = 64;
    size_t bytes =
        (data.class_name.size() + data.relpath.size() + data.path.size() + data.name_space.size()) *
        sizeof(char16_t);
    for (const auto& name : data.derivation)
        bytes += kPropertyBytes + name.size() * sizeof(char16_t);
    for (const auto& p : data.properties)
        bytes +=
            kPropertyBytes + p.name.size() * sizeof(char16_t) + kvwin::VariantHeldBytes(p.value);
    return bytes;
}

HRESULT CopyObject(IWbemClassObject* object, const std::u16string& name_space, int depth,
                   std::shared_ptr<ObjectData>& data);

// Embedded objects nest this deep at most; a deeper one reads as null.
constexpr int kMaxEmbeddingDepth = 8;

// One embedded object (VT_UNKNOWN holding an IWbemClassObject) as the SWbemObject a script
// reads (VT_DISPATCH); VT_NULL when it cannot be read.
HRESULT EmbeddedAsScriptObject(IUnknown* unknown, const std::u16string& name_space, int depth,
                               VARIANT* out) {
    VariantInit(out);
    V_VT(out) = VT_NULL;
    IWbemClassObject* object = nullptr;
    if (depth >= kMaxEmbeddingDepth || !unknown ||
        FAILED(unknown->QueryInterface(IID_IWbemClassObject, reinterpret_cast<void**>(&object))))
        return S_OK;
    std::shared_ptr<ObjectData> data;
    HRESULT hr = CopyObject(object, name_space, depth + 1, data);
    object->Release();
    if (hr == WBEM_E_OUT_OF_MEMORY || hr == E_OUTOFMEMORY)
        return hr;
    if (FAILED(hr))
        return S_OK;
    IDispatch* script_object = NewWbemObject(std::move(data));
    if (!script_object)
        return E_OUTOFMEMORY;
    V_VT(out) = VT_DISPATCH;
    V_DISPATCH(out) = script_object;
    return S_OK;
}

// A property value as a script reads it: embedded objects become SWbemObjects, an array of
// them an array of variants holding SWbemObjects. Other values are left as they are.
HRESULT ToScriptValue(VARIANT& value, const std::u16string& name_space, int depth) {
    if (value.vt == VT_UNKNOWN) {
        VARIANT converted;
        HRESULT hr = EmbeddedAsScriptObject(value.punkVal, name_space, depth, &converted);
        VariantClear(&value);
        value = converted;
        return hr;
    }
    if (value.vt != (VT_ARRAY | VT_UNKNOWN) || !value.parray)
        return S_OK;
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(value.parray, 1, &lower);
    SafeArrayGetUBound(value.parray, 1, &upper);
    SAFEARRAY* items = SafeArrayCreateVector(VT_VARIANT, 0, ULONG(upper - lower + 1));
    if (!items)
        return E_OUTOFMEMORY;
    HRESULT hr = S_OK;
    for (LONG i = lower; i <= upper && SUCCEEDED(hr); ++i) {
        IUnknown* unknown = nullptr;
        if (FAILED(SafeArrayGetElement(value.parray, &i, &unknown)))
            continue;
        VARIANT item;
        hr = EmbeddedAsScriptObject(unknown, name_space, depth, &item);
        if (unknown)
            unknown->Release();
        LONG at = i - lower;
        if (SUCCEEDED(hr))
            hr = SafeArrayPutElement(items, &at, &item);
        VariantClear(&item);
    }
    if (FAILED(hr)) {
        SafeArrayDestroy(items);
        return hr;
    }
    VariantClear(&value);
    value.vt = VT_ARRAY | VT_VARIANT;
    value.parray = items;
    return S_OK;
}

}  // namespace

HRESULT CopyClassObject(IWbemClassObject* object, const std::u16string& name_space,
                        std::shared_ptr<ObjectData>& data) {
    return CopyObject(object, name_space, 0, data);
}

namespace {

HRESULT CopyObject(IWbemClassObject* object, const std::u16string& name_space, int depth,
                   std::shared_ptr<ObjectData>& data) {
    auto copy = std::make_shared<ObjectData>();
    copy->class_name = SystemText(object, u"__CLASS");
    copy->relpath = SystemText(object, u"__RELPATH");
    copy->path = SystemText(object, u"__PATH");
    copy->name_space = name_space;
    _variant_t derivation;
    if (SUCCEEDED(object->Get(u"__DERIVATION", 0, &derivation, nullptr, nullptr)) &&
        derivation.vt == (VT_ARRAY | VT_BSTR) && derivation.parray) {
        LONG low = 0, high = -1;
        SafeArrayGetLBound(derivation.parray, 1, &low);
        SafeArrayGetUBound(derivation.parray, 1, &high);
        for (LONG i = low; i <= high; ++i) {
            BSTR name = nullptr;
            if (SUCCEEDED(SafeArrayGetElement(derivation.parray, &i, &name)) && name)
                copy->derivation.emplace_back(name, SysStringLen(name));
            SysFreeString(name);
        }
    }
    SAFEARRAY* names = nullptr;
    HRESULT hr =
        object->GetNames(nullptr, WBEM_FLAG_ALWAYS | WBEM_FLAG_NONSYSTEM_ONLY, nullptr, &names);
    if (FAILED(hr))
        return hr;
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(names, 1, &lower);
    SafeArrayGetUBound(names, 1, &upper);
    for (LONG i = lower; i <= upper && SUCCEEDED(hr); ++i) {
        BSTR name = nullptr;
        if (FAILED(SafeArrayGetElement(names, &i, &name)) || !name)
            continue;
        PropertyValue p;
        p.name.assign(name, SysStringLen(name));
        hr = object->Get(name, 0, &p.value, &p.type, nullptr);
        SysFreeString(name);
        if (SUCCEEDED(hr))
            hr = ToScriptValue(p.value, name_space, depth);
        if (SUCCEEDED(hr))
            copy->properties.push_back(std::move(p));
    }
    SafeArrayDestroy(names);
    if (FAILED(hr))
        return hr;
    if (!copy->charge.held.Charge(HeldBytes(*copy)))
        return E_OUTOFMEMORY;
    data = std::move(copy);
    return S_OK;
}

}  // namespace

std::u16string WbemErrorText(HRESULT hr) {
    switch (hr) {
        case WBEM_E_FAILED:
            return u"Generic failure";
        case WBEM_E_NOT_FOUND:
            return u"Not found";
        case WBEM_E_ACCESS_DENIED:
            return u"Access denied";
        case WBEM_E_TYPE_MISMATCH:
            return u"Type mismatch";
        case WBEM_E_OUT_OF_MEMORY:
            return u"Out of memory";
        case WBEM_E_INVALID_PARAMETER:
            return u"Invalid parameter";
        case WBEM_E_NOT_SUPPORTED:
            return u"Not supported";
        case WBEM_E_INVALID_NAMESPACE:
            return u"Invalid namespace";
        case WBEM_E_INVALID_CLASS:
            return u"Invalid class";
        case WBEM_E_TRANSPORT_FAILURE:
            return u"Transport failure";
        case WBEM_E_INVALID_QUERY:
            return u"Invalid query";
        case WBEM_E_INVALID_QUERY_TYPE:
            return u"Invalid query type";
        case WBEM_E_INVALID_SYNTAX:
            return u"Invalid syntax";
        case WBEM_E_INVALID_OBJECT_PATH:
            return u"Invalid object path";
        case kWbemInvalidMethod:
            return u"Invalid method";
        case kWbemInvalidMethodParameters:
            return u"Invalid method Parameter(s)";
        case WBEM_E_LOCAL_CREDENTIALS:
            return u"User credentials cannot be used for local connections";
        default:
            return u"WMI error";
    }
}

HRESULT PutPropertyValue(ObjectData& data, PropertyValue& property, const VARIANT& value) {
    const size_t before = kvwin::VariantHeldBytes(property.value);
    const size_t after = kvwin::VariantHeldBytes(value);
    if (!data.charge.held.Change(before, after))
        return E_OUTOFMEMORY;
    const HRESULT hr = VariantCopy(&property.value, &value);
    if (FAILED(hr))
        data.charge.held.Change(after, before);
    return hr;
}

}  // namespace kvwmiscript
