// One property value as a provider produces it. The service turns it into the VARIANT that
// WMI gives for the property's declared CIM type (docs/components/wmi.md): a null value is
// VT_NULL whatever the type, never an invented default.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace kvwmi {

// The raw datum. Which alternative a provider uses follows the declared type:
//   CIM_BOOLEAN                                  bool
//   CIM_SINT8/16/32/64                           std::int64_t
//   CIM_UINT8/16/32/64                           std::uint64_t
//   CIM_REAL32/64                                double
//   CIM_STRING, CIM_DATETIME (CIM text form)     std::u16string
//   arrays of integers / of strings              std::vector<std::int64_t> / <std::u16string>
//   CIM_OBJECT, scalar or array                  EmbeddedObjects (one item for a scalar)
// std::monostate is null.
struct ClassDecl;
struct EmbeddedObject;
// Embedded instances are shared, never changed after they are made: copying an instance
// that holds them copies pointers only.
using EmbeddedObjects = std::vector<std::shared_ptr<const EmbeddedObject>>;

using CimValue =
    std::variant<std::monostate, bool, std::int64_t, std::uint64_t, double, std::u16string,
                 std::vector<std::int64_t>, std::vector<std::u16string>, EmbeddedObjects>;

// An instance carried inside a property (an action of a scheduled task, say). Its class is
// declared like any other but not registered: it has no instances of its own, as on
// Windows, where such classes are only ever met embedded. `decl` is static and outlives
// every value.
struct EmbeddedObject {
    const ClassDecl* decl = nullptr;
    std::vector<CimValue> values;  // one per declared property, in declaration order
};

inline bool IsNull(const CimValue& value) {
    return std::holds_alternative<std::monostate>(value);
}

}  // namespace kvwmi
