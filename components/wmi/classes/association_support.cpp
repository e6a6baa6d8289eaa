#include "classes/association_support.h"

#include "kvwin/utf.h"
#include "win/sysinfo.h"

namespace kvwmi {

namespace {

constexpr std::u16string_view kNamespace = u"root\\cimv2";

// \\SERVER\root\cimv2: with the name __SERVER shows.
std::u16string PathPrefix() {
    WCHAR buffer[256];
    DWORD size = 256;
    std::u16string server =
        GetComputerNameW(buffer, &size) ? std::u16string(buffer, size) : u"LOCALHOST";
    return u"\\\\" + server + u"\\" + std::u16string(kNamespace) + u":";
}

// A key value as a path writes it; false for a null or an unusable value.
bool AppendKeyValue(const CimValue& value, std::u16string& path) {
    if (const auto* text = std::get_if<std::u16string>(&value)) {
        path += u'"';
        for (char16_t c : *text) {
            if (c == u'"' || c == u'\\')
                path += u'\\';
            path += c;
        }
        path += u'"';
        return true;
    }
    if (const auto* number = std::get_if<std::uint64_t>(&value)) {
        path += kvwin::FromUtf8(std::to_string(*number));
        return true;
    }
    if (const auto* number = std::get_if<std::int64_t>(&value)) {
        path += kvwin::FromUtf8(std::to_string(*number));
        return true;
    }
    return false;
}

}  // namespace

std::vector<Instance> EndpointInstances(std::u16string_view class_name,
                                        std::initializer_list<std::u16string_view> properties,
                                        const ClassDecl*& decl) {
    std::vector<Instance> instances;
    decl = FindClass(kNamespace, class_name);
    if (!decl)
        return instances;
    Selection selection;
    selection.wanted.assign(decl->properties.size(), false);
    for (size_t i = 0; i < decl->properties.size(); ++i)
        selection.wanted[i] = decl->properties[i].key;
    for (std::u16string_view property : properties) {
        if (const int index = decl->IndexOf(property); index >= 0)
            selection.wanted[static_cast<size_t>(index)] = true;
    }
    FillInstances(*decl, selection, instances);
    return instances;
}

const CimValue& ValueOf(const ClassDecl& decl, const Instance& instance,
                        std::u16string_view property) {
    static const CimValue kNull;
    const int index = decl.IndexOf(property);
    return index >= 0 && static_cast<size_t>(index) < instance.size()
               ? instance[static_cast<size_t>(index)]
               : kNull;
}

CimValue ReferenceTo(const ClassDecl& decl, const Instance& instance) {
    std::u16string path = PathPrefix() + std::u16string(decl.name);
    bool any = false;
    for (size_t i = 0; i < decl.properties.size(); ++i) {
        if (!decl.properties[i].key)
            continue;
        path += any ? u',' : u'.';
        path += decl.properties[i].name;
        path += u'=';
        if (i >= instance.size() || !AppendKeyValue(instance[i], path))
            return {};
        any = true;
    }
    if (!any)
        path += u"=@";
    return path;
}

CimValue ReferenceTo(std::u16string_view class_name,
                     std::initializer_list<std::pair<std::u16string_view, CimValue>> keys) {
    std::u16string path = PathPrefix() + std::u16string(class_name);
    bool any = false;
    for (const auto& [name, value] : keys) {
        path += any ? u',' : u'.';
        path += name;
        path += u'=';
        if (!AppendKeyValue(value, path))
            return {};
        any = true;
    }
    if (!any)
        path += u"=@";
    return path;
}

}  // namespace kvwmi
