// The system properties every WMI object carries besides its class's own, in the order
// GetNames and enumeration give them. Thread safe (constant data).
#pragma once

#include <array>
#include <string_view>

#include "kvwin/ascii_case.h"

namespace kvwmi {

inline constexpr std::array<std::u16string_view, 10> kSystemProperties = {
    u"__GENUS",          u"__CLASS",      u"__SUPERCLASS", u"__DYNASTY",   u"__RELPATH",
    u"__PROPERTY_COUNT", u"__DERIVATION", u"__SERVER",     u"__NAMESPACE", u"__PATH"};

// The index into kSystemProperties (case-insensitive), or -1.
inline int SystemPropertyIndex(std::u16string_view name) {
    for (size_t i = 0; i < kSystemProperties.size(); ++i) {
        if (kvwin::EqualsAsciiNoCase(kSystemProperties[i], name))
            return static_cast<int>(i);
    }
    return -1;
}

}  // namespace kvwmi
