// A WMI query's definition: the namespace, the WQL statement and the property bindings,
// as read from the query element.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One property of the select list and the column it fills.
struct WMIPropertyInfo {
    std::u16string name;      // the property name, as written in the select list
    int32_t mapsTo = 0;       // the column of the data block
    std::u16string function;  // the conversion applied to its values; empty for none
    std::u16string param;     // the conversion's parameter
};

struct WMIQueryInfo {
    std::u16string namespace_;                // "root\cimv2", without the machine part
    std::u16string query;                     // the complete WQL statement
    std::vector<WMIPropertyInfo> properties;  // in document order
};
