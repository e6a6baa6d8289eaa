// One property value as a provider produces it. The service turns it into the VARIANT that
// WMI gives for the property's declared CIM type (docs/components/wmi.md): a null value is
// VT_NULL whatever the type, never an invented default.
#pragma once

#include <cstdint>
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
// std::monostate is null.
using CimValue = std::variant<std::monostate, bool, std::int64_t, std::uint64_t, double,
                              std::u16string, std::vector<std::int64_t>,
                              std::vector<std::u16string>>;

inline bool IsNull(const CimValue& value) {
    return std::holds_alternative<std::monostate>(value);
}

}  // namespace kvwmi
