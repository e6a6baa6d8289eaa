// How a WMI class is declared next to the provider that fills it.
//
// A class is one ClassDecl: its namespace, name, properties (name, CIM type, key flag) and
// one fill function that appends the class's instances. A class with a property that is
// costly to compute (one that lists every process, say) declares a selective fill instead,
// which is told the properties the query needs and leaves the others null. A class file
// ends with one line
//
//   KAVREL_WMI_CLASS(kOperatingSystemClass);
//
// that registers it with the service. An instance holds one value per declared property, in
// declaration order; providers fill it through InstanceBuilder, which refuses a property
// name the class does not declare (so a misspelt name fails the generic class test instead
// of silently producing a null).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "provider/cim_value.h"
#include "win/wbemcli.h"

namespace kvwmi {

struct PropertyDecl {
    std::u16string_view name;
    CIMTYPE type;  // CIM_xxx, with CIM_FLAG_ARRAY for arrays
    bool key = false;
};

using Instance = std::vector<CimValue>;

struct ClassDecl;
// Appends the class's current instances to `out`. Throws on a failure that makes the whole
// class unreadable (the service reports it as WBEM_E_PROVIDER_FAILURE); a property that
// cannot be read on this machine is left null instead.
using FillFunction = void (*)(const ClassDecl& decl, std::vector<Instance>& out);

// The properties a query needs computed: one flag per declared property, in declaration
// order. An empty selection needs every property.
struct Selection {
    std::vector<bool> wanted;

    bool All() const { return wanted.empty(); }
    // Whether the property of that name (case-insensitive) is needed; false for a name the
    // class does not declare.
    bool Wants(const ClassDecl& decl, std::u16string_view property) const;
};

// As FillFunction, but only the properties `selection` wants need values (keys are always
// wanted by whoever builds the selection); the others may stay null.
using SelectiveFillFunction = void (*)(const ClassDecl& decl, const Selection& selection,
                                       std::vector<Instance>& out);

// One `property = value` condition that every instance a query wants must satisfy: the
// property's index and the compared value as text (a string's value, a number as written).
struct PropertyEquals {
    int property = -1;
    std::u16string text;
};

// Appends the instances that may satisfy `equals` (all of them hold; every one names a
// property of the class), computing at least the selected properties, and returns true; or
// returns false, having appended nothing, when the class cannot use these conditions (the
// service then enumerates every instance). The service still tests each appended instance
// against the whole query, so a lookup may give more than the matches (a key compared
// case-insensitively, say) but never fewer. Throws as a fill does; called from any thread,
// as a fill is.
using LookupFunction = bool (*)(const ClassDecl& decl, const std::vector<PropertyEquals>& equals,
                                const Selection& selection, std::vector<Instance>& out);

struct ClassDecl {
    std::u16string_view ns;    // u"root\\cimv2"
    std::u16string_view name;  // u"Win32_OperatingSystem"
    std::vector<PropertyDecl> properties;
    FillFunction fill;  // one of the two is set
    SelectiveFillFunction fill_selected = nullptr;
    // Optional: answers a query by key (`Name = 'x'`) without listing every instance.
    LookupFunction lookup = nullptr;

    // The index of a property (ASCII case-insensitive, as WMI compares names), or -1.
    int IndexOf(std::u16string_view property) const;
    // Makes IndexOf a hashed look-up instead of a walk over the properties; the class's
    // registration calls it at load, before any look-up. Not thread safe.
    void IndexNames() const;

    // The properties by the hash of their lower-case names: index + 1 per slot, 0 for none,
    // open addressing; empty for a class never indexed (a fixture's, say).
    mutable std::vector<std::uint16_t> name_slots = {};
};

class InstanceBuilder {
  public:
    explicit InstanceBuilder(const ClassDecl& decl);
    // Throws std::invalid_argument when the class declares no such property.
    InstanceBuilder& Set(std::u16string_view property, CimValue value);
    Instance Take() { return std::move(values_); }

  private:
    const ClassDecl& decl_;
    Instance values_;
};

// Appends the class's instances with at least the selected properties computed, through
// whichever fill the class declares. Throws as the fill does.
void FillInstances(const ClassDecl& decl, const Selection& selection, std::vector<Instance>& out);

// Asks the class's lookup for the instances that may satisfy `equals`; false (nothing
// appended) when the class has no lookup or cannot use them.
bool LookupInstances(const ClassDecl& decl, const std::vector<PropertyEquals>& equals,
                     const Selection& selection, std::vector<Instance>& out);

// Whether the class is an association: it has a property of type CIM_REFERENCE.
bool IsAssociation(const ClassDecl& decl);

// Every registered class, in registration order. Thread safe after load.
const std::vector<const ClassDecl*>& RegisteredClasses();
// Finds a class by namespace and name (both case-insensitive), or null.
const ClassDecl* FindClass(std::u16string_view ns, std::u16string_view name);

struct ClassRegistration {
    explicit ClassRegistration(const ClassDecl& decl);
};

}  // namespace kvwmi

#define KAVREL_WMI_CLASS_CONCAT2(a, b) a##b
#define KAVREL_WMI_CLASS_CONCAT(a, b) KAVREL_WMI_CLASS_CONCAT2(a, b)
#define KAVREL_WMI_CLASS(decl) \
    static const ::kvwmi::ClassRegistration KAVREL_WMI_CLASS_CONCAT(kv_wmi_class_, __LINE__)(decl)
