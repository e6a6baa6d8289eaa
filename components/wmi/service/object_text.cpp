#include "service/object_text.h"

#include <charconv>

#include "kvwin/utf.h"
#include "service/cim_variant.h"

namespace kvwmi {

namespace {

std::u16string Quoted(std::u16string_view text) {
    std::u16string out = u"\"";
    for (char16_t c : text) {
        if (c == u'"' || c == u'\\')
            out.push_back(u'\\');
        out.push_back(c);
    }
    out.push_back(u'"');
    return out;
}

std::u16string RealText(double value) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return kvwin::FromUtf8(std::string_view(buffer, size_t(result.ptr - buffer)));
}

// An embedded object's own text, without the statement's closing ";" and line end:
// "\ninstance of MSFT_TaskExecAction\n{\n\tExecute = \"/bin/true\";\n}".
std::u16string EmbeddedText(IUnknown* unknown) {
    IWbemClassObject* object = nullptr;
    if (!unknown ||
        FAILED(unknown->QueryInterface(IID_IWbemClassObject, reinterpret_cast<void**>(&object))))
        return {};
    BSTR text = nullptr;
    std::u16string out;
    if (SUCCEEDED(object->GetObjectText(0, &text)) && text)
        out.assign(text, SysStringLen(text));
    SysFreeString(text);
    object->Release();
    while (!out.empty() && (out.back() == u'\n' || out.back() == u';'))
        out.pop_back();
    return out;
}

// One scalar of a variant as MOF writes it.
std::u16string ScalarText(VARTYPE vt, const void* data) {
    switch (vt) {
        case VT_BSTR: {
            BSTR text = *static_cast<const BSTR*>(data);
            return Quoted(text ? std::u16string_view(text, SysStringLen(text)) : u"");
        }
        case VT_BOOL:
            return *static_cast<const VARIANT_BOOL*>(data) ? u"TRUE" : u"FALSE";
        case VT_I2:
            return kvwin::FromUtf8(std::to_string(*static_cast<const SHORT*>(data)));
        case VT_UI1:
            return kvwin::FromUtf8(std::to_string(*static_cast<const BYTE*>(data)));
        case VT_I4:
            return kvwin::FromUtf8(std::to_string(*static_cast<const LONG*>(data)));
        case VT_R4:
            return RealText(*static_cast<const float*>(data));
        case VT_R8:
            return RealText(*static_cast<const double*>(data));
        case VT_UNKNOWN:
            return EmbeddedText(*static_cast<IUnknown* const*>(data));
        default:
            return {};
    }
}

std::u16string VariantText(VARIANT& value) {
    if (!(V_VT(&value) & VT_ARRAY))
        return ScalarText(V_VT(&value), &V_BSTR(&value));
    VARTYPE vt = VARTYPE(V_VT(&value) & ~VT_ARRAY);
    SAFEARRAY* array = V_ARRAY(&value);
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    void* data = nullptr;
    std::u16string out = u"{";
    if (SUCCEEDED(SafeArrayAccessData(array, &data))) {
        UINT size = SafeArrayGetElemsize(array);
        for (LONG i = 0; i <= upper - lower; ++i) {
            if (i)
                out += u", ";
            out += ScalarText(vt, static_cast<const BYTE*>(data) + size_t(i) * size);
        }
        SafeArrayUnaccessData(array);
    }
    return out + u"}";
}

std::optional<std::u16string> RelativePath(const ObjectData& data) {
    std::u16string path(data.decl->name);
    if (data.is_class)
        return path;
    bool any_key = false;
    for (size_t i = 0; i < data.decl->properties.size(); ++i) {
        const PropertyDecl& property = data.decl->properties[i];
        if (!property.key)
            continue;
        if (i >= data.values.size() || IsNull(data.values[i]))
            return std::nullopt;
        VARIANT value;
        if (FAILED(ToVariant(data.values[i], property.type, &value)))
            return std::nullopt;
        path += any_key ? u"," : u".";
        path += property.name;
        path += u"=";
        path += VariantText(value);
        VariantClear(&value);
        any_key = true;
    }
    if (!any_key)
        path += u"=@";
    return path;
}

}  // namespace

std::optional<std::u16string> SystemText(const ObjectData& data, std::u16string_view name) {
    if (name == u"__CLASS" || name == u"__DYNASTY")
        return std::u16string(data.decl->name);
    if (name == u"__RELPATH")
        return RelativePath(data);
    if (!data.source)
        return std::nullopt;  // __SUPERCLASS too: no class has one
    if (name == u"__SERVER")
        return data.server;
    if (name == u"__NAMESPACE")
        return data.source->Name();
    if (name == u"__PATH") {
        std::optional<std::u16string> relative = RelativePath(data);
        if (!relative)
            return std::nullopt;
        return u"\\\\" + data.server + u"\\" + data.source->Name() + u":" + *relative;
    }
    return std::nullopt;
}

std::u16string ObjectText(const ObjectData& data) {
    std::u16string text = data.is_class ? u"\nclass " : u"\ninstance of ";
    text += data.decl->name;
    text += u"\n{\n";
    for (size_t i = 0; i < data.decl->properties.size(); ++i) {
        const PropertyDecl& property = data.decl->properties[i];
        if (data.is_class) {
            text += property.key ? u"\t[key] " : u"\t";
            text += CimTypeName(property.type) + u" " + std::u16string(property.name);
            text += (property.type & CIM_FLAG_ARRAY) ? u"[];\n" : u";\n";
            continue;
        }
        bool selected = data.selected.empty() || data.selected[i] || property.key;
        if (!selected || i >= data.values.size() || IsNull(data.values[i]))
            continue;
        VARIANT value;
        if (FAILED(ToVariant(data.values[i], property.type, &value)))
            continue;
        text += u"\t" + std::u16string(property.name) + u" = " + VariantText(value) + u";\n";
        VariantClear(&value);
    }
    return text + u"};\n";
}

}  // namespace kvwmi
