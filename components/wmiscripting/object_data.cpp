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

}  // namespace

HRESULT CopyClassObject(IWbemClassObject* object, const std::u16string& name_space,
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
            copy->properties.push_back(std::move(p));
    }
    SafeArrayDestroy(names);
    if (FAILED(hr))
        return hr;
    data = std::move(copy);
    return S_OK;
}

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

}  // namespace kvwmiscript
