#include "provider/class_decl.h"

#include <stdexcept>

#include "kvwin/ascii_case.h"

namespace kvwmi {

namespace {

std::vector<const ClassDecl*>& MutableClasses() {
    static std::vector<const ClassDecl*> classes;
    return classes;
}

}  // namespace

int ClassDecl::IndexOf(std::u16string_view property) const {
    for (size_t i = 0; i < properties.size(); ++i) {
        if (kvwin::EqualsAsciiNoCase(properties[i].name, property))
            return static_cast<int>(i);
    }
    return -1;
}

InstanceBuilder::InstanceBuilder(const ClassDecl& decl)
    : decl_(decl), values_(decl.properties.size()) {}

InstanceBuilder& InstanceBuilder::Set(std::u16string_view property, CimValue value) {
    int index = decl_.IndexOf(property);
    if (index < 0)
        throw std::invalid_argument("property not declared by the class");
    values_[static_cast<size_t>(index)] = std::move(value);
    return *this;
}

bool Selection::Wants(const ClassDecl& decl, std::u16string_view property) const {
    const int index = decl.IndexOf(property);
    if (index < 0)
        return false;
    return All() ||
           (static_cast<size_t>(index) < wanted.size() && wanted[static_cast<size_t>(index)]);
}

void FillInstances(const ClassDecl& decl, const Selection& selection, std::vector<Instance>& out) {
    if (decl.fill_selected)
        decl.fill_selected(decl, selection, out);
    else if (decl.fill)
        decl.fill(decl, out);
}

bool LookupInstances(const ClassDecl& decl, const std::vector<PropertyEquals>& equals,
                     const Selection& selection, std::vector<Instance>& out) {
    if (!decl.lookup || equals.empty())
        return false;
    const size_t before = out.size();
    if (decl.lookup(decl, equals, selection, out))
        return true;
    out.resize(before);
    return false;
}

bool IsAssociation(const ClassDecl& decl) {
    for (const PropertyDecl& property : decl.properties) {
        if ((property.type & ~CIM_FLAG_ARRAY) == CIM_REFERENCE)
            return true;
    }
    return false;
}

const std::vector<const ClassDecl*>& RegisteredClasses() {
    return MutableClasses();
}

const ClassDecl* FindClass(std::u16string_view ns, std::u16string_view name) {
    for (const ClassDecl* decl : MutableClasses()) {
        if (kvwin::EqualsAsciiNoCase(decl->ns, ns) && kvwin::EqualsAsciiNoCase(decl->name, name))
            return decl;
    }
    return nullptr;
}

ClassRegistration::ClassRegistration(const ClassDecl& decl) {
    MutableClasses().push_back(&decl);
}

}  // namespace kvwmi
