#include "provider/class_decl.h"

#include <cstring>
#include <stdexcept>

#include "kvwin/ascii_case.h"

namespace kvwmi {

namespace {

std::vector<const ClassDecl*>& MutableClasses() {
    static std::vector<const ClassDecl*> classes;
    return classes;
}

}  // namespace

namespace {

// FNV-1a over the name's code units, ASCII letters lowered.
std::uint32_t NameHash(std::u16string_view name) {
    std::uint32_t hash = 2166136261u;
    for (char16_t c : name) {
        hash ^= kvwin::AsciiLower(c);
        hash *= 16777619u;
    }
    return hash;
}

// A property name as asked against one declared: mostly asked as declared, so the exact
// comparison is tried before the one that ignores ASCII case.
bool SameName(std::u16string_view declared, std::u16string_view asked) {
    return declared.size() == asked.size() &&
           (declared.empty() ||
            std::memcmp(declared.data(), asked.data(), declared.size() * sizeof(char16_t)) == 0 ||
            kvwin::EqualsAsciiNoCase(declared, asked));
}

}  // namespace

int ClassDecl::IndexOf(std::u16string_view property) const {
    if (!name_slots.empty()) {
        // Names are placed in declaration order, so of two that compare equal the first
        // declared is met first, as in the walk below.
        const size_t mask = name_slots.size() - 1;
        for (size_t slot = NameHash(property) & mask; name_slots[slot] != 0;
             slot = (slot + 1) & mask) {
            const size_t index = name_slots[slot] - 1u;
            if (SameName(properties[index].name, property))
                return static_cast<int>(index);
        }
        return -1;
    }
    for (size_t i = 0; i < properties.size(); ++i) {
        if (kvwin::EqualsAsciiNoCase(properties[i].name, property))
            return static_cast<int>(i);
    }
    return -1;
}

void ClassDecl::IndexNames() const {
    // At most half full, so that a look-up of a missing name ends soon; a class too large
    // for the slots' width keeps the walk.
    if (!name_slots.empty() || properties.empty() || properties.size() >= 0x8000)
        return;
    size_t size = 8;
    while (size < properties.size() * 2)
        size *= 2;
    std::vector<std::uint16_t> slots(size, 0);
    for (size_t i = 0; i < properties.size(); ++i) {
        size_t slot = NameHash(properties[i].name) & (size - 1);
        while (slots[slot] != 0)
            slot = (slot + 1) & (size - 1);
        slots[slot] = static_cast<std::uint16_t>(i + 1);
    }
    name_slots = std::move(slots);
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
    decl.IndexNames();
    MutableClasses().push_back(&decl);
}

}  // namespace kvwmi
